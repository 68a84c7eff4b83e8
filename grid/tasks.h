#pragma once
// Expands a grid into tasks, each one shell command line of the manifest, run from anywhere:
//  - a detection task per detector setting (detector ID and radius): ardentis-detect on every
//    model and on the scene at every noise level. ardentis-detect detects the models whenever it
//    runs, so scene detection per noise level would detect every model again in each task;
//  - an evaluation task per detector setting and noise level: ardentis at every threshold.
// Each task works in its own directory under <results>/tasks/ (its log, its results table, a
// "done" file written last, then a line "done: <directory>"), which it empties first, so that a
// rerun replaces its rows. Precomputed entries get evaluation tasks only. An evaluation task
// whose detection task did not finish does not run: its log says "not run: detection task
// <directory> failed" and it fails.

#include <string>
#include <vector>

#include "grid/grid_file.h"

namespace Ostrel {
namespace Grid {

struct Task {
  std::string directory;   // relative to the grid's workDir
  std::string detectorID;  // names the results table; "" for detection tasks
  std::string command;     // the manifest line
  // Directories of the tasks whose keypoint files this one reads: without their "done" file
  // the task does not run (its line says so and fails).
  std::vector<std::string> prerequisites;
};

struct TaskPlan {
  std::vector<Task> detection;   // run first
  std::vector<Task> evaluation;  // need the detection of their setting
};

struct Tools {
  std::string ardentis;  // evaluator
  std::string detect;    // ardentis-detect
};

TaskPlan planTasks(const GridSettings& grid, const Tools& tools);

// `word` quoted for a POSIX shell when it holds anything but plain characters.
std::string shellQuote(const std::string& word);

}  // namespace Grid
}  // namespace Ostrel
