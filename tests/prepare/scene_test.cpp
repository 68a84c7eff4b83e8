// ardentis-prepare scene: rotations, poses, placement, visibility, and an evaluation of the
// composed test by the real evaluator.

#include <gtest/gtest.h>
#include <vtkPoints.h>

#include <array>
#include <cmath>
#include <fstream>
#include <sstream>

#include "driver/scene_and_models.h"
#include "prepare/scene_composition.h"
#include "prepare_test_support.h"
#include "support/temp_dir.h"

using namespace prepare_test;
using ardentis_test::readFile;
using ardentis_test::TempDir;

namespace {

// Runs the scene command on a sphere (closed) and a cone (with a polygon cap) into DIR/out.
ardentis_test::ProcessResult ComposeTest(const TempDir& dir,
                                         const std::vector<std::string>& extra) {
  WritePly(Sphere(40, 1.0), dir.file("in/ball.ply"));
  WritePly(Cone(24), dir.file("in/cone.ply"));
  std::vector<std::string> args = {"scene",   "-o",          "out",    "--model", "in/ball.ply",
                                   "--model", "in/cone.ply", "--seed", "4"};
  args.insert(args.end(), extra.begin(), extra.end());
  return RunPrepare(args, dir.path());
}

TestModel GroundTruth(const TempDir& dir, const std::string& name) {
  TestModel model;
  EXPECT_TRUE(readGroundTruth(dir.file("out/data/gt/" + name + ".txt"), model)) << name;
  return model;
}

// R * p + t in double precision from the stored float pose.
std::array<double, 3> Mapped(const TestModel& pose, const double p[3]) {
  std::array<double, 3> q{};
  for (int r = 0; r < 3; ++r) {
    q[r] = pose.translation[r];
    for (int c = 0; c < 3; ++c) q[r] += double(pose.rotation[3 * r + c]) * p[c];
  }
  return q;
}

// True when `mesh` has a vertex at `q` (to float rounding), by brute force.
bool HasVertexAt(vtkPolyData* mesh, const std::array<double, 3>& q) {
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    double p[3];
    mesh->GetPoint(i, p);
    if (std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]) < 1e-5) return true;
  }
  return false;
}

}  // namespace

// A uniform rotation carries the z axis to a uniform direction: mean 0, second moment 1/3.
TEST(SceneComposition, RotationsAreUniform) {
  std::vector<Ostrel::Prepare::PlacedModel> models(3000);
  for (auto& model : models) model.mesh = Sphere(4, 1.0);
  Ostrel::Prepare::PlaceModels(models, 9, 0.5);
  for (int r = 0; r < 3; ++r) {
    double sum = 0, squares = 0;
    for (const auto& model : models) {
      sum += model.rotation[3 * r + 2];
      squares += std::pow(model.rotation[3 * r + 2], 2);
    }
    EXPECT_NEAR(sum / models.size(), 0.0, 0.04);
    EXPECT_NEAR(squares / models.size(), 1.0 / 3, 0.03);
  }
}

TEST(SceneCommand, PosesMapEveryModelVertexOntoTheScene) {
  TempDir dir;
  const auto result = ComposeTest(dir, {});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(
      FilesUnder(dir.file("out")),
      (std::vector<std::string>{"data/gt/ball.txt", "data/gt/cone.txt", "data/models/ball_0.ply",
                                "data/models/cone_0.ply", "data/scenes/scene_0.ply", "test.ini"}));
  Mesh scene = Load(dir.file("out/data/scenes/scene_0.ply"));
  ASSERT_TRUE(scene);
  vtkIdType offset = 0;
  for (const std::string name : {"ball", "cone"}) {
    const TestModel pose = GroundTruth(dir, name);
    Mesh model = Load(dir.file("out/data/models/" + name + "_0.ply"));
    ASSERT_TRUE(model);
    for (vtkIdType i = 0; i < model->GetNumberOfPoints(); ++i) {
      double p[3], s[3];
      model->GetPoint(i, p);
      scene->GetPoint(offset + i, s);
      const std::array<double, 3> q = Mapped(pose, p);
      for (int k = 0; k < 3; ++k)
        ASSERT_NEAR(q[k], s[k], 1e-6 * (1 + std::fabs(s[k]))) << name << i;
    }
    offset += model->GetNumberOfPoints();
  }
  EXPECT_EQ(offset, scene->GetNumberOfPoints());
  // Placement: no cone vertex comes inside the ball (radius 1 around its translation).
  const TestModel ball = GroundTruth(dir, "ball");
  for (vtkIdType i = Load(dir.file("out/data/models/ball_0.ply"))->GetNumberOfPoints();
       i < scene->GetNumberOfPoints(); ++i) {
    double s[3];
    scene->GetPoint(i, s);
    const double distance = std::hypot(s[0] - ball.translation[0], s[1] - ball.translation[1],
                                       s[2] - ball.translation[2]);
    EXPECT_GE(distance, 1.0 - 1e-6) << i;
  }
}

