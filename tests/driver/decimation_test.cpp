#include "driver/decimation.h"

#include <gtest/gtest.h>
#include <vtkPolyData.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/mesh_resolution.h"
#include "core/poly_data_storage.h"

namespace po = boost::program_options;

namespace {

// A flat side × side grid of unit squares, two triangles each.
vtkPolyData* grid(int side) {
  std::vector<float> points;
  std::vector<int> triangles;
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) points.insert(points.end(), {float(c), float(r), 0.0f});
  for (int r = 0; r + 1 < side; ++r) {
    for (int c = 0; c + 1 < side; ++c) {
      const int a = r * side + c;
      triangles.insert(triangles.end(), {a, a + 1, a + side, a + 1, a + side + 1, a + side});
    }
  }
  return Ostrel::Core::Impl::CreatePolyData(points.data(), side * side, nullptr, triangles.data(),
                                            unsigned(triangles.size() / 3));
}

po::variables_map withMaxVertexes(int maxVertexes) {
  po::variables_map vm;
  vm.insert({"maxVertexesInDataset", po::variable_value(boost::any(maxVertexes), false)});
  return vm;
}

TEST(Decimation, TargetIsTheSameFractionRoundedHalfUp) {
  struct Case {
    long long points;
    int maxVertexes, level, target;
  };
  for (Case c : {Case{601, 1000, 500, 301}, Case{2000, 1000, 500, 1000}, Case{1, 1000, 500, 1},
                 Case{600, 1000, 1000, 600}, Case{600, 1000, 2000, 1200}, Case{600, 0, 500, 600}}) {
    EXPECT_EQ(decimationTarget(c.points, c.maxVertexes, c.level), c.target)
        << c.points << " " << c.maxVertexes << " " << c.level;
  }
}

TEST(Decimation, ReducesToAboutTheTargetAndLeavesTheInputAlone) {
  vtkPolyData* mesh = grid(21);  // 441 points
  vtkPolyData* reduced = decimateMesh(mesh, 200);
  EXPECT_NE(reduced, mesh);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 441);
  EXPECT_LT(reduced->GetNumberOfPoints(), 300);
  EXPECT_GT(reduced->GetNumberOfPoints(), 100);
  EXPECT_EQ(reduced->GetNumberOfVerts() + reduced->GetNumberOfLines(), 0);
  reduced->Delete();
  mesh->Delete();
}

TEST(Decimation, AMeshAtOrBelowTheTargetIsAnIndependentCopy) {
  vtkPolyData* mesh = grid(5);
  for (int target : {25, 1000}) {
    vtkPolyData* copy = decimateMesh(mesh, target);
    ASSERT_EQ(copy->GetNumberOfPoints(), 25);
    EXPECT_EQ(copy->GetNumberOfPolys(), 32);
    copy->GetPoints()->SetPoint(0, 9, 9, 9);
    double original[3];
    mesh->GetPoint(0, original);
    EXPECT_EQ(original[0], 0.0);
    copy->Delete();
  }
  mesh->Delete();
}

TEST(Decimation, ModelStagePrintsEveryModelAndReturnsTheMeanResolution) {
  std::vector<TestModel> models(2);
  models[0].mesh = grid(21);
  models[1].mesh = grid(5);
  auto vm = withMaxVertexes(1000);
  testing::internal::CaptureStdout();
  const double mean = decimateModels(vm, models, 1000);  // level = max: unchanged copies
  const std::string out = testing::internal::GetCapturedStdout();

  const double r0 = Ostrel::Core::Impl::compute_mesh_resolution(models[0].mesh);
  const double r1 = Ostrel::Core::Impl::compute_mesh_resolution(models[1].mesh);
  char expected[512];
  std::snprintf(expected, sizeof expected,
                "Decimation   Vertexes and Mesh resolution after decimation: 441,  %f\n"
                "   Vertexes and Mesh resolution after decimation: 25,  %f\n"
                "\n   Mean mesh resolution after decimation: %f\ndone.\n\n",
                r0, r1, (r0 + r1) / 2);
  EXPECT_EQ(out, expected);
  EXPECT_DOUBLE_EQ(mean, (r0 + r1) / 2);
  for (auto& model : models) model.mesh->Delete();
}

TEST(Decimation, SceneStageReplacesTheMeshAndPrintsItsResolution) {
  TestModel scene;
  scene.mesh = grid(21);
  auto vm = withMaxVertexes(1000);
  testing::internal::CaptureStdout();
  decimateScene(vm, scene, 500);
  const std::string out = testing::internal::GetCapturedStdout();
  const long points = long(scene.mesh->GetNumberOfPoints());
  EXPECT_LT(points, 300);
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "Scene decimation.\nVertexes and Mesh resolution after decimation: %ld, %lf.\n"
                "done.\n\n",
                points, Ostrel::Core::Impl::compute_mesh_resolution(scene.mesh));
  EXPECT_EQ(out, expected);
  scene.mesh->Delete();
}

TEST(DecimationDeathTest, MaxVertexesNotPositiveEndsTheRun) {
  for (int maxVertexes : {0, -1}) {
    std::vector<TestModel> models(1);
    auto vm = withMaxVertexes(maxVertexes);
    EXPECT_EXIT(decimateModels(vm, models, 500), testing::ExitedWithCode(156),
                "^Cannot decimate without maxVertexesInDataset parameter$");
  }
}

}  // namespace
