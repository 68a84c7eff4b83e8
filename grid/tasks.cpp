#include "grid/tasks.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "testset/naming.h"

namespace Ostrel {
namespace Grid {

namespace {

const double kMostSettings = 10000;  // settings of one grid, all entries together

struct Setting {
  std::string detectorID;
  const DetectorEntry* entry = nullptr;
  std::vector<std::pair<std::string, std::string>> options;  // name, value
  int radius = -1;                                           // -1: no -r
};

std::string radiusSuffix(const Setting& setting) {
  return setting.radius > 0 ? "_R-" + std::to_string(setting.radius) : "";
}

// Every combination of option values, the first option varying slowest. Options given one
// value do not change the ID: files of a single-valued entry keep the section's name.
void expandOptions(const DetectorEntry& entry, std::size_t next, Setting current,
                   std::vector<Setting>& settings) {
  if (next == entry.options.size()) {
    for (int radius : entry.radii.empty() ? std::vector<int>{-1} : entry.radii) {
      current.radius = radius;
      settings.push_back(current);
    }
    return;
  }
  const DetectorOption& option = entry.options[next];
  for (const std::string& value : option.values) {
    Setting setting = current;
    setting.options.emplace_back(option.name, value);
    if (option.values.size() > 1) setting.detectorID += "_" + option.name + "-" + value;
    expandOptions(entry, next + 1, setting, settings);
  }
}

std::string taskPrefix(const GridSettings& grid, const std::string& directory) {
  const std::string dir = shellQuote(directory);
  return "cd " + shellQuote(grid.workDir) + " && rm -rf " + dir + " && mkdir -p " + dir + " && ";
}

std::string taskSuffix(const std::string& directory) {
  const std::string dir = shellQuote(directory);
  return " > " + dir + "/log 2>&1 && touch " + dir + "/done && echo done: " + dir;
}

Task detectionTask(const GridSettings& grid, const Tools& tools, const Setting& setting) {
  Task task;
  task.directory = grid.results + "/tasks/detect/" + setting.detectorID + radiusSuffix(setting);
  std::string command = shellQuote(tools.detect) + " -C " + shellQuote(grid.configFile) + " -S " +
                        shellQuote(grid.keypoints) + " --detector " + setting.entry->detector +
                        " -n";
  for (const std::string& noise : grid.noise) command += " " + noise;
  if (setting.radius > 0) command += " -r " + std::to_string(setting.radius);
  command += " --detectorID " + setting.detectorID + " --threads " + std::to_string(grid.threads);
  for (const auto& [name, value] : setting.options) command += " --" + name + " " + value;
  task.command = taskPrefix(grid, task.directory) + command + taskSuffix(task.directory);
  return task;
}

// Stops the task, saying why, unless every prerequisite finished.
std::string prerequisiteChecks(const std::vector<std::string>& prerequisites) {
  std::string checks;
  for (const std::string& directory : prerequisites) {
    const std::string dir = shellQuote(directory);
    checks += "{ test -f " + dir + "/done || { echo not run: detection task " + dir +
              " failed; exit 1; }; } && ";
  }
  return checks;
}

Task evaluationTask(const GridSettings& grid, const Tools& tools, const Setting& setting,
                    const std::string& noise, const std::vector<std::string>& prerequisites) {
  Task task;
  task.detectorID = setting.detectorID;
  task.directory =
      grid.results + "/tasks/evaluate/" + setting.detectorID + radiusSuffix(setting) + "_n" + noise;
  task.prerequisites = prerequisites;
  std::string runs = prerequisiteChecks(prerequisites);
  for (const std::string& threshold : grid.thresholds) {
    if (&threshold != &grid.thresholds.front()) runs += " && ";
    runs += shellQuote(tools.ardentis) + " -C " + shellQuote(grid.configFile) + " -S " +
            shellQuote(grid.keypoints) + " -O " + shellQuote(task.directory) + " --detectorID " +
            setting.detectorID + " -n " + noise + " -t " + threshold;
    if (setting.radius > 0) runs += " -r " + std::to_string(setting.radius);
  }
  task.command =
      taskPrefix(grid, task.directory) + "{ " + runs + "; }" + taskSuffix(task.directory);
  return task;
}

// Every combination of option values is a setting: a few lists of values multiply quickly.
void checkSettingCount(const GridSettings& grid) {
  double settings = 0.0;
  for (const DetectorEntry& entry : grid.detectors) {
    double combinations = double(std::max<std::size_t>(entry.radii.size(), 1));
    for (const DetectorOption& option : entry.options) combinations *= double(option.values.size());
    settings += combinations;
  }
  if (settings > kMostSettings) {
    char count[64];
    std::snprintf(count, sizeof count, "%.0f", settings);
    throw GridFileError("the detector entries make " + std::string(count) +
                        " settings; a grid takes at most 10000");
  }
}

}  // namespace

std::string shellQuote(const std::string& word) {
  bool plain = !word.empty();
  for (char c : word) {
    if (!TestSet::isNameCharacter(c) && std::string("/=:,").find(c) == std::string::npos)
      plain = false;
  }
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

TaskPlan planTasks(const GridSettings& grid, const Tools& tools) {
  checkSettingCount(grid);
  TaskPlan plan;
  std::set<std::string> directories;
  for (const DetectorEntry& entry : grid.detectors) {
    Setting first;
    first.detectorID = entry.name;
    first.entry = &entry;
    std::vector<Setting> settings;
    expandOptions(entry, 0, first, settings);
    for (const Setting& setting : settings) {
      const std::string name = setting.detectorID + radiusSuffix(setting);
      if (!directories.insert(name).second) {
        throw GridFileError("two detector settings are named " + name);
      }
      std::vector<std::string> prerequisites;
      if (!entry.precomputed()) {
        plan.detection.push_back(detectionTask(grid, tools, setting));
        prerequisites.push_back(plan.detection.back().directory);
      }
      for (const std::string& noise : grid.noise) {
        plan.evaluation.push_back(evaluationTask(grid, tools, setting, noise, prerequisites));
      }
    }
  }
  return plan;
}

}  // namespace Grid
}  // namespace Ostrel
