// ardentis-prepare noise: the scene at every requested noise level.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/io/load_poly_data.h"
#include "core/io/read_support.h"
#include "prepare/atomic_output.h"
#include "prepare/command_line.h"
#include "prepare/commands.h"
#include "prepare/gaussian_noise.h"
#include "testset/evaluation_mesh.h"
#include "testset/naming.h"
#include "testset/test_configuration.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Prepare {
namespace {

const char* const kCommand = "noise";

po::options_description NoiseOptions() {
  po::options_description options("noise options");
  // clang-format off
  options.add_options()
      ("help", "print the options and stop")
      ("configFile,C", po::value<std::string>()->required(),
       "test configuration (INI); run from the directory that holds data/")
      ("sigmaSceneNoise,n", po::value<std::vector<std::string>>()->multitoken()->required(),
       "noise levels σ, in mean model resolutions (one or more)")
      ("seed", po::value<std::uint64_t>()->default_value(1), "seed of the noise generator")
      ("resolution", po::value<double>(),
       "mesh resolution in model units, instead of the models' mean (needed without models)");
  // clang-format on
  return options;
}

// The evaluator's naming of noise levels: the value as a stream prints it (%g).
std::string ParseLevels(const std::vector<std::string>& texts, std::vector<double>& levels) {
  for (const std::string& text : texts) {
    double sigma = 0.0;
    if (!ParseFiniteNumber(text, sigma) || sigma < 0.0) {
      return "noise level '" + text + "' is not a number >= 0";
    }
    levels.push_back(sigma);
  }
  return "";
}

std::string Resolution(const po::variables_map& vm, const std::string& configPath,
                       const TestSet::TestConfiguration& configuration, double& resolution) {
  if (vm.count("resolution")) {
    resolution = vm["resolution"].as<double>();
    return "";
  }
  if (configuration.models.empty()) return "no models to measure: give --resolution";
  std::vector<std::string> paths;
  for (const TestSet::ModelEntry& model : configuration.models) {
    paths.push_back(TestSet::meshPathWithNoise(model.mesh, "0"));
  }
  std::vector<vtkSmartPointer<vtkPolyData>> meshes;
  const std::string problem = TestSet::loadModels(paths, configPath, meshes, resolution);
  if (problem.empty() && !(resolution > 0.0)) return "the models have no polygons to measure";
  return problem;
}

int WriteLevels(vtkPolyData* scene, const std::string& configuredScene,
                const std::vector<double>& levels, double resolution, std::uint64_t seed) {
  for (double sigma : levels) {
    const std::string path =
        TestSet::meshPathWithNoise(configuredScene, TestSet::noiseLevelName(sigma));
    if (sigma == 0.0) {
      std::printf("%s is the scene itself: left as it is\n", path.c_str());
      continue;
    }
    auto noisy = vtkSmartPointer<vtkPolyData>::New();
    noisy->DeepCopy(scene);
    AddGaussianNoise(noisy, sigma * resolution, seed);
    const std::string problem = WritePlyAtomically(noisy, path);
    if (!problem.empty()) {
      ReportProblem(kCommand, problem);
      return 1;
    }
    std::printf("%s: sigma %s x %g = %g\n", path.c_str(), TestSet::noiseLevelName(sigma).c_str(),
                resolution, sigma * resolution);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int RunNoiseCommand(int argc, char** argv) {
  po::variables_map vm;
  bool usageError = false;
  if (!ParseCommandLine(argc, argv, kCommand, NoiseOptions(), po::positional_options_description(),
                        vm, usageError)) {
    return usageError ? 2 : 0;
  }
  std::vector<double> levels;
  std::string problem = ParseLevels(vm["sigmaSceneNoise"].as<std::vector<std::string>>(), levels);
  if (!problem.empty()) {
    ReportProblem(kCommand, problem);
    return 2;
  }
  if (vm.count("resolution") &&
      !(vm["resolution"].as<double>() > 0.0 && std::isfinite(vm["resolution"].as<double>()))) {
    ReportProblem(kCommand, "--resolution must be > 0");
    return 2;
  }
  const std::string configPath = vm["configFile"].as<std::string>();
  TestSet::TestConfiguration configuration;
  problem = TestSet::readTestConfiguration(configPath, configuration);
  double resolution = 0.0;
  if (problem.empty()) problem = Resolution(vm, configPath, configuration, resolution);
  if (!problem.empty()) {
    ReportProblem(kCommand, problem);
    return 1;
  }
  const std::string scenePath = TestSet::meshPathWithNoise(configuration.scene, "0");
  auto scene = vtkSmartPointer<vtkPolyData>::Take(Core::Impl::LoadPolyData(scenePath.c_str()));
  if (!scene) {
    ReportProblem(kCommand, "cannot read the scene " + scenePath);
    return 1;
  }
  return WriteLevels(scene, configuration.scene, levels, resolution,
                     vm["seed"].as<std::uint64_t>());
}

}  // namespace Prepare
}  // namespace Ostrel
