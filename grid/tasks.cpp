#include "grid/tasks.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "testset/keypoint_budget.h"
#include "testset/naming.h"

namespace Ostrel {
namespace Grid {

namespace {

const double kMostSettings = 10000;  // settings of one grid, all entries together

struct Setting {
  std::string detectorID;
  const DetectorEntry* entry = nullptr;
  std::vector<std::pair<std::string, std::string>> options;  // name, value
  std::string label;                                         // the values that vary
  int radius = -1;                                           // -1: no -r
};

std::string radiusSuffix(int radius) {
  return radius > 0 ? "_R-" + std::to_string(radius) : "";
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
    if (option.values.size() > 1) {
      setting.detectorID += "_" + option.name + "-" + value;
      setting.label += (setting.label.empty() ? "" : ", ") + option.name + "=" + value;
    }
    expandOptions(entry, next + 1, setting, settings);
  }
}

// The name a configuration gives its tasks' directories: its file name without extension.
std::string configurationStem(const TestSet::ConfigurationFile& file) {
  return TestSet::meshNameFromPath(file.path);
}

std::string taskPrefix(const GridSettings& grid, const std::string& directory) {
  const std::string dir = shellQuote(directory);
  return "cd " + shellQuote(grid.workDir) + " && rm -rf " + dir + " && mkdir -p " + dir + " && ";
}

std::string taskSuffix(const std::string& directory) {
  const std::string dir = shellQuote(directory);
  return " > " + dir + "/log 2>&1 && touch " + dir + "/done && echo done: " + dir;
}

Task makeTask(const GridSettings& grid, Task::Kind kind, const std::string& directory,
              const std::string& command) {
  Task task;
  task.kind = kind;
  task.directory = directory;
  task.command = taskPrefix(grid, directory) + command + taskSuffix(directory);
  return task;
}

std::string configurationList(const std::vector<TestSet::ConfigurationFile>& files) {
  std::string list;
  for (const TestSet::ConfigurationFile& file : files) list += " " + shellQuote(file.path);
  return list;
}

std::string noiseList(const GridSettings& grid) {
  std::string list = " -n";
  for (const std::string& noise : grid.noise) list += " " + noise;
  return list;
}

// The budgets a detection or keep task writes: every one but "all".
std::string budgetList(const DetectorEntry& entry) {
  std::string list;
  for (const std::string& budget : entry.budgets) {
    if (budget != "all") list += " " + budget;
  }
  return list.empty() ? "" : " --keep" + list;
}

// The options of ardentis-detect or ardentis-prepare keep that name a setting's files.
std::string settingArguments(const GridSettings& grid, const Setting& setting) {
  std::string arguments = " -S " + shellQuote(grid.keypoints);
  if (setting.radius > 0) arguments += " -r " + std::to_string(setting.radius);
  return arguments + " --detectorID " + setting.detectorID;
}

std::string detectCommand(const GridSettings& grid, const Tools& tools, const Setting& setting) {
  std::string command = shellQuote(tools.detect) + " --detector " + setting.entry->detector +
                        settingArguments(grid, setting) + " --threads " +
                        std::to_string(grid.threads);
  for (const auto& [name, value] : setting.options) command += " --" + name + " " + value;
  return command + budgetList(*setting.entry);
}

std::string keepCommand(const GridSettings& grid, const Tools& tools, const Setting& setting) {
  return shellQuote(tools.prepare) + " keep" + settingArguments(grid, setting) +
         budgetList(*setting.entry);
}

// The tasks that write a setting's keypoint files (detection) or its budgets' (keep): one for a
// single configuration, else one for the dataset's models and one per configuration's scene.
// Returns, per configuration, the directories an evaluation of it needs.
std::vector<std::vector<std::string>> keypointTasks(const GridSettings& grid, const Tools& tools,
                                                    const Setting& setting, TaskPlan& plan) {
  const bool detect = !setting.entry->precomputed();
  std::vector<std::vector<std::string>> needed(grid.configurations.size());
  if (!detect && budgetList(*setting.entry).empty()) return needed;
  const Task::Kind kind = detect ? Task::Kind::detect : Task::Kind::keep;
  const std::string base = grid.results + (detect ? "/tasks/detect/" : "/tasks/keep/") +
                           setting.detectorID + radiusSuffix(setting.radius);
  const std::string command =
      detect ? detectCommand(grid, tools, setting) : keepCommand(grid, tools, setting);
  const std::string all = configurationList(grid.configurations);
  if (grid.configurations.size() == 1) {
    plan.detection.push_back(makeTask(grid, kind, base, command + " -C" + all + noiseList(grid)));
    needed[0].push_back(base);
    return needed;
  }
  plan.detection.push_back(makeTask(grid, kind, base, command + " -C" + all + " --models-only"));
  for (std::size_t c = 0; c < grid.configurations.size(); ++c) {
    const TestSet::ConfigurationFile& file = grid.configurations[c];
    const std::string directory = base + "_" + configurationStem(file);
    const std::string pool = detect ? " --resolution-from" + all : "";
    plan.detection.push_back(makeTask(
        grid, kind, directory,
        command + " -C " + shellQuote(file.path) + pool + " --scenes-only" + noiseList(grid)));
    needed[c] = {base, directory};
  }
  return needed;
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

Task evaluationTask(const GridSettings& grid, const Tools& tools, const std::string& detectorID,
                    int radius, const TestSet::ConfigurationFile& file, const std::string& noise,
                    const std::vector<std::string>& prerequisites) {
  std::string directory = grid.results + "/tasks/evaluate/" + detectorID + radiusSuffix(radius);
  if (grid.configurations.size() > 1) directory += "_" + configurationStem(file);
  directory += "_n" + noise;
  std::string runs = prerequisiteChecks(prerequisites);
  for (const std::string& threshold : grid.thresholds) {
    if (&threshold != &grid.thresholds.front()) runs += " && ";
    runs += shellQuote(tools.ardentis) + " -C " + shellQuote(file.path) + " -S " +
            shellQuote(grid.keypoints) + " -O " + shellQuote(directory) + " --detectorID " +
            detectorID + " -n " + noise + " -t " + threshold;
    if (radius > 0) runs += " -r " + std::to_string(radius);
  }
  Task task = makeTask(grid, Task::Kind::evaluate, directory, "{ " + runs + "; }");
  task.detectorID = detectorID;
  task.prerequisites = prerequisites;
  return task;
}

void measureTasks(const GridSettings& grid, const Tools& tools, TaskPlan& plan) {
  for (const TestSet::ConfigurationFile& file : grid.configurations) {
    const std::string directory = grid.results + "/tasks/measure/" + configurationStem(file);
    plan.detection.push_back(makeTask(grid, Task::Kind::measure, directory,
                                      shellQuote(tools.prepare) + " measure -C " +
                                          shellQuote(file.path) + noiseList(grid) + " -o " +
                                          shellQuote(directory + "/meshes.csv")));
  }
}

// What the settings planned so far are called: their names with their radius (which name their
// tasks' directories and files) and their detector IDs.
struct PlannedNames {
  std::set<std::string> directories;
  std::set<std::string> detectorIDs;
};

void planSetting(const GridSettings& grid, const Tools& tools, const Setting& setting,
                 PlannedNames& names, TaskPlan& plan) {
  const std::vector<std::vector<std::string>> needed = keypointTasks(grid, tools, setting, plan);
  for (const std::string& budget : setting.entry->budgets) {
    const std::string id = budget == "all"
                               ? setting.detectorID
                               : TestSet::budgetedDetectorID(setting.detectorID, budget);
    const std::string name = id + radiusSuffix(setting.radius);
    if (budget != "all" && !names.directories.insert(name).second)
      throw GridFileError("two detector settings are named " + name);
    if (names.detectorIDs.insert(id).second)  // the first radius of this ID
      plan.settings.push_back({id, setting.entry->name, setting.label, budget});
    for (std::size_t c = 0; c < grid.configurations.size(); ++c) {
      for (const std::string& noise : grid.noise) {
        plan.evaluation.push_back(evaluationTask(grid, tools, id, setting.radius,
                                                 grid.configurations[c], noise, needed[c]));
      }
    }
  }
}

// Every combination of option values is a setting: a few lists of values multiply quickly.
void checkSettingCount(const GridSettings& grid) {
  double settings = 0.0;
  for (const DetectorEntry& entry : grid.detectors) {
    double combinations = double(std::max<std::size_t>(entry.radii.size(), 1));
    for (const DetectorOption& option : entry.options) combinations *= double(option.values.size());
    settings += combinations * double(entry.budgets.size());
  }
  if (settings > kMostSettings) {
    char count[64];
    std::snprintf(count, sizeof count, "%.0f", settings);
    throw GridFileError("the detector entries make " + std::string(count) +
                        " settings; a grid takes at most 10000");
  }
}

// Configurations name their tasks' directories: those names must differ and need no quoting.
void checkConfigurationNames(const GridSettings& grid) {
  std::set<std::string> stems;
  for (const TestSet::ConfigurationFile& file : grid.configurations) {
    const std::string stem = configurationStem(file);
    if (!TestSet::isPlainName(stem))
      throw GridFileError("configuration " + file.path + ": its name '" + stem +
                          "' must be letters, digits, '.', '_', '-' or '+'");
    if (!stems.insert(stem).second)
      throw GridFileError("two configurations are named " + stem + " (" + file.path + ")");
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
  checkConfigurationNames(grid);
  TaskPlan plan;
  measureTasks(grid, tools, plan);  // the report's densities, whoever draws it
  PlannedNames names;
  for (const DetectorEntry& entry : grid.detectors) {
    Setting first;
    first.detectorID = entry.name;
    first.entry = &entry;
    std::vector<Setting> settings;
    expandOptions(entry, 0, first, settings);
    for (const Setting& setting : settings) {
      const std::string name = setting.detectorID + radiusSuffix(setting.radius);
      if (!names.directories.insert(name).second) {
        throw GridFileError("two detector settings are named " + name);
      }
      planSetting(grid, tools, setting, names, plan);
    }
  }
  return plan;
}

}  // namespace Grid
}  // namespace Ostrel
