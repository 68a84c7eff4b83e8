#include "grid/merge.h"

#include <filesystem>
#include <map>
#include <set>

#include "core/io/atomic_file.h"
#include "grid/read_lines.h"
#include "testset/naming.h"
#include "testset/results_columns.h"

namespace Ostrel {
namespace Grid {

namespace {

const std::size_t kLogLines = 5;

struct Table {
  std::string header;
  std::string rows;
  long count = 0;
};

std::vector<std::string> logTail(const std::string& path) {
  std::vector<std::string> lines;
  readLines(path, lines);
  std::vector<std::string> tail;
  for (auto line = lines.rbegin(); line != lines.rend() && tail.size() < kLogLines; ++line) {
    if (!line->empty()) tail.insert(tail.begin(), *line);
  }
  return tail;
}

void addNotRun(const std::string& prerequisite, const Task& task, MergeResult& result) {
  for (TasksNotRun& group : result.notRun) {
    if (group.prerequisite == prerequisite) {
      group.tasks.push_back(task.directory);
      return;
    }
  }
  result.notRun.push_back({prerequisite, {task.directory}});
}

// True when the task finished; otherwise records it as failed with its log, or as not run when
// a task it needs did not finish (that one is reported, not this one's log).
bool checkDone(const GridSettings& grid, const Task& task, MergeResult& result) {
  if (taskDone(grid, task)) {
    ++result.done;
    return true;
  }
  for (const std::string& prerequisite : task.prerequisites) {
    Task needed;
    needed.directory = prerequisite;
    if (!taskDone(grid, needed)) {
      addNotRun(prerequisite, task, result);
      return false;
    }
  }
  result.failed.push_back({task.directory, logTail(inWorkDir(grid, task.directory + "/log"))});
  return false;
}

void addTaskTable(const GridSettings& grid, const Task& task, Table& table, MergeResult& result) {
  const std::string path = task.directory + "/" + task.detectorID + ".csv";  // see mergeResults
  std::vector<std::string> lines;
  if (!readLines(inWorkDir(grid, path), lines) || lines.empty()) {
    result.errors.push_back("cannot read results table " + path);
    return;
  }
  if (lines[0] + "\n" != TestSet::resultsTableHeader()) {
    result.errors.push_back(path + ": not the evaluator's results table header");
    return;
  }
  table.header = lines[0];
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    table.rows += lines[i] + "\n";
    ++table.count;
  }
}

void writeSideFile(const GridSettings& grid, const std::string& path, const std::string& content,
                   std::string& written, MergeResult& result) {
  const std::string error = Core::Impl::WriteFileAtomically(inWorkDir(grid, path), content);
  if (error.empty())
    written = path;
  else
    result.errors.push_back(error);
}

}  // namespace

bool taskDone(const GridSettings& grid, const Task& task) {
  std::error_code error;
  return std::filesystem::exists(inWorkDir(grid, task.directory + "/done"), error);
}

std::string inWorkDir(const GridSettings& grid, const std::string& path) {
  return (std::filesystem::path(grid.workDir) / path).string();
}

namespace {

// <results>/meshes.csv from the tables the measure tasks wrote: each mesh once.
void writeMeshes(const GridSettings& grid, const TaskPlan& plan, MergeResult& result) {
  std::string content = "Mesh;Vertices\n";
  std::set<std::string> seen;
  for (const Task& task : plan.detection) {
    std::vector<std::string> lines;
    if (task.kind != Task::Kind::measure || !taskDone(grid, task)) continue;
    if (!readLines(inWorkDir(grid, task.directory + "/meshes.csv"), lines) || lines.empty())
      continue;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      if (seen.insert(lines[i].substr(0, lines[i].find(';'))).second) content += lines[i] + "\n";
    }
  }
  if (seen.empty()) return;
  writeSideFile(grid, grid.results + "/meshes.csv", content, result.sideFiles.meshes, result);
}

// <results>/settings.csv: how the report labels each detector ID.
void writeSettings(const GridSettings& grid, const TaskPlan& plan, MergeResult& result) {
  std::string content = "Detector ID;Detector;Setting;Keep\n";
  for (const EvaluatedSetting& setting : plan.settings) {
    content += setting.detectorID + ";" + setting.detector + ";" + setting.label + ";" +
               setting.budget + "\n";
  }
  writeSideFile(grid, grid.results + "/settings.csv", content, result.sideFiles.settings, result);
}

}  // namespace

MergeResult mergeResults(const GridSettings& grid, const TaskPlan& plan) {
  MergeResult result;
  for (const Task& task : plan.detection) checkDone(grid, task, result);
  writeMeshes(grid, plan, result);
  writeSettings(grid, plan, result);

  std::vector<std::string> order;  // detector IDs by first task
  std::map<std::string, Table> tables;
  for (const Task& task : plan.evaluation) {
    if (tables.count(task.detectorID) == 0) order.push_back(task.detectorID);
    Table& table = tables[task.detectorID];
    if (checkDone(grid, task, result)) addTaskTable(grid, task, table, result);
  }

  for (const std::string& id : order) {
    const Table& table = tables[id];
    if (table.header.empty()) continue;
    const std::string path = TestSet::resultsTablePath(grid.results, id);
    const std::string error =
        Core::Impl::WriteFileAtomically(inWorkDir(grid, path), table.header + "\n" + table.rows);
    if (!error.empty()) {
      result.errors.push_back(error);
      continue;
    }
    result.tables.push_back(path);
    result.rows += table.count;
  }
  return result;
}

}  // namespace Grid
}  // namespace Ostrel
