#include "driver/repeatability.h"

#include <gtest/gtest.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>

#include "core/poly_data_storage.h"
#include "support/run_process.h"

namespace {

using Ostrel::LocalFeatures::Impl::Feature3D;

const float kNaN = std::numeric_limits<float>::quiet_NaN();

Feature3D keypoint(float x, float y, float z, float scale) {
  Feature3D k;
  std::tie(k.x, k.y, k.z, k.scale) = std::tie(x, y, z, scale);
  return k;
}

// Owns the meshes and keypoint arrays of one hand-made evaluation, as the run driver would.
struct Evaluation {
  std::vector<std::vector<Feature3D>> modelKeypoints;
  std::vector<Feature3D> sceneKeypoints;
  std::vector<float> sceneVertices{0, 0, 0, 5, 0, 0, 100, 1, 0};
  RepeatabilityRadii radii{0.5, 0.5, -1, 2.0};  // m² = v² = 1
  std::vector<TestModel> models;
  TestModel scene;
  RepeatabilityResults results;
  std::string out, err;

  void run(bool withSceneMesh = true) {
    scene.meshPath = "./data/scenes/s1_0.1.ply";
    scene.noiseSigma = 0.1;
    if (withSceneMesh) {
      scene.mesh = Ostrel::Core::Impl::CreatePolyData(
          sceneVertices.data(), unsigned(sceneVertices.size() / 3), nullptr, nullptr, 0);
    }
    scene.keypoints = sceneKeypoints.empty() ? nullptr : sceneKeypoints.data();
    scene.numKeypoints = int(sceneKeypoints.size());
    for (auto& keypoints : modelKeypoints) {
      TestModel model{};  // identity pose
      model.rotation[0] = model.rotation[4] = model.rotation[8] = 1;
      model.keypoints = keypoints.empty() ? nullptr : keypoints.data();
      model.numKeypoints = int(keypoints.size());
      models.push_back(model);
    }
    results = RepeatabilityResults(models.size());
    const auto printed =
        ardentis_test::capture([&] { evaluateRepeatability(models, scene, radii, results); });
    std::tie(out, err) = std::tie(printed.out, printed.err);
  }
  ~Evaluation() {
    if (scene.mesh != nullptr) scene.mesh->Delete();
  }
};

const float kInf = std::numeric_limits<float>::infinity();

TEST(Repeatability, OneKeypointCountsAndScaleScore) {
  const struct {
    const char* what;
    Feature3D model, scene;
    int nonOccluded, repeatable;
    double score;
  } cases[] = {
      {"matched at exactly the radius", keypoint(0, 1, 0, 1), keypoint(0, 0, 0, 1), 1, 1, 0.0},
      {"beyond the visibility radius", keypoint(0, 1.001f, 0, 1), keypoint(0, 0, 0, 1), 0, 0, 0},
      {"scene keypoint too far", keypoint(0, 0, 0, 1), keypoint(5, 0, 0, 1), 1, 0, 0.0},
      {"equal scales", keypoint(5, 0, 0, 3), keypoint(5, 0, 0, 3), 1, 1, 1.0},
      {"model 2, scene 1", keypoint(5, 0, 0, 2), keypoint(5, 0, 0, 1), 1, 1, 0.125},
      {"model 1, scene 2", keypoint(5, 0, 0, 1), keypoint(5, 0, 0, 2), 1, 1, 0.125},
      {"model 0", keypoint(5, 0, 0, 0), keypoint(5, 0, 0, 1), 1, 1, 0.0},
      {"scene 0", keypoint(5, 0, 0, 1), keypoint(5, 0, 0, 0), 1, 1, 0.0},
      {"model scale NaN", keypoint(5, 0, 0, kNaN), keypoint(5, 0, 0, 1), 1, 1, 0.0},
      {"scene scale NaN", keypoint(5, 0, 0, 1), keypoint(5, 0, 0, kNaN), 1, 1, 0.0},
      {"NaN coordinate", keypoint(kNaN, 0, 0, 1), keypoint(0, 0, 0, 1), 0, 0, 0.0},
      {"infinite coordinate", keypoint(0, kInf, 0, 1), keypoint(0, 0, 0, 1), 0, 0, 0.0},
  };
  for (const auto& c : cases) {
    Evaluation e;
    e.modelKeypoints = {{c.model}};
    e.sceneKeypoints = {c.scene};
    e.run();
    EXPECT_EQ(e.results.nonOccludedKeypoints[0], c.nonOccluded) << c.what;
    EXPECT_EQ(e.results.repeatableKeypoints[0], c.repeatable) << c.what;
    EXPECT_DOUBLE_EQ(e.results.totScaleRepeatability[0], c.score) << c.what;
  }
}

// A model without keypoints still gets its block, of zeros; a scene without keypoints, none.
TEST(Repeatability, BlocksOfModelsAndScenesWithoutKeypoints) {
  Evaluation e;
  e.modelKeypoints = {{keypoint(5, 0, 0, 2)}, {}};
  e.sceneKeypoints = {keypoint(5, 0, 0, 1)};
  e.run();
  EXPECT_NE(e.out.find("Model 0 scaleRepeatability :0.125000\n\nKeypoints of the model[1]: 0\n"
                       "Keypoints of the model[1] present in the scene: 0\n"),
            std::string::npos)
      << e.out;
  EXPECT_NE(e.out.find("Model 1 repeatability :0.000000\nCurrent Noise:0.100000\n"
                       "Model 1 scaleRepeatability :0.000000\n\n"),
            std::string::npos);
  Evaluation noScene;
  noScene.modelKeypoints = {{keypoint(0, 0, 0, 1)}};
  noScene.run();
  EXPECT_EQ(noScene.out, "");
  EXPECT_EQ(noScene.results.nonOccludedKeypoints[0], 0);
}

TEST(Repeatability, VisibilityUsesTheDecimatedResolution) {
  for (int decimationLevel : {-1, 500}) {
    Evaluation e;
    e.modelKeypoints = {{keypoint(0, 1.5f, 0, 1)}};  // d² = e² = 2.25
    e.sceneKeypoints = {keypoint(0, 0, 0, 1)};
    e.radii = RepeatabilityRadii{0.5, 1.0, decimationLevel, 2.0};  // m² = 1, v² = 4 decimated
    e.run();
    EXPECT_EQ(e.results.nonOccludedKeypoints[0], decimationLevel > 0 ? 1 : 0) << decimationLevel;
    EXPECT_EQ(e.results.repeatableKeypoints[0], 0);
    EXPECT_NE(e.out.find("Epsilon value: 1.000000\n"), std::string::npos);
  }
}

TEST(Repeatability, SceneWithoutPointsOccludesEverythingAndSaysWhy) {
  for (bool emptyMesh : {false, true}) {
    Evaluation e;
    if (emptyMesh) e.sceneVertices.clear();
    e.modelKeypoints = {{keypoint(0, 0, 0, 1)}};
    e.sceneKeypoints = {keypoint(0, 0, 0, 1)};
    e.run(/*withSceneMesh=*/emptyMesh);
    EXPECT_EQ(e.results.nonOccludedKeypoints[0], 0);
    EXPECT_EQ(e.results.repeatableKeypoints[0], 0);
    EXPECT_NE(e.out.find("Model 0 scaleRepeatability :0.000000\n\n"), std::string::npos);
    EXPECT_NE(e.err.find("./data/scenes/s1_0.1.ply"), std::string::npos);
    EXPECT_EQ(std::count(e.err.begin(), e.err.end(), '\n'), 1);
  }
}

}  // namespace
