#pragma once
// Collects what the tasks left: a task is done when its "done" file exists. The results tables
// of the done evaluation tasks are merged into one table per detector ID, <results>/<ID>.csv:
// the header once, then the rows of each task in manifest order. A task's table holds only its
// latest run (a task empties its directory first), so each row appears once. Merged tables are
// written whole or not at all; a table whose tasks all failed is left as it was.

#include <string>
#include <vector>

#include "grid/grid_file.h"
#include "grid/tasks.h"

namespace Ostrel {
namespace Grid {

struct FailedTask {
  std::string directory;              // relative to workDir
  std::vector<std::string> logLines;  // the last lines of its log; empty when it never started
};

// Evaluation tasks that did not run because a detection task they need failed.
struct TasksNotRun {
  std::string prerequisite;        // the failed detection task's directory
  std::vector<std::string> tasks;  // in manifest order
};

// The report's side files (see ardentis-report): every mesh's vertex count from the measure
// tasks, and the label of every evaluated detector ID. Relative to workDir; empty when not
// written.
struct SideFiles {
  std::string meshes;    // <results>/meshes.csv: Mesh;Vertices
  std::string settings;  // <results>/settings.csv: Detector ID;Detector;Setting;Keep
};

struct MergeResult {
  int done = 0;
  std::vector<FailedTask> failed;   // in manifest order, detection tasks first
  std::vector<TasksNotRun> notRun;  // by failed detection task, in manifest order
  std::vector<std::string> tables;  // merged tables written, relative to workDir
  long rows = 0;                    // rows in them
  std::vector<std::string> errors;  // a task table unreadable or with another header; a write
  SideFiles sideFiles;
};

MergeResult mergeResults(const GridSettings& grid, const TaskPlan& plan);

// True when the task's "done" file exists: it ran to its end.
bool taskDone(const GridSettings& grid, const Task& task);

// `path` (relative to the grid's workDir unless absolute) as an absolute path.
std::string inWorkDir(const GridSettings& grid, const std::string& path);

}  // namespace Grid
}  // namespace Ostrel
