#include "config/parse_options.h"

#include <boost/program_options.hpp>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "config/config_keys.h"
#include "config/message_placeholder.h"

namespace po = boost::program_options;

namespace {

po::options_description commandLineOptions() {
  po::options_description options("Command line options");
  // clang-format off
  options.add_options()
      ("help", "produce help message")
      ("sigmaSceneNoise,n", po::value<double>()->default_value(0.1),
       "Standard deviation of noise added to scene")
      ("radius,r", po::value<int>()->default_value(-1),
       "Radius in units of mesh resolution. Default used for adaptive scale detectors.")
      ("normals", po::value<char>()->default_value('V'), "Select a method to compute the normals")
      ("repeatabilityTh,t", po::value<double>()->default_value(1),
       "Maximum distance to define a couple of keypoints repeatable (in unit of mesh resolution)")
      ("outputPath,O", po::value<std::string>(), "Output root directory")
      ("savingPath,S", po::value<std::string>(), "Root directory for loading features from files")
      ("configFile,C", po::value<std::string>(), "Config (.ini) file for this test")
      ("maxVertexesInDataset", po::value<int>()->default_value(-1),
       "Max number of vertexes in dataset ( both in models and scenes). Used during decimation.")
      ("detectorID", po::value<std::string>()->default_value("YourDetectorName"),
       "ID of the detector tested when reading keypoints from file. Should be the part of the "
       "keypoints filename.");
  // clang-format on
  return options;
}

po::options_description testConfigurationOptions() {
  po::options_description options("Test Configuration");
  // clang-format off
  options.add_options()
      ("MODELS.NUMBER", po::value<int>(), "Number of models in the scene")
      ("SCENE.PATH", po::value<std::string>(), "Path to scene mesh, relative to TAVEN_ROOT_DATA")
      ("SCENE.GT_THRESHOLD", po::value<double>(),
       "Maximum distance in unit of mesh resolution to accept a mesh as correct")
      ("SCENE.CLUTTER_KEYPOINTS_PERCENTAGE", po::value<double>()->default_value(0),
       "Percentage on total number of keypoints to be extracted from non model meshes in the "
       "scene");
  // clang-format on
  return options;
}

void printLibraryError(const std::exception& error, const std::string& offendingText,
                       const std::string& where) {
  if (holdsMessagePlaceholder(offendingText)) {
    std::cout << "invalid " << where << ": it holds a %...% placeholder such as %value%\n";
  } else {
    std::cout << error.what();
  }
}

std::string joinArguments(int argc, char** argv) {
  std::string joined;
  for (int i = 1; i < argc; ++i) joined += std::string(argv[i]) + " ";
  return joined;
}

std::string wholeFile(std::istream& file) {
  file.clear();
  file.seekg(0);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// One pass over the configuration file; library errors are reported without a line feed, as
// the command-line errors are.
bool readConfigFile(const std::string& path, const po::options_description& options,
                    po::variables_map& vm) {
  std::ifstream file(path);
  if (!file.is_open()) {
    std::cout << "Problems opening config file " << path << "\n";
    return false;
  }
  try {
    po::store(po::parse_config_file(file, options, true), vm);
    po::notify(vm);
  } catch (const std::exception& e) {
    printLibraryError(e, wholeFile(file), "config file " + path);
    return false;
  }
  return true;
}

// Lines in the file: every model needs two of them, which bounds how many model keys are
// worth registering (a huge NUMBER must not make us register billions of options).
long countLines(const std::string& path) {
  std::ifstream file(path);
  long lines = 1;
  for (std::string line; std::getline(file, line);) ++lines;
  return lines;
}

bool reportMissingConfigKey(const std::string& key, const std::string& configPath) {
  std::cout << "Missing key \"" << key << "\" in config file " << configPath << "\n";
  return false;
}

// Keys the later stages read and that have no default: a run without them stops here with a
// message rather than deep inside a stage.
bool requiredValuesPresent(const po::variables_map& vm, const std::string& configPath) {
  for (const char* option : {"savingPath", "outputPath"}) {
    if (!vm.count(option)) {
      std::cout << "Missing option --" << option << " on the command line\n";
      return false;
    }
  }
  if (!vm.count("SCENE.PATH")) return reportMissingConfigKey("SCENE.PATH", configPath);
  const int models = vm["MODELS.NUMBER"].as<int>();
  for (int i = 0; i < models; ++i) {
    if (!vm.count(modelKey(i))) return reportMissingConfigKey(modelKey(i), configPath);
    if (!vm.count(groundTruthKey(i))) return reportMissingConfigKey(groundTruthKey(i), configPath);
  }
  return true;
}

// A radius of 0 matches nothing, a negative one would act as its absolute value once squared,
// and one that is not a finite number compares false with every distance.
bool thresholdUsable(const po::variables_map& vm) {
  const double threshold = vm["repeatabilityTh"].as<double>();
  if (threshold > 0.0 && std::isfinite(threshold)) return true;
  std::cout.flush();
  std::fflush(stdout);
  std::cerr << "repeatabilityTh must be a positive number\n";
  return false;
}

}  // namespace

bool parseOptions(int argc, char** argv, po::variables_map& vm) {
  const po::options_description commandLine = commandLineOptions();
  po::options_description testConfiguration = testConfigurationOptions();

  try {
    po::store(po::parse_command_line(argc, argv, commandLine), vm);
    po::notify(vm);
  } catch (const std::exception& e) {
    printLibraryError(e, joinArguments(argc, argv), "command line");
    return false;
  }

  if (vm.count("help")) {
    std::cout << commandLine << "\n";
    return false;
  }
  if (!thresholdUsable(vm)) return false;
  if (!vm.count("configFile")) {
    std::cout << "Path to config file storing test configuration is missing on the command line"
              << "\n"
              << "Usage::\n"
              << commandLine << "\n";
    return false;
  }

  const std::string configPath = vm["configFile"].as<std::string>();
  if (!readConfigFile(configPath, testConfiguration, vm)) return false;
  if (!vm.count("MODELS.NUMBER")) return reportMissingConfigKey("MODELS.NUMBER", configPath);

  const long registrable = countLines(configPath);
  for (int i = 0; i < vm["MODELS.NUMBER"].as<int>() && i < registrable; ++i) {
    testConfiguration.add_options()(modelKey(i).c_str(), po::value<std::string>(),
                                    "Path to i-th model");
    testConfiguration.add_options()(groundTruthKey(i).c_str(), po::value<std::string>(),
                                    "Path to i-th model groundtruth");
  }
  if (!readConfigFile(configPath, testConfiguration, vm)) return false;
  return requiredValuesPresent(vm, configPath);
}
