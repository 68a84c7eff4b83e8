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
#include "core/io/load_poly_data.h"
#include "detect/detect_options.h"
#include "detect/detectors.h"
#include "detect/keypoint_file.h"
#include "testset/evaluation_mesh.h"
#include "testset/naming.h"
#include "testset/scene_files.h"

namespace Ostrel {
namespace Detect {

namespace {

using LocalFeatures::Impl::Feature3D;
using Mesh = vtkSmartPointer<vtkPolyData>;

struct MeshToDetect {
  std::string path;  // ./data/... with its noise suffix
  Mesh mesh;
};

void fail(const std::string& message) {
  Cli::printError("ardentis-detect", message);
}

std::string adviceAfter(const std::string& advice) {
  return advice.empty() ? "" : " (" + advice + ")";
}

// Loads every model, then cleans and measures them as the evaluation does, so that `mr` is
// exactly the "Mean models' resolution" ardentis prints.
bool loadModels(const DetectOptions& options, std::vector<MeshToDetect>& models, double& mr) {
  std::vector<std::string> paths;
  for (const TestSet::ModelEntry& entry : options.configuration.models)
    paths.push_back(TestSet::meshPathWithNoise(entry.mesh, "0"));
  std::vector<Mesh> meshes;
  const std::string problem = TestSet::loadModels(paths, options.configPath, meshes, mr);
  if (!problem.empty()) {
    fail(problem);
    return false;
  }
  for (std::size_t i = 0; i < paths.size(); ++i) models.push_back({paths[i], meshes[i]});
  return true;
}

bool savingDirectoryReady(const std::string& directory) {
  const std::string problem = Cli::makeDirectories(directory);
  if (!problem.empty()) fail(problem);
  return problem.empty();
}

// Detects on one mesh, writes its file and prints its line; returns the exit status.
int detectAndWrite(const DetectOptions& options, double mr, const MeshToDetect& mesh) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<Feature3D> keypoints;
  std::string error;
  if (!DetectKeypoints(mesh.mesh, options.settings, mr, keypoints, error)) {
    fail(mesh.path + ": " + error);
    return Cli::kInputFailed;
  }
  SortKeypoints(keypoints);
  const std::string name = TestSet::meshNameFromPath(mesh.path);
  const std::string path =
      TestSet::keypointFilePath(options.savingPath, options.detectorID, options.fileRadius, name);
  if (!WriteKeypointFile(path, keypoints, error)) {
    fail(error);
    return Cli::kCannotWrite;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %ld vertices, %zu keypoints, %.2f s%s\n", name.c_str(),
              static_cast<long>(mesh.mesh->GetNumberOfPoints()), keypoints.size(), seconds,
              keypoints.empty() ? " (ardentis refuses a file without keypoints)" : "");
  std::fflush(stdout);
  return Cli::kDone;
}

}  // namespace

int RunDetection(int argc, char** argv) {
  DetectOptions options;
  const Cli::ParseOutcome outcome = parseDetectOptions(argc, argv, options);
  if (outcome != Cli::ParseOutcome::run) return Cli::exitStatusOf(outcome);
  if (!savingDirectoryReady(options.savingPath)) return Cli::kCannotWrite;

  std::vector<MeshToDetect> models;
  double mr = 0.0;
  if (!loadModels(options, models, mr)) return Cli::kInputFailed;
  std::printf("Mean models' resolution: %f\n", mr);
  std::fflush(stdout);
  if (!(mr > 0.0)) {
    fail("the models have no edges, so there is no mesh resolution to measure radii in");
    return Cli::kInputFailed;
  }

  for (const MeshToDetect& model : models) {
    const int status = detectAndWrite(options, mr, model);
    if (status != Cli::kDone) return status;
  }
  const std::string& scenePath = options.configuration.scene;
  for (const std::string& noise : options.noiseLevels) {
    const std::string stale = TestSet::staleSceneWarning(scenePath, noise, options.configPath);
    if (!stale.empty()) fail("warning: " + stale);
  }
  for (const std::string& noise : options.noiseLevels) {
    MeshToDetect scene{TestSet::meshPathWithNoise(scenePath, noise), {}};
    scene.mesh = TestSet::loadCleanMesh(scene.path);
    if (!scene.mesh) {
      fail("cannot load the scene mesh " + scene.path +
           adviceAfter(TestSet::missingSceneAdvice(scenePath, noise, options.configPath)));
      return Cli::kInputFailed;
    }
    const int status = detectAndWrite(options, mr, scene);
    if (status != Cli::kDone) return status;
  }
  return Cli::kDone;
}

}  // namespace Detect
}  // namespace Ostrel
