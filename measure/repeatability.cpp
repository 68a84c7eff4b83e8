#include "measure/repeatability.h"

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <memory>

#include "core/kd_tree.h"
#include "core/point_grid.h"
#include "core/poly_data_storage.h"
#include "core/rigid_transform.h"
#include "measure/keypoint_cloud.h"

namespace {

using Ostrel::Core::Impl::KdTree;
using Ostrel::Core::Impl::PointGrid;
using Ostrel::LocalFeatures::Impl::Feature3D;

// The radii are compared in single precision on purpose: results must match earlier runs.
float squaredRadius(double repeatabilityTh, double resolution) {
  const double radius = repeatabilityTh * resolution;
  return static_cast<float>(radius * radius);
}

bool isFinitePoint(const float p[3]) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// The cube of the smaller scale over the larger one; 0 for a NaN scale.
double scaleScore(double sceneScale, double modelScale) {
  if (std::isnan(sceneScale) || std::isnan(modelScale)) return 0.0;
  if (sceneScale == modelScale) return 1.0;
  const double ratio = modelScale > sceneScale ? sceneScale / modelScale : modelScale / sceneScale;
  return ratio * ratio * ratio;
}

int keypointCount(const TestModel& mesh) {
  return mesh.keypoints != nullptr && mesh.numKeypoints > 0 ? mesh.numKeypoints : 0;
}

// Everything one model is compared with: the scene's vertices and its keypoints.
struct SceneIndex {
  vtkPolyData* mesh = nullptr;  // null when the scene has no points to test visibility against
  const PointGrid* meshGrid = nullptr;  // over `mesh`: the caller's, or ownMeshGrid
  std::unique_ptr<PointGrid> ownMeshGrid;
  vtkSmartPointer<vtkPolyData> keypointCloud;
  std::unique_ptr<KdTree> keypointTree;
};

// Nearest point of `tree` over `points`, or -1 when the answer is not a point of the mesh.
vtkIdType nearestPoint(KdTree& tree, vtkPolyData* points, float p[3]) {
  const vtkIdType id = tree.FindNearestPoint(p);
  return (id >= 0 && id < points->GetNumberOfPoints()) ? id : -1;
}

struct Squared {
  double matching;
  double visibility;
};

// The outcome of one model keypoint; a matched one adds its scale score to `scaleSum`.
KeypointOutcome evaluateKeypoint(const Feature3D& keypoint, const TestModel& model,
                                 SceneIndex& scene, Squared radius, double& scaleSum) {
  float p[3] = {keypoint.x, keypoint.y, keypoint.z};
  Ostrel::Core::Impl::Rotate3x3(p, 1, model.rotation);
  Ostrel::Core::Impl::Translate(p, 1, model.translation);
  // A NaN distance compares false with everything, which would count the keypoint as visible.
  if (!isFinitePoint(p) || scene.mesh == nullptr) return KeypointOutcome::occluded;

  // Only the distance to the nearest vertex matters here, not which vertex it is.
  if (!scene.meshGrid->NearestWithin(p, radius.visibility)) return KeypointOutcome::occluded;

  const vtkIdType match = nearestPoint(*scene.keypointTree, scene.keypointCloud, p);
  if (match < 0) return KeypointOutcome::nonOccluded;
  double q[3];
  scene.keypointCloud->GetPoint(match, q);
  const double e2 = Ostrel::Core::Impl::SquaredDistance(q, p);
  if (e2 < radius.matching) {
    const double* sceneScale =
        Ostrel::Core::Impl::GetPolyDataScalePointer(scene.keypointCloud, (unsigned int)match);
    scaleSum += scaleScore(*sceneScale, double(keypoint.scale));
  }
  return e2 <= radius.matching ? KeypointOutcome::repeatable : KeypointOutcome::nonOccluded;
}

// Counts model `i`'s outcomes into `results` and, when given, lists them in `outcomes`.
void measureModel(std::size_t i, const TestModel& model, SceneIndex& scene, Squared radius,
                  RepeatabilityResults& results, std::vector<KeypointOutcome>* outcomes) {
  for (int k = 0; k < keypointCount(model); ++k) {
    const KeypointOutcome outcome = evaluateKeypoint(model.keypoints[k], model, scene, radius,
                                                     results.totScaleRepeatability[i]);
    if (outcome != KeypointOutcome::occluded) ++results.nonOccludedKeypoints[i];
    if (outcome == KeypointOutcome::repeatable) ++results.repeatableKeypoints[i];
    if (outcomes != nullptr) (*outcomes)[std::size_t(k)] = outcome;
  }
}

void printModelBlock(std::size_t i, const TestModel& model, const TestModel& scene,
                     float matchingSquared, const RepeatabilityResults& results) {
  const int nonOccluded = results.nonOccludedKeypoints[i];
  const int repeatable = results.repeatableKeypoints[i];
  const unsigned long index = i;
  std::printf("Keypoints of the model[%lu]: %d\n", index, model.numKeypoints);
  std::printf("Keypoints of the model[%lu] present in the scene: %d\n", index, nonOccluded);
  std::printf("Keypoints of the scene: %d\n", scene.numKeypoints);
  std::printf("Keypoints of the model[%lu] closer than epsilon to a keypoints of the scene: %d\n",
              index, repeatable);
  std::printf("Epsilon value: %lf\n", double(matchingSquared));
  std::printf("Model %lu repeatability :%lf\n", index,
              nonOccluded != 0 ? double(repeatable) / nonOccluded : 0.0);
  std::printf("Current Noise:%lf\n", scene.noiseSigma);
  std::printf("Model %lu scaleRepeatability :%lf\n\n", index,
              repeatable != 0 ? results.totScaleRepeatability[i] / repeatable : 0.0);
}

// A locator over no points has nothing to answer, so an empty scene gets none. A grid made for
// cells far smaller than the radius (its cell size was guessed before the radius was known)
// would have each query read too many cells: one is made for the radius instead.
void buildSceneIndex(const TestModel& scene, const PointGrid* sceneGrid, double visibilitySquared,
                     SceneIndex& index) {
  index.keypointCloud.TakeReference(
      createPolyDataWithKeypoints(scene.keypoints, keypointCount(scene)));
  index.keypointTree = std::make_unique<KdTree>(index.keypointCloud);
  if (scene.mesh != nullptr && scene.mesh->GetNumberOfPoints() > 0) {
    index.mesh = scene.mesh;
    const double radius = std::sqrt(visibilitySquared);
    if (sceneGrid == nullptr || sceneGrid->CellSize() < radius / 4) {
      index.ownMeshGrid = std::make_unique<PointGrid>(scene.mesh, radius);
      sceneGrid = index.ownMeshGrid.get();
    }
    index.meshGrid = sceneGrid;
  }
}

void ensureSize(RepeatabilityResults& results, std::size_t models) {
  if (results.nonOccludedKeypoints.size() < models) results.nonOccludedKeypoints.resize(models, 0);
  if (results.repeatableKeypoints.size() < models) results.repeatableKeypoints.resize(models, 0);
  if (results.totScaleRepeatability.size() < models)
    results.totScaleRepeatability.resize(models, 0.0);
}

// Every keypoint occluded until measured: what the counts say of a scene without keypoints.
void resetOutcomes(const std::vector<TestModel>& models, KeypointOutcomes* outcomes) {
  if (outcomes == nullptr) return;
  outcomes->assign(models.size(), {});
  for (std::size_t i = 0; i < models.size(); ++i)
    (*outcomes)[i].assign(std::size_t(keypointCount(models[i])), KeypointOutcome::occluded);
}

// The one measure behind both entry points; `console` prints the run's lines around it.
void measure(const std::vector<TestModel>& models, const TestModel& scene,
             const RepeatabilityRadii& radii, RepeatabilityResults& results,
             const PointGrid* sceneGrid, KeypointOutcomes* outcomes, bool console) {
  const float matchingSquared = squaredRadius(radii.repeatabilityTh, radii.meanModelResolution);
  const float visibilitySquared = radii.decimationLevel > 0
                                      ? squaredRadius(radii.repeatabilityTh, radii.meanResolution)
                                      : matchingSquared;
  const Squared radius{double(matchingSquared), double(visibilitySquared)};

  ensureSize(results, models.size());
  resetOutcomes(models, outcomes);
  if (keypointCount(scene) < 1) return;

  if (console) std::printf("Building keypoints kdtree...");
  SceneIndex index;
  buildSceneIndex(scene, sceneGrid, radius.visibility, index);
  if (console) std::printf("done.\n\n");
  if (console && index.mesh == nullptr) {
    std::fflush(stdout);
    std::fprintf(stderr,
                 "Scene %s has no points to test visibility against: every model keypoint counts "
                 "as occluded\n",
                 scene.meshPath.c_str());
  }

  for (std::size_t i = 0; i < models.size(); ++i) {
    measureModel(i, models[i], index, radius, results,
                 outcomes != nullptr ? &(*outcomes)[i] : nullptr);
    if (console) printModelBlock(i, models[i], scene, matchingSquared, results);
  }
}

}  // namespace

void evaluateRepeatability(const std::vector<TestModel>& models, const TestModel& scene,
                           const RepeatabilityRadii& radii, RepeatabilityResults& results,
                           const PointGrid* sceneGrid, KeypointOutcomes* outcomes) {
  measure(models, scene, radii, results, sceneGrid, outcomes, true);
}

void measureRepeatability(const std::vector<TestModel>& models, const TestModel& scene,
                          const RepeatabilityRadii& radii, RepeatabilityResults& results,
                          const PointGrid* sceneGrid, KeypointOutcomes* outcomes) {
  measure(models, scene, radii, results, sceneGrid, outcomes, false);
}
