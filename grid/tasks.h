#pragma once
// Expands a grid into tasks, each one shell command line of the manifest, run from anywhere.
// The first stage prepares keypoint files and mesh sizes:
//  - detection per detector setting (detector ID and radius): with one test configuration, one
//    task runs ardentis-detect on the models and on the scene at every noise level; with a
//    dataset of several, one task detects on the models of all of them (each once, radii in the
//    dataset's mean resolution) and one task per configuration on its scene at every noise level;
//  - budgets of precomputed keypoints (ardentis-prepare keep), split the same way; detection
//    tasks write their budgets themselves (ardentis-detect --keep);
//  - the vertex counts of every mesh, one task per configuration (ardentis-prepare measure).
// Then one evaluation task per setting, budget, configuration and noise level runs ardentis at
// every threshold. Each task works in its own directory under <results>/tasks/ (its log, its
// table, a "done" file written last, then a line "done: <directory>"), which it empties first,
// so that a rerun replaces its rows. An evaluation task whose keypoint files' task did not
// finish does not run: its log says "not run: detection task <directory> failed" and it fails.

#include <string>
#include <vector>

#include "grid/grid_file.h"

namespace Ostrel {
namespace Grid {

struct Task {
  enum class Kind { detect, keep, measure, evaluate };
  Kind kind = Kind::evaluate;
  std::string directory;   // relative to the grid's workDir
  std::string detectorID;  // evaluation tasks: names the results table
  std::string command;     // the manifest line
  // Directories of the tasks whose keypoint files this one reads: without their "done" file
  // the task does not run (its line says so and fails).
  std::vector<std::string> prerequisites;
};

// An evaluated detector ID, as the report labels it.
struct EvaluatedSetting {
  std::string detectorID;  // with its budget: ISS3D_gamma21-0.9_keep-5
  std::string detector;    // the entry's name, shared by its settings
  std::string label;       // the option values that tell it from the entry's other settings
  std::string budget;      // "all" or keypoints per 1,000 vertices
};

struct TaskPlan {
  std::vector<Task> detection;             // run first: detection, budgets, mesh sizes
  std::vector<Task> evaluation;            // need the keypoint files of their setting
  std::vector<EvaluatedSetting> settings;  // in manifest order, each once
};

struct Tools {
  std::string ardentis;  // evaluator
  std::string detect;    // ardentis-detect
  std::string prepare;   // ardentis-prepare
};

// Throws GridFileError when two settings or configurations would share a directory, or the
// entries make more settings than a grid takes.
TaskPlan planTasks(const GridSettings& grid, const Tools& tools);

// `word` quoted for a POSIX shell when it holds anything but plain characters.
std::string shellQuote(const std::string& word);

}  // namespace Grid
}  // namespace Ostrel
