#pragma once
// ardentis-inspect: which model keypoints an evaluation run found repeatable, non-occluded or
// occluded, as a coloured mesh and a picture per model, with the run's counts.

namespace Ostrel {
namespace Inspect {

// The whole command; returns the exit status (cli/exit_status.h): 0 done, 1 an input cannot be
// read, 2 a bad command line or configuration, 3 an output cannot be written or drawn.
int runInspect(int argc, char** argv);

}  // namespace Inspect
}  // namespace Ostrel
