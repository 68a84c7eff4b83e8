#include "detect/run_detection.h"

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/directories.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "detect/detect_options.h"
#include "detect/detectors.h"
#include "detect/keypoint_order.h"
#include "testset/evaluation_mesh.h"
#include "testset/keypoint_budget.h"
#include "testset/keypoint_file_writer.h"
#include "testset/naming.h"
#include "testset/scene_files.h"

namespace Ostrel {
namespace Detect {

namespace {

const char* const kTool = "ardentis-detect";

using LocalFeatures::Impl::Feature3D;
using Mesh = vtkSmartPointer<vtkPolyData>;

struct MeshToDetect {
  std::string path;  // ./data/... with its noise suffix
  Mesh mesh;
};

void fail(const std::string& message) {
  Cli::printError(kTool, message);
}

std::string adviceAfter(const std::string& advice) {
  return advice.empty() ? "" : " (" + advice + ")";
}

// Loads the models of `configurations`, cleaned and measured as the evaluation does, so that
// `mr` is exactly the "Mean models' resolution" ardentis prints for them.
bool loadModels(const std::vector<TestSet::ConfigurationFile>& configurations,
                std::vector<MeshToDetect>& models, double& mr) {
  const std::vector<std::string> paths = TestSet::modelMeshPaths(configurations);
  std::vector<Mesh> meshes;
  const std::string problem = TestSet::loadModels(paths, configurations.front().path, meshes, mr);
  if (!problem.empty()) {
    fail(problem);
    return false;
  }
  for (std::size_t i = 0; i < paths.size(); ++i) models.push_back({paths[i], meshes[i]});
  return true;
}

// The unit of length: the models of --resolution-from (or -C), measured; the models of -C to
// detect on come in `models` (loaded once when the two are the same).
bool measureResolution(const DetectOptions& options, std::vector<MeshToDetect>& models,
                       double& mr) {
  const bool samePool = TestSet::modelMeshPaths(options.resolutionFrom) ==
                        TestSet::modelMeshPaths(options.configurations);
  std::vector<MeshToDetect> pool;
  if (!loadModels(options.resolutionFrom, pool, mr)) return false;
  if (options.detectModels) {
    double unused = 0.0;
    if (samePool)
      models = pool;
    else if (!loadModels(options.configurations, models, unused))
      return false;
  }
  std::printf("Mean models' resolution: %f\n", mr);
  std::fflush(stdout);
  if (mr > 0.0) return true;
  fail("the models have no edges, so there is no mesh resolution to measure radii in");
  return false;
}

// Writes one keypoint file; "" or the problem.
std::string writeFile(const DetectOptions& options, const std::string& detectorID,
                      const std::string& meshName, const std::vector<Feature3D>& keypoints) {
  return TestSet::writeKeypointFile(
      TestSet::keypointFilePath(options.savingPath, detectorID, options.fileRadius, meshName),
      keypoints);
}

// Detects on one mesh, writes its file and its budgets' files, and prints its line; returns the
// exit status.
int detectAndWrite(const DetectOptions& options, double mr, const MeshToDetect& mesh) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<Feature3D> keypoints;
  std::string error;
  if (!detectKeypoints(mesh.mesh, options.settings, mr, keypoints, error)) {
    fail(mesh.path + ": " + error);
    return Cli::kInputFailed;
  }
  sortKeypoints(keypoints);
  const std::string name = TestSet::meshNameFromPath(mesh.path);
  const long long vertices = mesh.mesh->GetNumberOfPoints();
  std::string problem = writeFile(options, options.detectorID, name, keypoints);
  std::string budgets;
  for (const std::string& keep : options.budgets) {
    if (!problem.empty()) break;
    std::vector<Feature3D> kept = keypoints;
    TestSet::keepHighestScored(kept, TestSet::budgetCount(std::stod(keep), vertices));
    problem = writeFile(options, TestSet::budgetedDetectorID(options.detectorID, keep), name, kept);
    budgets += ", keep " + keep + ": " + std::to_string(kept.size());
  }
  if (!problem.empty()) {
    fail(problem);
    return Cli::kCannotWrite;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %lld vertices, %zu keypoints%s, %.2f s%s\n", name.c_str(), vertices,
              keypoints.size(), budgets.c_str(), seconds,
              keypoints.empty() ? " (ardentis refuses a file without keypoints)" : "");
  std::fflush(stdout);
  return Cli::kDone;
}

int detectScenes(const DetectOptions& options, double mr) {
  for (const TestSet::ConfigurationFile& file : options.configurations) {
    for (const std::string& noise : options.noiseLevels) {
      const std::string stale =
          TestSet::staleSceneWarning(file.configuration.scene, noise, file.path);
      if (!stale.empty()) Cli::printWarning(kTool, stale);
    }
  }
  for (const TestSet::ConfigurationFile& file : options.configurations) {
    const std::string& scenePath = file.configuration.scene;
    for (const std::string& noise : options.noiseLevels) {
      MeshToDetect scene{TestSet::meshPathWithNoise(scenePath, noise), {}};
      scene.mesh = TestSet::loadCleanMesh(scene.path);
      if (!scene.mesh) {
        fail("cannot load the scene mesh " + scene.path +
             adviceAfter(TestSet::missingSceneAdvice(scenePath, noise, file.path)));
        return Cli::kInputFailed;
      }
      const int status = detectAndWrite(options, mr, scene);
      if (status != Cli::kDone) return status;
    }
  }
  return Cli::kDone;
}

}  // namespace

int runDetection(int argc, char** argv) {
  DetectOptions options;
  const Cli::ParseOutcome outcome = parseDetectOptions(argc, argv, options);
  if (outcome != Cli::ParseOutcome::run) return Cli::exitStatusOf(outcome);
  const std::string problem = Cli::makeDirectories(options.savingPath);
  if (!problem.empty()) {
    fail(problem);
    return Cli::kCannotWrite;
  }
  std::vector<MeshToDetect> models;
  double mr = 0.0;
  if (!measureResolution(options, models, mr)) return Cli::kInputFailed;
  for (const MeshToDetect& model : models) {
    const int status = detectAndWrite(options, mr, model);
    if (status != Cli::kDone) return status;
  }
  return options.detectScenes ? detectScenes(options, mr) : Cli::kDone;
}

}  // namespace Detect
}  // namespace Ostrel
