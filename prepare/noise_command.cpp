// ardentis-prepare noise: the scene of each test configuration at every requested noise level.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "cli/numbers.h"
#include "core/io/load_poly_data.h"
#include "prepare/atomic_output.h"
#include "prepare/commands.h"
#include "prepare/gaussian_noise.h"
#include "testset/evaluation_mesh.h"
#include "testset/naming.h"
#include "testset/scene_files.h"
#include "testset/test_configuration.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Prepare {
namespace {

const char* const kTool = "ardentis-prepare noise";

po::options_description noiseOptions() {
  po::options_description options("noise options");
  // clang-format off
  options.add_options()
      ("help,h", "print the options and stop")
      ("version", Cli::kVersionOption)
      ("configFile,C", po::value<std::vector<std::string>>()->multitoken()->required(),
       "test configurations (INI), one or more; run from the directory that holds data/")
      ("sigmaSceneNoise,n", po::value<std::vector<std::string>>()->multitoken()->required(),
       "noise levels σ, in mean model resolutions (one or more)")
      ("seed", po::value<std::uint64_t>()->default_value(1), "seed of the noise generator")
      ("resolution", po::value<double>(),
       "mesh resolution in model units, instead of the models' mean (needed without models)");
  // clang-format on
  return options;
}

// The evaluator's naming of noise levels: the value as a stream prints it (%g).
std::string parseLevels(const std::vector<std::string>& texts, std::vector<double>& levels) {
  for (const std::string& text : texts) {
    double sigma = 0.0;
    if (!Cli::parseFiniteNumber(text, sigma) || sigma < 0.0) {
      return "noise level '" + text + "' is not a number >= 0";
    }
    levels.push_back(sigma);
  }
  return "";
}

// The unit of the noise: --resolution, or the mean resolution of the configuration's models.
int measureResolution(const po::variables_map& vm, const std::string& configPath,
                      const TestSet::TestConfiguration& configuration, double& resolution) {
  if (vm.count("resolution")) {
    resolution = vm["resolution"].as<double>();
    return Cli::kDone;
  }
  if (configuration.models.empty()) {
    Cli::printError(kTool, configPath + ": no models to measure: give --resolution");
    return Cli::kBadUsage;
  }
  std::vector<std::string> paths;
  for (const TestSet::ModelEntry& model : configuration.models)
    paths.push_back(TestSet::meshPathWithNoise(model.mesh, "0"));
  std::vector<vtkSmartPointer<vtkPolyData>> meshes;
  std::string problem = TestSet::loadModels(paths, configPath, meshes, resolution);
  if (problem.empty() && !(resolution > 0.0)) problem = "the models have no polygons to measure";
  if (problem.empty()) return Cli::kDone;
  Cli::printError(kTool, problem);
  return Cli::kInputFailed;
}

int writeLevels(vtkPolyData* scene, const std::string& configuredScene,
                const std::vector<double>& levels, double resolution, std::uint64_t seed) {
  for (double sigma : levels) {
    const std::string level = TestSet::noiseLevelName(sigma);
    const std::string path = TestSet::meshPathWithNoise(configuredScene, level);
    if (sigma == 0.0) {
      std::printf("%s is the scene itself: left as it is\n", path.c_str());
      continue;
    }
    auto noisy = vtkSmartPointer<vtkPolyData>::New();
    noisy->DeepCopy(scene);
    addGaussianNoise(noisy, sigma * resolution, seed);
    const std::string problem = writePlyAtomically(noisy, path);
    if (!problem.empty()) {
      Cli::printError(kTool, problem);
      return Cli::kCannotWrite;
    }
    std::printf("%s: sigma %s x %g = %g\n", path.c_str(), level.c_str(), resolution,
                sigma * resolution);
    std::fflush(stdout);
  }
  return Cli::kDone;
}

// Every level of the scene of one configuration; returns the exit status.
int addNoise(const po::variables_map& vm, const std::string& configPath,
             const TestSet::TestConfiguration& configuration, const std::vector<double>& levels) {
  double resolution = 0.0;
  const int status = measureResolution(vm, configPath, configuration, resolution);
  if (status != Cli::kDone) return status;
  const std::string scenePath = TestSet::meshPathWithNoise(configuration.scene, "0");
  std::fflush(stdout);
  auto scene = vtkSmartPointer<vtkPolyData>::Take(Core::Impl::LoadPolyData(scenePath.c_str()));
  if (!scene) {
    const std::string advice = TestSet::missingMeshAdvice(scenePath, configPath);
    Cli::printError(
        kTool, "cannot read the scene " + scenePath + (advice.empty() ? "" : " (" + advice + ")"));
    return Cli::kInputFailed;
  }
  return writeLevels(scene, configuration.scene, levels, resolution,
                     vm["seed"].as<std::uint64_t>());
}

}  // namespace

int runNoiseCommand(int argc, char** argv) {
  const Cli::CommandLine commandLine{
      kTool,
      "Usage: ardentis-prepare noise -C CONFIG... -n SIGMA... [--seed N] [--resolution MR]\n",
      noiseOptions(),
      {},
      {}};
  po::variables_map vm;
  const Cli::ParseOutcome outcome = Cli::parseCommandLine(commandLine, argc, argv, vm);
  if (outcome != Cli::ParseOutcome::run) return Cli::exitStatusOf(outcome);
  std::vector<double> levels;
  const std::string problem =
      parseLevels(vm["sigmaSceneNoise"].as<std::vector<std::string>>(), levels);
  if (!problem.empty()) {
    Cli::printError(kTool, problem);
    return Cli::kBadUsage;
  }
  if (vm.count("resolution") &&
      !(vm["resolution"].as<double>() > 0.0 && std::isfinite(vm["resolution"].as<double>()))) {
    Cli::printError(kTool, "--resolution must be > 0");
    return Cli::kBadUsage;
  }
  // Every configuration is read before any file is written.
  const std::vector<std::string> paths = vm["configFile"].as<std::vector<std::string>>();
  std::vector<TestSet::TestConfiguration> configurations(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string unreadable = TestSet::readTestConfiguration(paths[i], configurations[i]);
    if (!unreadable.empty()) {
      Cli::printError(kTool, unreadable);
      return Cli::kBadUsage;
    }
  }
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const int status = addNoise(vm, paths[i], configurations[i], levels);
    if (status != Cli::kDone) return status;
  }
  return Cli::kDone;
}

}  // namespace Prepare
}  // namespace Ostrel
