#include "driver/repeatability.h"

#include <gtest/gtest.h>
#include <vtkPolyData.h>

#include <limits>

#include "core/poly_data_storage.h"
#include "support/run_process.h"

namespace {

using Ostrel::LocalFeatures::Impl::Feature3D;

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// One model keypoint against one scene keypoint, over a scene of vertices (0,0,0), (5,0,0),
// (100,1,0); with m² = v² = 1, or v² = 4 when decimated, or no scene mesh (or an empty one).
struct Case {
  const char* what;
  Feature3D model, scene;  // x y z scale
  int nonOccluded, repeatable;
  double score;
  int decimationLevel = -1;
  int sceneVertices = 3;  // 0: an empty mesh, -1: none
};

const Case kCases[] = {
    {"matched at exactly the radius", {0, 1, 0, 1}, {0, 0, 0, 1}, 1, 1, 0.0},
    {"beyond the visibility radius", {0, 1.001f, 0, 1}, {0, 0, 0, 1}, 0, 0, 0},
    {"scene keypoint too far", {0, 0, 0, 1}, {5, 0, 0, 1}, 1, 0, 0.0},
    {"equal scales", {5, 0, 0, 3}, {5, 0, 0, 3}, 1, 1, 1.0},
    {"model 2, scene 1", {5, 0, 0, 2}, {5, 0, 0, 1}, 1, 1, 0.125},
    {"model 1, scene 2", {5, 0, 0, 1}, {5, 0, 0, 2}, 1, 1, 0.125},
    {"model 0", {5, 0, 0, 0}, {5, 0, 0, 1}, 1, 1, 0.0},
    {"scene 0", {5, 0, 0, 1}, {5, 0, 0, 0}, 1, 1, 0.0},
    {"model scale NaN", {5, 0, 0, kNaN}, {5, 0, 0, 1}, 1, 1, 0.0},
    {"scene scale NaN", {5, 0, 0, 1}, {5, 0, 0, kNaN}, 1, 1, 0.0},
    {"NaN coordinate", {kNaN, 0, 0, 1}, {0, 0, 0, 1}, 0, 0, 0.0},
    {"infinite coordinate", {0, kInf, 0, 1}, {0, 0, 0, 1}, 0, 0, 0.0},
    {"visible only at the decimated radius", {0, 1.5f, 0, 1}, {0, 0, 0, 1}, 1, 0, 0.0, 500},
    {"hidden at the model radius", {0, 1.5f, 0, 1}, {0, 0, 0, 1}, 0, 0, 0.0, -1},
    {"scene mesh without points", {0, 0, 0, 1}, {0, 0, 0, 1}, 0, 0, 0.0, -1, 0},
    {"no scene mesh", {0, 0, 0, 1}, {0, 0, 0, 1}, 0, 0, 0.0, -1, -1},
};

// Every model is rotated by the identity; the second one has no keypoints and still gets its
// block, of zeros. A scene without points is said once on standard error, naming it.
TEST(Repeatability, OneKeypointCountsAndScaleScore) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const float sceneVertices[] = {0, 0, 0, 5, 0, 0, 100, 1, 0};
    Feature3D model = c.model, scene = c.scene;
    std::vector<TestModel> models(2, TestModel{});
    models[0].rotation[0] = models[0].rotation[4] = models[0].rotation[8] = 1;
    models[0].keypoints = &model;
    models[0].numKeypoints = 1;
    TestModel sceneRecord;
    sceneRecord.meshPath = "./data/scenes/s1_0.1.ply";
    sceneRecord.noiseSigma = 0.1;
    if (c.sceneVertices >= 0)
      sceneRecord.mesh =
          Ostrel::Core::Impl::CreatePolyData(sceneVertices, c.sceneVertices, nullptr, nullptr, 0);
    sceneRecord.keypoints = &scene;
    sceneRecord.numKeypoints = 1;
    RepeatabilityResults results(2);
    const RepeatabilityRadii radii{0.5, 1.0, c.decimationLevel, 2.0};
    const auto printed =
        ardentis_test::capture([&] { evaluateRepeatability(models, sceneRecord, radii, results); });
    if (sceneRecord.mesh != nullptr) sceneRecord.mesh->Delete();
    EXPECT_EQ(results.nonOccludedKeypoints, (std::vector<int>{c.nonOccluded, 0}));
    EXPECT_EQ(results.repeatableKeypoints, (std::vector<int>{c.repeatable, 0}));
    EXPECT_DOUBLE_EQ(results.totScaleRepeatability[0], c.score);
    EXPECT_NE(printed.out.find("Epsilon value: 1.000000\nModel 0 repeatability :"),
              std::string::npos);
    EXPECT_NE(printed.out.find("Keypoints of the model[1]: 0\nKeypoints of the model[1] present "
                               "in the scene: 0\n"),
              std::string::npos);
    EXPECT_EQ(std::count(printed.err.begin(), printed.err.end(), '\n'),
              c.sceneVertices > 0 ? 0 : 1);
    if (c.sceneVertices <= 0) {
      EXPECT_NE(printed.err.find(sceneRecord.meshPath), std::string::npos);
    }
  }
  // A scene without keypoints: nothing to print.
  std::vector<TestModel> models(1, TestModel{});
  RepeatabilityResults results(1);
  EXPECT_EQ(ardentis_test::capture([&] {
              evaluateRepeatability(models, TestModel{}, RepeatabilityRadii{}, results);
            }).out,
            "");
}

}  // namespace