// Seen from z = 60 the ball keeps about its front half. Keypoints at sampled visible vertices
// (model and scene side) are then all non-occluded and repeatable for the real evaluator.
TEST(SceneCommand, ViewKeepsTheFrontAndTheEvaluatorFindsItAllRepeatable) {
  TempDir dir;
  ASSERT_EQ(ComposeTest(dir, {"--view", "0", "0", "60"}).status, 0);
  Mesh scene = Load(dir.file("out/data/scenes/scene_0.ply"));
  std::ostringstream sceneFeats;
  int sceneCount = 0;
  for (const std::string name : {"ball", "cone"}) {
    const TestModel pose = GroundTruth(dir, name);
    Mesh model = Load(dir.file("out/data/models/" + name + "_0.ply"));
    std::ostringstream feats;
    int count = 0, visible = 0;
    for (vtkIdType i = 0; i < model->GetNumberOfPoints(); ++i) {
      double p[3];
      model->GetPoint(i, p);
      const std::array<double, 3> q = Mapped(pose, p);
      if (!HasVertexAt(scene, q)) continue;
      // The ball is centred on t: its kept vertices face +z, up to the silhouette's rows.
      EXPECT_TRUE(name != "ball" || q[2] - pose.translation[2] > -0.1) << i;
      if (visible++ % 9 != 0) continue;
      feats << p[0] << ' ' << p[1] << ' ' << p[2] << " 1 " << i << " 1\n";
      sceneFeats << q[0] << ' ' << q[1] << ' ' << q[2] << " 1 0 1\n";
      ++count;
    }
    if (name == "ball") {
      EXPECT_NEAR(visible, 0.5 * model->GetNumberOfPoints(), 0.1 * visible);
    }
    ASSERT_GT(count, 0) << name;
    sceneCount += count;
    dir.write("feats/T_" + name + "_0.feat", std::to_string(count) + "\n" + feats.str());
  }
  dir.write("feats/T_scene_0.feat", std::to_string(sceneCount) + "\n" + sceneFeats.str());
  const auto run = ardentis_test::runArdentis(
      {"-C", "test.ini", "-S", "../feats", "-O", "../results", "--detectorID", "T", "-n", "0"},
      dir.file("out"));
  ASSERT_EQ(run.status, 0) << run.out;
  std::istringstream table(readFile(dir.file("results/T.csv")));
  std::string row;
  int rows = 0;
  for (std::getline(table, row); std::getline(table, row); ++rows) {
    std::vector<std::string> cells;
    std::istringstream cellStream(row);
    for (std::string cell; std::getline(cellStream, cell, ';');) cells.push_back(cell);
    ASSERT_EQ(cells.size(), 10u) << row;
    EXPECT_EQ(cells[3], cells[6]) << "repeatable = model keypoints: " << row;
    EXPECT_EQ(cells[7], cells[6]) << "non-occluded = model keypoints: " << row;
  }
  EXPECT_EQ(rows, 2);
}

TEST(SceneCommand, BadModelsAndOptionsWriteNothing) {
  const struct {
    std::vector<std::string> extra;
    int status;
    const char* message;
  } cases[] = {
      {{"--model", "in/ball.ply"}, 1, "two models are named ball"},
      {{"--model", "in/none.ply"}, 1, "cannot read the model in/none.ply"},
      {{"--view", "0", "0"}, 2, "--view takes three numbers X Y Z"},
      {{"--spacing", "-1"}, 2, "--spacing must be a number >= 0"},
      {{"--spacing", "x"}, 2, "the argument ('x') for option '--spacing' is invalid"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const auto result = ComposeTest(dir, c.extra);
    EXPECT_EQ(result.status, c.status) << c.message;
    EXPECT_EQ(result.err.rfind(std::string("ardentis-prepare scene: ") + c.message, 0), 0u)
        << result.err;
    EXPECT_FALSE(std::ifstream(dir.file("out/test.ini")).is_open()) << c.message;
  }
}
