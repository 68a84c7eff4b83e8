#include "config/parse_options.h"

#include <boost/program_options.hpp>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "core/io/message_placeholder.h"
#include "testset/test_configuration.h"

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

// The configuration's problem as the evaluator words it: library errors without a line end, as
// the command-line errors are.
void printConfigurationProblem(const Ostrel::TestSet::ConfigurationProblem& problem,
                               const std::string& path) {
  using Kind = Ostrel::TestSet::ConfigurationProblem::Kind;
  switch (problem.kind) {
    case Kind::none:
      break;
    case Kind::cannotOpen:
      std::cout << "Problems opening config file " << path << "\n";
      break;
    case Kind::unreadable:
      if (problem.placeholder) {
        std::cout << "invalid config file " << path
                  << ": it holds a %...% placeholder such as %value%\n";
      } else {
        std::cout << problem.detail;
      }
      break;
    case Kind::missingKey:
      std::cout << "Missing key \"" << problem.detail << "\" in config file " << path << "\n";
      break;
  }
}

// Options the later stages read and that have no default: a run without them stops here with
// a message rather than deep inside a stage.
bool outputOptionsPresent(const po::variables_map& vm) {
  for (const char* option : {"savingPath", "outputPath"}) {
    if (!vm.count(option)) {
      std::cout << "Missing option --" << option << " on the command line\n";
      return false;
    }
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
  Ostrel::TestSet::TestConfiguration configuration;
  const Ostrel::TestSet::ConfigurationProblem problem =
      Ostrel::TestSet::readTestConfiguration(configPath, vm, configuration);
  if (!problem) return outputOptionsPresent(vm);
  // A missing option is named before a missing path key, a file that does not parse before both.
  const bool pathKeyMissing =
      problem.kind == Ostrel::TestSet::ConfigurationProblem::Kind::missingKey &&
      problem.detail != "MODELS.NUMBER";
  if (pathKeyMissing && !outputOptionsPresent(vm)) return false;
  printConfigurationProblem(problem, configPath);
  return false;
}
