#include "grid/grid_file.h"

#include <glob.h>

#include <algorithm>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cmath>
#include <filesystem>
#include <locale>
#include <set>
#include <sstream>

#include "cli/numbers.h"
#include "detect/detector_table.h"
#include "testset/keypoint_budget.h"
#include "testset/naming.h"

namespace Ostrel {
namespace Grid {

namespace {

using boost::property_tree::ptree;

const std::set<std::string> kGridKeys = {"configFile", "workDir",      "keypoints",      "results",
                                         "report",     "noise",        "thresholds",     "keep",
                                         "threads",    "slurmOptions", "tasksPerElement"};

[[noreturn]] void fail(const std::string& file, const std::string& problem) {
  throw GridFileError(file + ": " + problem);
}

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> list;
  std::istringstream in(text);
  for (std::string word; in >> word;) list.push_back(word);
  return list;
}

std::vector<std::string> numbers(const std::string& file, const std::string& key,
                                 const std::string& text, bool zeroAllowed) {
  std::vector<std::string> list;
  for (const std::string& word : words(text)) {
    std::string number;
    try {
      number = canonicalNumber(word);
    } catch (const std::invalid_argument&) {
      fail(file, key + ": '" + word + "' is not a number");
    }
    const double value = std::stod(number);
    if (value < 0 || (value == 0 && !zeroAllowed)) {
      fail(file, key + ": " + word + (zeroAllowed ? " is negative" : " is not positive"));
    }
    for (const std::string& seen : list) {
      if (seen == number) fail(file, key + ": " + word + " is given twice");
    }
    list.push_back(number);
  }
  if (list.empty()) fail(file, key + ": no value");
  return list;
}

int positiveInteger(const std::string& file, const std::string& key, const std::string& word) {
  std::size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(word, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != word.size() || value <= 0) {
    fail(file, key + ": '" + word + "' is not a positive whole number");
  }
  return value;
}

std::string absoluteDirectory(const std::string& file, const std::string& base,
                              const std::string& relative) {
  const std::filesystem::path path = std::filesystem::path(base) / relative;
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::canonical(path, error);
  if (error || !std::filesystem::is_directory(canonical)) {
    fail(file, "workDir: " + path.string() + " is not a directory");
  }
  return canonical.string();
}

// The detector and its options as ardentis-detect would take them, so that a wrong entry is
// refused now rather than by every task it makes.
void checkDetector(const std::string& file, const DetectorEntry& entry) {
  const std::string where = "[" + entry.name + "] ";
  if (entry.precomputed()) {
    if (!entry.options.empty()) {
      fail(file,
           where + entry.options.front().name + ": precomputed keypoints take no detector options");
    }
    return;
  }
  const Detect::DetectorSpec* spec = Detect::findDetector(entry.detector);
  if (spec == nullptr) {
    fail(file, where + "detector: unknown detector '" + entry.detector + "'; known: precomputed, " +
                   Detect::detectorNames());
  }
  for (const DetectorOption& option : entry.options) {
    const std::string owner = Detect::checkOptionOwner(*spec, option.name);
    if (!owner.empty()) fail(file, where + option.name + ": " + owner);
    for (const std::string& value : option.values) {
      const std::string problem = Detect::checkOptionValue(*spec->option(option.name), value);
      if (!problem.empty()) fail(file, where + option.name + ": " + problem);
    }
  }
}

// Budgets: numbers > 0 written as in IDs, or "all", each once.
std::vector<std::string> budgets(const std::string& file, const std::string& key,
                                 const std::string& text) {
  std::vector<std::string> list;
  for (const std::string& word : words(text)) {
    std::string budget = word;
    if (word != "all") {
      const std::string problem = TestSet::parseBudget(word, budget);
      if (!problem.empty()) fail(file, key + ": " + problem + " (or all)");
    }
    if (std::find(list.begin(), list.end(), budget) != list.end())
      fail(file, key + ": " + word + " is given twice");
    list.push_back(budget);
  }
  if (list.empty()) fail(file, key + ": no value");
  return list;
}

// The configurations the patterns of `text` name, relative to `workDir`, sorted, each once.
std::vector<std::string> configurationPaths(const std::string& file, const std::string& workDir,
                                            const std::string& text) {
  std::set<std::string> paths;
  for (const std::string& pattern : words(text)) {
    const std::string absolute = (std::filesystem::path(workDir) / pattern).string();
    glob_t found = {};
    const int status = ::glob(absolute.c_str(), GLOB_ERR, nullptr, &found);
    for (std::size_t i = 0; status == 0 && i < found.gl_pathc; ++i) {
      paths.insert(std::filesystem::path(found.gl_pathv[i]).lexically_relative(workDir).string());
    }
    ::globfree(&found);
    if (status != 0) fail(file, "[grid] configFile: no file " + absolute);
  }
  if (paths.empty()) fail(file, "[grid] configFile: missing");
  return {paths.begin(), paths.end()};
}

DetectorEntry readEntry(const std::string& file, const std::string& name, const ptree& section) {
  if (!TestSet::isPlainName(name)) {
    fail(file, "[" + name + "]: a detector ID takes letters, digits, '.', '_', '-' and '+' only");
  }
  DetectorEntry entry;
  entry.name = name;
  for (const auto& [key, child] : section) {
    const std::string value = child.get_value<std::string>();
    const std::string where = "[" + name + "] " + key;
    if (key == "detector") {
      entry.detector = value;
      if (!TestSet::isPlainName(value))
        fail(file, where + ": '" + value + "' is not a detector name");
    } else if (key == "radius") {
      for (const std::string& word : words(value)) {
        entry.radii.push_back(positiveInteger(file, where, word));
      }
      if (entry.radii.empty()) fail(file, where + ": no value");
    } else if (key == "keep") {
      entry.budgets = budgets(file, where, value);
    } else {
      DetectorOption option{key, words(value)};
      if (!TestSet::isPlainName(key)) fail(file, where + ": not an option name");
      if (option.values.empty()) fail(file, where + ": no value");
      for (const std::string& word : option.values) {
        if (!TestSet::isPlainName(word))
          fail(file, where + ": '" + word + "' is not a plain value");
      }
      entry.options.push_back(option);
    }
  }
  if (entry.detector.empty()) {
    fail(file, "[" + name + "]: no detector (an ardentis-detect detector or precomputed)");
  }
  checkDetector(file, entry);
  return entry;
}

void readGridSection(const std::string& file, const ptree& section, const std::string& workDir,
                     GridSettings& grid) {
  for (const auto& [key, child] : section) {
    if (kGridKeys.count(key) == 0) fail(file, "[grid] " + key + ": unknown key");
  }
  const auto text = [&section](const char* key, const char* fallback) {
    return section.get<std::string>(key, fallback);
  };
  const std::string gridDirectory =
      std::filesystem::absolute(std::filesystem::path(file)).parent_path().string();
  grid.workDir = workDir.empty() ? absoluteDirectory(file, gridDirectory, text("workDir", "."))
                                 : absoluteDirectory(file, ".", workDir);
  // Found now rather than by every task failing on them.
  std::vector<std::string> paths = configurationPaths(file, grid.workDir, text("configFile", ""));
  for (const std::string& path : paths) {
    grid.configurations.push_back({path, {}});
    const std::string problem =
        TestSet::readTestConfiguration((std::filesystem::path(grid.workDir) / path).string(),
                                       grid.configurations.back().configuration);
    if (!problem.empty()) fail(file, "[grid] configFile: " + problem);
  }
  grid.keypoints = text("keypoints", "feats");
  grid.results = text("results", "results");
  grid.report = text("report", "report");
  if (grid.report == "none") grid.report.clear();
  for (const std::string* path : {&grid.keypoints, &grid.results}) {
    if (path->empty()) fail(file, "[grid]: an empty directory name");
  }
  grid.noise = numbers(file, "[grid] noise", text("noise", ""), true);
  grid.thresholds = numbers(file, "[grid] thresholds", text("thresholds", "1"), false);
  grid.budgets = budgets(file, "[grid] keep", text("keep", "all"));
  grid.threads = positiveInteger(file, "[grid] threads", text("threads", "1"));
  grid.slurmOptions = words(text("slurmOptions", ""));
  grid.tasksPerElement =
      positiveInteger(file, "[grid] tasksPerElement", text("tasksPerElement", "1"));
}

}  // namespace

std::string canonicalNumber(const std::string& value) {
  double number = 0.0;
  if (!Cli::parseFiniteNumber(value, number)) throw std::invalid_argument(value);
  return TestSet::noiseLevelName(number);
}

GridSettings readGridFile(const std::string& path, const std::string& workDir) {
  ptree root;
  try {
    boost::property_tree::read_ini(path, root);
  } catch (const boost::property_tree::ini_parser_error& error) {
    // The parser's message already names the file and line.
    throw GridFileError(error.what());
  }
  GridSettings grid;
  const auto gridSection = root.find("grid");
  if (gridSection == root.not_found()) fail(path, "no [grid] section");
  readGridSection(path, gridSection->second, workDir, grid);
  for (const auto& [name, section] : root) {
    if (section.empty() && !section.data().empty()) {
      fail(path, name + ": a key outside any section");
    }
    if (name != "grid") grid.detectors.push_back(readEntry(path, name, section));
  }
  for (DetectorEntry& entry : grid.detectors) {
    if (entry.budgets.empty()) entry.budgets = grid.budgets;
  }
  if (grid.detectors.empty()) fail(path, "no detector section");
  std::error_code error;
  const std::filesystem::path keypoints = std::filesystem::path(grid.workDir) / grid.keypoints;
  for (const DetectorEntry& entry : grid.detectors) {
    if (entry.precomputed() && !std::filesystem::is_directory(keypoints, error)) {
      fail(path, "[" + entry.name + "]: precomputed keypoints, but no directory " +
                     keypoints.string() + " (keypoints)");
    }
  }
  return grid;
}

}  // namespace Grid
}  // namespace Ostrel
