#pragma once
// Runs the two manifests of a grid on an engine: the detection manifest first, then the
// evaluation manifest. Manifest paths are absolute; a manifest with no task is skipped.

#include <string>
#include <vector>

#include "grid/grid_file.h"

namespace Ostrel {
namespace Grid {

struct Stage {
  std::string name;        // "detect" or "evaluate"
  std::string manifest;    // absolute path
  std::vector<int> lines;  // 1-based manifest lines still to run (Slurm); their count (parallel)
  int tasks = 0;           // lines in the manifest
};

enum class EngineOutcome {
  ran,          // every stage ran (tasks may have failed: that is not the engine's failure)
  failed,       // the engine could not run (after a message)
  interrupted,  // a signal stopped the grid (after the engine's own answer to it)
};

// GNU parallel, `jobs` at a time (0: one per core), with its progress bar on standard error, a
// job log beside each manifest ("joblog-<stage>.txt") and --resume-failed, so that a second
// run retries only the tasks that failed or never ran. An interruption is passed on to parallel,
// which stops its running tasks.
EngineOutcome runWithParallel(const GridSettings& grid, const std::vector<Stage>& stages, int jobs);

// One sbatch array job per stage: element i runs manifest line i (lines (i - 1) k + 1 to i k with
// the grid's tasksPerElement k); only elements with lines not done yet are submitted, and the
// evaluation array starts once the detection array has ended (afterany: an evaluation task
// whose detection failed stops at its own check). `jobs` > 0 caps the elements running at
// once, threads per task become --cpus-per-task, and the grid's slurmOptions are passed on.
// When `wait`, polls squeue and prints a line whenever the count of queued elements changes;
// otherwise prints the job IDs. An interrupted wait leaves the jobs queued and says how to
// merge them later or cancel them.
EngineOutcome runWithSlurm(const GridSettings& grid, const std::vector<Stage>& stages, int jobs,
                           bool wait);

// "1-3,5,7-8": `lines` (ascending) as a Slurm array index list.
std::string arrayIndexList(const std::vector<int>& lines);

}  // namespace Grid
}  // namespace Ostrel
