#include "driver/repeatability.h"

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
#include "driver/keypoint_cloud.h"

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

void evaluateKeypoint(const Feature3D& keypoint, const TestModel& model, SceneIndex& scene,
                      Squared radius, int& nonOccluded, int& repeatable, double& scaleSum) {
  float p[3] = {keypoint.x, keypoint.y, keypoint.z};
  Ostrel::Core::Impl::Rotate3x3(p, 1, model.rotation);
  Ostrel::Core::Impl::Translate(p, 1, model.translation);
  // A NaN distance compares false with everything, which would count the keypoint as visible.
  if (!isFinitePoint(p) || scene.mesh == nullptr) return;

  // Only the distance to the nearest vertex matters here, not which vertex it is.
  if (!scene.meshGrid->NearestWithin(p, radius.visibility)) return;
  ++nonOccluded;

  const vtkIdType match = nearestPoint(*scene.keypointTree, scene.keypointCloud, p);
  if (match < 0) return;
  double q[3];
  scene.keypointCloud->GetPoint(match, q);
  const double e2 = Ostrel::Core::Impl::SquaredDistance(q, p);
  if (e2 <= radius.matching) ++repeatable;
  if (e2 < radius.matching) {
    const double* sceneScale =
        Ostrel::Core::Impl::GetPolyDataScalePointer(scene.keypointCloud, (unsigned int)match);
    scaleSum += scaleScore(*sceneScale, double(keypoint.scale));
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

}  // namespace

void evaluateRepeatability(const std::vector<TestModel>& models, const TestModel& scene,
                           const RepeatabilityRadii& radii, RepeatabilityResults& results,
                           const PointGrid* sceneGrid) {
  const float matchingSquared = squaredRadius(radii.repeatabilityTh, radii.meanModelResolution);
  const float visibilitySquared = radii.decimationLevel > 0
                                      ? squaredRadius(radii.repeatabilityTh, radii.meanResolution)
                                      : matchingSquared;
  const Squared radius{double(matchingSquared), double(visibilitySquared)};

  ensureSize(results, models.size());
  if (keypointCount(scene) < 1) return;

  std::printf("Building keypoints kdtree...");
  SceneIndex index;
  buildSceneIndex(scene, sceneGrid, radius.visibility, index);
  std::printf("done.\n\n");
  if (index.mesh == nullptr) {
    std::fflush(stdout);
    std::fprintf(stderr,
                 "Scene %s has no points to test visibility against: every model keypoint counts "
                 "as occluded\n",
                 scene.meshPath.c_str());
  }

  for (std::size_t i = 0; i < models.size(); ++i) {
    const TestModel& model = models[i];
    for (int k = 0; k < keypointCount(model); ++k) {
      evaluateKeypoint(model.keypoints[k], model, index, radius, results.nonOccludedKeypoints[i],
                       results.repeatableKeypoints[i], results.totScaleRepeatability[i]);
    }
    printModelBlock(i, model, scene, matchingSquared, results);
  }
}
