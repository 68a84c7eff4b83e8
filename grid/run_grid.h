#pragma once
// ardentis-grid from the command line to its summary: reads the grid file, checks its inputs,
// writes the manifests, runs the tasks on GNU parallel or Slurm, merges the tasks' results
// tables and draws the report. Returns the exit status (cli/exit_status.h): 0 all tasks done,
// 1 an input is missing, a task failed, or a table or the report could not be written, 2 bad
// command line or grid file, 3 the results directory cannot be written or is in use by another
// grid, or the engine could not run, 130 interrupted.

namespace Ostrel {
namespace Grid {

int runGrid(int argc, char** argv);

}  // namespace Grid
}  // namespace Ostrel
