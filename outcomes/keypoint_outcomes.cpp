#include "outcomes/keypoint_outcomes.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>

#include "cli/exit_status.h"
#include "core/rigid_transform.h"
#include "testers/keypoint_file.h"
#include "testers/test_model.h"
#include "testset/evaluation_mesh.h"
#include "testset/ground_truth.h"
#include "testset/naming.h"
#include "testset/scene_files.h"
#include "testset/test_configuration.h"

namespace Ostrel {
namespace Inspect {
namespace {

using LocalFeatures::Impl::Feature3D;

// The keypoint file of one mesh, read as the evaluator reads it (text form).
std::string readKeypoints(const InspectRequest& request, const std::string& meshName,
                          std::vector<Feature3D>& keypoints) {
  const std::string path =
      TestSet::keypointFilePath(request.savingPath, request.detectorID, request.radius, meshName);
  Feature3D* read = nullptr;
  const int count = readKeypointFile(path.c_str(), read, false);
  const std::unique_ptr<Feature3D[]> owned(read);
  if (count > 0) {
    keypoints.assign(read, read + count);
    return "";
  }
  std::error_code error;
  return "cannot read keypoints from " + path +
         (std::filesystem::exists(path, error)
              ? ": it must begin with the number of keypoints, at least 1"
              : ": no such file");
}

// x y z of each keypoint, carried by the pose as the measure carries it (single precision).
std::vector<float> mappedPositions(const std::vector<Feature3D>& keypoints, const TestModel& pose) {
  std::vector<float> positions;
  for (const Feature3D& k : keypoints) {
    float p[3] = {k.x, k.y, k.z};
    Core::Impl::Rotate3x3(p, 1, pose.rotation);
    Core::Impl::Translate(p, 1, pose.translation);
    positions.insert(positions.end(), p, p + 3);
  }
  return positions;
}

// The bounds of the model mesh carried into the scene by its pose.
void mappedBounds(vtkPolyData* mesh, const TestModel& pose, double bounds[6]) {
  for (int a = 0; a < 3; ++a) {
    bounds[2 * a] = std::numeric_limits<double>::infinity();
    bounds[2 * a + 1] = -std::numeric_limits<double>::infinity();
  }
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    const double* v = mesh->GetPoint(i);
    for (int a = 0; a < 3; ++a) {
      const float* r = pose.rotation + 3 * a;
      const double p = r[0] * v[0] + r[1] * v[1] + r[2] * v[2] + pose.translation[a];
      bounds[2 * a] = std::min(bounds[2 * a], p);
      bounds[2 * a + 1] = std::max(bounds[2 * a + 1], p);
    }
  }
}

// Everything of the test set a run reads, in the evaluator's records (which own nothing).
struct LoadedRun {
  std::vector<TestModel> models;
  std::vector<std::vector<Feature3D>> modelKeypoints;
  std::vector<vtkSmartPointer<vtkPolyData>> modelMeshes;
  TestModel scene;
  std::vector<Feature3D> sceneKeypoints;
};

std::string readAllKeypoints(const InspectRequest& request,
                             const TestSet::TestConfiguration& configuration,
                             Inspection& inspection, LoadedRun& run) {
  for (const TestSet::ModelEntry& entry : configuration.models) {
    run.models.emplace_back();
    run.models.back().meshPath = TestSet::meshPathWithNoise(entry.mesh, "0");
    run.models.back().name = TestSet::meshNameFromPath(run.models.back().meshPath);
    run.modelKeypoints.emplace_back();
    const std::string problem =
        readKeypoints(request, run.models.back().name, run.modelKeypoints.back());
    if (!problem.empty()) return problem;
  }
  run.scene.meshPath =
      TestSet::meshPathWithNoise(configuration.scene, TestSet::noiseLevelName(request.noise));
  run.scene.name = inspection.sceneName = TestSet::meshNameFromPath(run.scene.meshPath);
  return readKeypoints(request, run.scene.name, run.sceneKeypoints);
}

std::string loadMeshes(const InspectRequest& request,
                       const TestSet::TestConfiguration& configuration, Inspection& inspection,
                       LoadedRun& run) {
  std::vector<std::string> paths;  // every entry, as the evaluator counts them for the mean
  for (const TestModel& model : run.models) paths.push_back(model.meshPath);
  std::string problem =
      TestSet::loadModels(paths, request.configPath, run.modelMeshes, inspection.meanResolution);
  if (!problem.empty()) return problem;
  for (std::size_t i = 0; i < run.models.size(); ++i) {
    const std::string path = TestSet::groundTruthPath(configuration.models[i].groundTruth);
    if (!TestSet::readGroundTruth(path, run.models[i].rotation, run.models[i].translation))
      return "cannot read the ground truth " + path + ": it needs twelve numbers, [R | t]";
  }
  inspection.scene = TestSet::loadCleanMesh(run.scene.meshPath);
  if (!inspection.scene) {
    const std::string advice = TestSet::missingSceneAdvice(
        configuration.scene, TestSet::noiseLevelName(request.noise), request.configPath);
    return "cannot read the scene mesh " + run.scene.meshPath +
           (advice.empty() ? "" : " (" + advice + ")");
  }
  return "";
}

// The evaluator's measure over the loaded records; the outcomes go to `inspection`.
void measure(const InspectRequest& request, LoadedRun& run, Inspection& inspection) {
  for (std::size_t i = 0; i < run.models.size(); ++i) {
    run.models[i].mesh = run.modelMeshes[i];
    run.models[i].keypoints = run.modelKeypoints[i].data();
    run.models[i].numKeypoints = int(run.modelKeypoints[i].size());
  }
  run.scene.mesh = inspection.scene;
  run.scene.noiseSigma = request.noise;
  run.scene.keypoints = run.sceneKeypoints.data();
  run.scene.numKeypoints = int(run.sceneKeypoints.size());

  const RepeatabilityRadii radii{inspection.meanResolution, inspection.meanResolution, -1,
                                 request.threshold};
  RepeatabilityResults results(run.models.size());
  KeypointOutcomes outcomes;
  measureRepeatability(run.models, run.scene, radii, results, nullptr, &outcomes);

  for (const Feature3D& k : run.sceneKeypoints)
    inspection.sceneKeypoints.insert(inspection.sceneKeypoints.end(), {k.x, k.y, k.z});
  for (std::size_t i = 0; i < run.models.size(); ++i) {
    InspectedModel model;
    model.name = run.models[i].name;
    model.mappedKeypoints = mappedPositions(run.modelKeypoints[i], run.models[i]);
    model.outcomes = std::move(outcomes[i]);
    model.nonOccluded = results.nonOccludedKeypoints[i];
    model.repeatable = results.repeatableKeypoints[i];
    mappedBounds(run.modelMeshes[i], run.models[i], model.bounds);
    inspection.models.push_back(std::move(model));
  }
}

}  // namespace

std::string inspectRun(const InspectRequest& request, Inspection& inspection, int& status) {
  status = Cli::kBadUsage;
  TestSet::TestConfiguration configuration;
  std::string problem = TestSet::readTestConfiguration(request.configPath, configuration);
  if (!problem.empty()) return problem;
  status = Cli::kInputFailed;
  LoadedRun run;
  // Keypoint files first: cheap to read, and the likeliest to be missing.
  problem = readAllKeypoints(request, configuration, inspection, run);
  if (problem.empty()) problem = loadMeshes(request, configuration, inspection, run);
  if (!problem.empty()) return problem;
  measure(request, run, inspection);
  status = Cli::kDone;
  return "";
}

}  // namespace Inspect
}  // namespace Ostrel
