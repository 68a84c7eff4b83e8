#pragma once
// ardentis-detect from its command line: loads and cleans every model and the scene at each
// noise level, detects, and writes one keypoint file per mesh, with a line per mesh on standard
// output. Returns the exit status (cli/exit_status.h): 1 when a mesh cannot be loaded or the
// detector cannot run on it, 2 for a bad command line or test configuration, 3 when the saving
// directory or a keypoint file cannot be written.

namespace Ostrel {
namespace Detect {

int runDetection(int argc, char** argv);

}  // namespace Detect
}  // namespace Ostrel
