#include "detect/detect_options.h"

#include <algorithm>
#include <boost/program_options.hpp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <sstream>
#include <thread>

#include "core/io/message_placeholder.h"
#include "testset/naming.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Detect {

namespace {

const char* const kUsage =
    "Usage: ardentis-detect -C CONFIG -S DIR --detector NAME [-n SIGMA...] [-r R] [options]\n"
    "Detects keypoints on every model and on the scene at each noise level of a test\n"
    "configuration and writes the keypoint files ardentis reads. Lengths are in mesh\n"
    "resolutions (the mean resolution of the cleaned models).\n";

unsigned allCores() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

po::options_description commonOptions() {
  po::options_description options("Options");
  // clang-format off
  options.add_options()
      ("help,h", "print this help and stop")
      ("configFile,C", po::value<std::string>(), "test configuration file (INI), as for ardentis")
      ("savingPath,S", po::value<std::string>(), "directory the keypoint files go to (created)")
      ("detector,d", po::value<std::string>(), "iss, harris3d, sift3d or uniform")
      ("sigmaSceneNoise,n", po::value<std::vector<double>>()->multitoken(),
       "scene noise levels to detect on (default 0.1)")
      ("radius,r", po::value<int>(),
       "support radius in mr (default 6); when given, part of the file names")
      ("detectorID", po::value<std::string>(),
       "name in the file names (default ISS3D, HARRIS3D, SIFT3D or UNIFORM)")
      ("threads", po::value<unsigned>()->default_value(allCores()),
       "threads for the detectors that run in parallel (default: all cores)");
  // clang-format on
  return options;
}

po::options_description detectorOptions(const DetectorSettings& d) {
  po::options_description options("Detector options (lengths in mr)");
  // clang-format off
  options.add_options()
      ("nonMaxRadius", po::value<double>()->default_value(d.nonMaxRadius), "iss: non-maximum radius")
      ("gamma21", po::value<double>()->default_value(d.gamma21, "0.975"), "iss: largest ratio l2/l1")
      ("gamma32", po::value<double>()->default_value(d.gamma32, "0.975"), "iss: largest ratio l3/l2")
      ("minNeighbors", po::value<int>()->default_value(d.minNeighbors), "iss: fewest neighbours")
      ("method", po::value<std::string>()->default_value(d.method),
       "harris3d: harris, noble, lowe, tomasi or curvature")
      ("threshold", po::value<double>()->default_value(d.threshold, "1e-06"),
       "harris3d: smallest response kept (>= 0)")
      ("normalRadius", po::value<double>()->default_value(d.normalRadius),
       "sift3d: radius of the normals giving the curvature")
      ("minScale", po::value<double>()->default_value(d.minScale), "sift3d: smallest scale")
      ("octaves", po::value<int>()->default_value(d.octaves), "sift3d: number of octaves")
      ("scalesPerOctave", po::value<int>()->default_value(d.scalesPerOctave),
       "sift3d: scales per octave")
      ("minContrast", po::value<double>()->default_value(d.minContrast, "0.0001"),
       "sift3d: smallest curvature contrast (>= 0, no unit)");
  // clang-format on
  return options;
}

bool refuse(const std::string& message) {
  std::cerr << "ardentis-detect: " << message << "\n";
  return false;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// The options each detector reads; giving another detector's option is a mistake worth a word.
const char* ownerOf(const std::string& option) {
  for (const char* o : {"nonMaxRadius", "gamma21", "gamma32", "minNeighbors"}) {
    if (option == o) return "iss";
  }
  for (const char* o : {"method", "threshold"}) {
    if (option == o) return "harris3d";
  }
  return "sift3d";
}

bool noForeignOptions(const po::variables_map& vm, const po::options_description& detector,
                      const std::string& chosen) {
  for (const auto& option : detector.options()) {
    const std::string name = option->long_name();
    if (vm.count(name) && !vm[name].defaulted() && ownerOf(name) != chosen) {
      return refuse("--" + name + " is an option of " + ownerOf(name) + ", not of " + chosen);
    }
  }
  return true;
}

bool positive(const po::variables_map& vm, const char* name, bool zeroAllowed = false) {
  const double value = vm[name].as<double>();
  if (value > 0.0 || (zeroAllowed && value == 0.0)) return true;
  std::ostringstream text;
  text << "--" << name << " must be " << (zeroAllowed ? "0 or more" : "positive") << ", not "
       << value;
  return refuse(text.str());
}

bool positiveInt(const po::variables_map& vm, const char* name) {
  if (vm[name].as<int>() > 0) return true;
  return refuse("--" + std::string(name) + " must be positive, not " +
                std::to_string(vm[name].as<int>()));
}

bool readDetector(const po::variables_map& vm, DetectOptions& options) {
  if (!vm.count("detector"))
    return refuse("--detector is missing (" + joined(KnownDetectors()) + ")");
  DetectorSettings& s = options.settings;
  s.detector = vm["detector"].as<std::string>();
  if (CanonicalDetectorID(s.detector).empty()) {
    return refuse("unknown detector '" + s.detector + "'; known: " + joined(KnownDetectors()));
  }
  for (const char* name : {"nonMaxRadius", "gamma21", "gamma32", "normalRadius", "minScale"}) {
    if (!positive(vm, name)) return false;
  }
  for (const char* name : {"minNeighbors", "octaves", "scalesPerOctave"}) {
    if (!positiveInt(vm, name)) return false;
  }
  if (!positive(vm, "threshold", true) || !positive(vm, "minContrast", true)) return false;
  s.method = vm["method"].as<std::string>();
  const std::vector<std::string>& methods = KnownHarrisMethods();
  if (std::find(methods.begin(), methods.end(), s.method) == methods.end()) {
    return refuse("unknown --method '" + s.method + "'; known: " + joined(methods));
  }
  s.nonMaxRadius = vm["nonMaxRadius"].as<double>();
  s.gamma21 = vm["gamma21"].as<double>();
  s.gamma32 = vm["gamma32"].as<double>();
  s.minNeighbors = vm["minNeighbors"].as<int>();
  s.threshold = vm["threshold"].as<double>();
  s.normalRadius = vm["normalRadius"].as<double>();
  s.minScale = vm["minScale"].as<double>();
  s.octaves = vm["octaves"].as<int>();
  s.scalesPerOctave = vm["scalesPerOctave"].as<int>();
  s.minContrast = vm["minContrast"].as<double>();
  return true;
}

bool readRun(const po::variables_map& vm, DetectOptions& options) {
  if (!vm.count("configFile")) return refuse("--configFile (-C) is missing");
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
                                              : CanonicalDetectorID(options.settings.detector);
  if (options.detectorID.empty()) return refuse("--detectorID is empty");

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
bool readConfiguration(const std::string& path, DetectOptions& options) {
  options.configPath = path;
  const std::string problem = TestSet::readTestConfiguration(path, options.configuration);
  return problem.empty() || refuse(problem);
}

}  // namespace

ParseOutcome ParseDetectOptions(int argc, char** argv, DetectOptions& options) {
  const DetectorSettings defaults;
  po::options_description all;
  const po::options_description detector = detectorOptions(defaults);
  all.add(commonOptions()).add(detector);
  po::variables_map vm;
  try {
    po::store(po::parse_command_line(argc, argv, all), vm);
    po::notify(vm);
  } catch (const std::exception& e) {
    refuse(argumentsHoldMessagePlaceholder(argc, argv)
               ? "invalid command line: an argument holds a %...% placeholder such as %value%"
               : e.what());
    return ParseOutcome::Refused;
  }
  if (vm.count("help")) {
    std::cout << kUsage << all << "\n";
    return ParseOutcome::HelpShown;
  }
  if (!readDetector(vm, options) || !noForeignOptions(vm, detector, options.settings.detector) ||
      !readRun(vm, options) || !readConfiguration(vm["configFile"].as<std::string>(), options)) {
    return ParseOutcome::Refused;
  }
  return ParseOutcome::Run;
}

}  // namespace Detect
}  // namespace Ostrel
