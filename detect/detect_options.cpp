#include "detect/detect_options.h"

#include <algorithm>
#include <boost/program_options.hpp>
#include <thread>

#include "cli/messages.h"
#include "cli/numbers.h"
#include "testset/keypoint_budget.h"
#include "testset/naming.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Detect {

namespace {

const char* const kTool = "ardentis-detect";

const char* const kUsage =
    "Usage: ardentis-detect -C CONFIG... -S DIR --detector NAME [-n SIGMA...] [-r R] [options]\n"
    "Detects keypoints on every model and on the scene at each noise level of one or more test\n"
    "configurations and writes the keypoint files ardentis reads. Lengths are in mesh\n"
    "resolutions (mr: the mean resolution of the cleaned models of every configuration given,\n"
    "each model counted once, or of --resolution-from's).\n";

unsigned allCores() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

std::string defaultIDs() {
  std::string ids;
  for (const DetectorSpec& spec : detectorSpecs())
    ids += (ids.empty() ? "" : ", ") + spec.defaultID;
  return ids;
}

po::options_description commonOptions() {
  po::options_description options("Options");
  // clang-format off
  options.add_options()
      ("help,h", "print this help and stop")
      ("version", Cli::kVersionOption)
      ("configFile,C", po::value<std::vector<std::string>>()->multitoken(),
       "test configurations (INI), as for ardentis: one, or a dataset's")
      ("savingPath,S", po::value<std::string>(), "directory the keypoint files go to (created)")
      ("detector,d", po::value<std::string>(), detectorNames().c_str())
      ("sigmaSceneNoise,n", po::value<std::vector<double>>()->multitoken(),
       "scene noise levels to detect on (default 0.1)")
      ("radius,r", po::value<int>(),
       "support radius in mr (default 6); when given, part of the file names")
      ("detectorID", po::value<std::string>(), ("name in the file names (default " +
       defaultIDs() + ")").c_str())
      ("threads", po::value<unsigned>()->default_value(allCores()),
       "threads for the detectors that run in parallel (default: all cores)")
      ("keep", po::value<std::vector<std::string>>()->multitoken(),
       "budgets: also write the highest-scored keypoints, this many per 1,000 vertices, as "
       "<ID>_keep-<K> (one or more)")
      ("models-only", "detect on the models only")
      ("scenes-only", "detect on the scenes only (mr still from the models)")
      ("resolution-from", po::value<std::vector<std::string>>()->multitoken(),
       "measure mr over the models of these configurations (default: -C's)");
  // clang-format on
  return options;
}

// One group per detector; an option two detectors share is declared once, by the first.
po::options_description detectorOptions() {
  po::options_description all;
  std::vector<std::string> declared;
  for (const DetectorSpec& spec : detectorSpecs()) {
    if (spec.options.empty()) continue;
    po::options_description group(spec.name + " options");
    for (const OptionSpec& option : spec.options) {
      if (std::find(declared.begin(), declared.end(), option.name) != declared.end()) continue;
      declared.push_back(option.name);
      group.add_options()(option.name.c_str(),
                          po::value<std::string>()->default_value(option.defaultValue),
                          option.help.c_str());
    }
    all.add(group);
  }
  return all;
}

bool refuse(const std::string& message) {
  Cli::printError(kTool, message);
  return false;
}

bool readDetector(const po::variables_map& vm, DetectOptions& options) {
  if (!vm.count("detector")) return refuse("--detector is missing (" + detectorNames() + ")");
  const std::string name = vm["detector"].as<std::string>();
  const DetectorSpec* spec = findDetector(name);
  if (spec == nullptr) return refuse("unknown detector '" + name + "'; known: " + detectorNames());
  DetectorSetting setting = defaultSetting(*spec);
  for (const DetectorSpec& other : detectorSpecs()) {
    for (const OptionSpec& option : other.options) {
      if (!vm.count(option.name) || vm[option.name].defaulted()) continue;
      const std::string owner = checkOptionOwner(*spec, option.name);
      if (!owner.empty()) return refuse("--" + option.name + " is " + owner);
      const std::string value = vm[option.name].as<std::string>();
      const std::string problem = checkOptionValue(option, value);
      if (!problem.empty()) return refuse("--" + option.name + " " + problem);
      setting.values[option.name] = value;
    }
  }
  options.settings.detector = setting;
  return true;
}

bool readRun(const po::variables_map& vm, DetectOptions& options) {
  if (!vm.count("savingPath")) return refuse("--savingPath (-S) is missing");
  options.savingPath = vm["savingPath"].as<std::string>();
  if (vm.count("radius")) {
    options.fileRadius = vm["radius"].as<int>();
    if (options.fileRadius <= 0) {
      return refuse("--radius must be positive, not " + std::to_string(options.fileRadius));
    }
    options.settings.radius = options.fileRadius;
  }
  options.settings.threads = vm["threads"].as<unsigned>();
  if (options.settings.threads == 0) return refuse("--threads must be positive, not 0");
  options.detectorID = vm.count("detectorID") ? vm["detectorID"].as<std::string>()
                                              : options.settings.detector.spec->defaultID;
  if (!TestSet::isPlainName(options.detectorID))
    return refuse("--detectorID '" + options.detectorID +
                  "' must be letters, digits, '.', '_', '-' or '+', and not begin with '.' or "
                  "'-'");

  const std::vector<double> levels = vm.count("sigmaSceneNoise")
                                         ? vm["sigmaSceneNoise"].as<std::vector<double>>()
                                         : std::vector<double>{0.1};
  for (const double level : levels) {
    if (!(level >= 0.0)) return refuse("--sigmaSceneNoise must be 0 or more");
    options.noiseLevels.push_back(TestSet::noiseLevelName(level));
  }
  return true;
}

// The test set's reader, with the evaluator's rules: a file ardentis accepts is accepted here.
bool readConfigurations(const std::vector<std::string>& paths,
                        std::vector<TestSet::ConfigurationFile>& configurations) {
  const std::string problem = TestSet::readConfigurationFiles(paths, configurations);
  return problem.empty() || refuse(problem);
}

// Budgets are written into detector IDs as noise levels are into file names (%g).
bool readBudgets(const po::variables_map& vm, DetectOptions& options) {
  if (!vm.count("keep")) return true;
  for (const std::string& text : vm["keep"].as<std::vector<std::string>>()) {
    std::string budget;
    const std::string problem = TestSet::parseBudget(text, budget);
    if (!problem.empty()) return refuse("--keep: " + problem);
    options.budgets.push_back(budget);
  }
  return true;
}

bool readMeshes(const po::variables_map& vm, DetectOptions& options) {
  if (!vm.count("configFile")) return refuse("--configFile (-C) is missing");
  options.detectModels = !vm.count("scenes-only");
  options.detectScenes = !vm.count("models-only");
  if (!options.detectModels && !options.detectScenes)
    return refuse("--models-only and --scenes-only leave nothing to detect");
  if (!readConfigurations(vm["configFile"].as<std::vector<std::string>>(),
                          options.configurations)) {
    return false;
  }
  if (!vm.count("resolution-from")) {
    options.resolutionFrom = options.configurations;
    return true;
  }
  return readConfigurations(vm["resolution-from"].as<std::vector<std::string>>(),
                            options.resolutionFrom);
}

}  // namespace

Cli::ParseOutcome parseDetectOptions(int argc, char** argv, DetectOptions& options) {
  Cli::CommandLine commandLine{kTool, kUsage, {}, {}, {}};
  commandLine.visible.add(commonOptions()).add(detectorOptions());
  po::variables_map vm;
  const Cli::ParseOutcome outcome = Cli::parseCommandLine(commandLine, argc, argv, vm);
  if (outcome != Cli::ParseOutcome::run) return outcome;
  if (!readDetector(vm, options) || !readRun(vm, options) || !readBudgets(vm, options) ||
      !readMeshes(vm, options)) {
    return Cli::ParseOutcome::refused;
  }
  return Cli::ParseOutcome::run;
}

}  // namespace Detect
}  // namespace Ostrel
