#pragma once

// Runs ardentis-detect from its command line: loads and cleans every model and the scene at
// each noise level, detects, and writes one keypoint file per mesh, with a line per mesh on
// standard output. Returns the exit status (see ExitStatus).
namespace Ostrel {
namespace Detect {

enum ExitStatus {
  kDone = 0,
  kMeshUnreadable = 1,  // a mesh cannot be loaded or the detector cannot run on it
  kBadCommandLine = 2,  // bad command line or test configuration
  kCannotWrite = 3,     // the saving directory or a keypoint file cannot be written
};

int RunDetection(int argc, char** argv);

}  // namespace Detect
}  // namespace Ostrel
