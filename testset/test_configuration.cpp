#include "testset/test_configuration.h"

#include <boost/program_options.hpp>
#include <fstream>
#include <set>
#include <sstream>

#include "core/io/message_placeholder.h"
#include "testset/configuration_keys.h"
#include "testset/naming.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace TestSet {

namespace {

using Kind = ConfigurationProblem::Kind;

po::options_description fixedKeys() {
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

ConfigurationProblem problem(Kind kind, const std::string& detail = "") {
  ConfigurationProblem found;
  found.kind = kind;
  found.detail = detail;
  return found;
}

// One pass over the whole file: its keys known to `options` are stored and notified.
ConfigurationProblem readPass(const std::string& path, const po::options_description& options,
                              po::variables_map& vm) {
  std::ifstream file(path);
  if (!file.is_open()) return problem(Kind::cannotOpen);
  try {
    po::store(po::parse_config_file(file, options, true), vm);
    po::notify(vm);
  } catch (const std::exception& error) {
    file.clear();
    file.seekg(0);
    std::ostringstream text;
    text << file.rdbuf();
    // The parser's message would never finish building on such text.
    if (holdsMessagePlaceholder(text.str())) {
      ConfigurationProblem found = problem(Kind::unreadable);
      found.placeholder = true;
      return found;
    }
    return problem(Kind::unreadable, error.what());
  }
  return {};
}

// Lines in the file: every model needs two of them, which bounds how many model keys are
// worth registering (a huge NUMBER must not make us register billions of options).
long countLines(const std::string& path) {
  std::ifstream file(path);
  long lines = 1;
  for (std::string line; std::getline(file, line);) ++lines;
  return lines;
}

bool present(const po::variables_map& vm, const std::string& key) {
  return vm.count(key) != 0 && !vm[key].empty();
}

ConfigurationProblem collect(const po::variables_map& vm, TestConfiguration& configuration) {
  if (!present(vm, "SCENE.PATH")) return problem(Kind::missingKey, "SCENE.PATH");
  configuration.scene = vm["SCENE.PATH"].as<std::string>();
  for (int i = 0; i < vm["MODELS.NUMBER"].as<int>(); ++i) {
    for (const std::string& key : {modelKey(i), groundTruthKey(i)}) {
      if (!present(vm, key)) return problem(Kind::missingKey, key);
    }
    configuration.models.push_back(
        {vm[modelKey(i)].as<std::string>(), vm[groundTruthKey(i)].as<std::string>()});
  }
  return {};
}

}  // namespace

ConfigurationProblem readTestConfiguration(const std::string& path, po::variables_map& vm,
                                           TestConfiguration& configuration) {
  po::options_description keys = fixedKeys();
  if (ConfigurationProblem found = readPass(path, keys, vm)) return found;
  if (!present(vm, "MODELS.NUMBER")) return problem(Kind::missingKey, "MODELS.NUMBER");
  const long registrable = countLines(path);
  for (int i = 0; i < vm["MODELS.NUMBER"].as<int>() && i < registrable; ++i) {
    keys.add_options()(modelKey(i).c_str(), po::value<std::string>(), "Path to i-th model");
    keys.add_options()(groundTruthKey(i).c_str(), po::value<std::string>(),
                       "Path to i-th model groundtruth");
  }
  if (ConfigurationProblem found = readPass(path, keys, vm)) return found;
  return collect(vm, configuration);
}

std::string describeProblem(const ConfigurationProblem& problem, const std::string& path) {
  switch (problem.kind) {
    case Kind::none:
      return "";
    case Kind::cannotOpen:
      return path + ": cannot open the test configuration";
    case Kind::unreadable:
      return path + ": " +
             (problem.placeholder ? "it holds a %...% placeholder such as %value%"
                                  : problem.detail);
    case Kind::missingKey:
      return path + ": no key " + problem.detail;
  }
  return "";
}

std::string readTestConfiguration(const std::string& path, TestConfiguration& configuration) {
  po::variables_map vm;
  return describeProblem(readTestConfiguration(path, vm, configuration), path);
}

std::string readConfigurationFiles(const std::vector<std::string>& paths,
                                   std::vector<ConfigurationFile>& files) {
  files.clear();
  for (const std::string& path : paths) {
    files.push_back({path, {}});
    const std::string problem = readTestConfiguration(path, files.back().configuration);
    if (!problem.empty()) return problem;
  }
  return "";
}

std::vector<std::string> modelMeshPaths(const std::vector<ConfigurationFile>& files) {
  std::vector<std::string> paths;
  std::set<std::string> seen;
  for (const ConfigurationFile& file : files) {
    for (const ModelEntry& entry : file.configuration.models) {
      const std::string path = meshPathWithNoise(entry.mesh, "0");
      if (seen.insert(path).second) paths.push_back(path);
    }
  }
  return paths;
}

std::vector<std::string> sceneMeshPaths(const std::vector<ConfigurationFile>& files,
                                        const std::vector<std::string>& noise) {
  std::vector<std::string> paths;
  for (const ConfigurationFile& file : files) {
    for (const std::string& level : noise)
      paths.push_back(meshPathWithNoise(file.configuration.scene, level));
  }
  return paths;
}

}  // namespace TestSet
}  // namespace Ostrel
