#include "driver/decimation.h"

#include <gtest/gtest.h>
#include <vtkPolyData.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/mesh_resolution.h"
#include "core/poly_data_storage.h"

namespace po = boost::program_options;
using Ostrel::Core::Impl::compute_mesh_resolution;

namespace {

// A flat side x side grid of unit squares, two triangles each.
vtkPolyData* grid(int side) {
  std::vector<float> points;
  std::vector<int> triangles;
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) points.insert(points.end(), {float(c), float(r), 0.0f});
  for (int a = 0; a + side + 1 < side * side; ++a)
    if ((a + 1) % side != 0)
      triangles.insert(triangles.end(), {a, a + 1, a + side, a + 1, a + side + 1, a + side});
  return Ostrel::Core::Impl::CreatePolyData(points.data(), side * side, nullptr, triangles.data(),
                                            unsigned(triangles.size() / 3));
}

po::variables_map withMaxVertexes(int maxVertexes) {
  po::variables_map vm;
  vm.insert({"maxVertexesInDataset", po::variable_value(boost::any(maxVertexes), false)});
  return vm;
}

TEST(Decimation, TargetIsTheSameFractionRoundedHalfUp) {
  const int cases[][4] = {{601, 1000, 500, 301},  {2000, 1000, 500, 1000}, {1, 1000, 500, 1},
                          {600, 1000, 1000, 600}, {600, 1000, 2000, 1200}, {600, 0, 500, 600}};
  for (const auto& c : cases)
    EXPECT_EQ(decimationTarget(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[2];
}

TEST(Decimation, ReducesToAboutTheTargetOrCopiesAndLeavesTheInputAlone) {
  vtkPolyData* mesh = grid(21);  // 441 points
  vtkPolyData* reduced = decimateMesh(mesh, 200);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 441);
  EXPECT_LT(reduced->GetNumberOfPoints(), 300);
  EXPECT_GT(reduced->GetNumberOfPoints(), 100);
  EXPECT_EQ(reduced->GetNumberOfCells(), reduced->GetNumberOfPolys());
  reduced->Delete();
  for (int target : {441, 1000}) {
    vtkPolyData* copy = decimateMesh(mesh, target);
    ASSERT_EQ(copy->GetNumberOfPoints(), 441);
    EXPECT_EQ(copy->GetNumberOfPolys(), 800);
    copy->GetPoints()->SetPoint(0, 9, 9, 9);
    EXPECT_EQ(mesh->GetPoint(0)[0], 0.0);
    copy->Delete();
  }
  mesh->Delete();
}

TEST(Decimation, StagesPrintEveryMeshAndTheMeanResolution) {
  std::vector<TestModel> models(2);
  models[0].mesh = grid(21);
  models[1].mesh = grid(5);
  TestModel scene;
  scene.mesh = grid(21);
  auto vm = withMaxVertexes(1000);
  testing::internal::CaptureStdout();
  const double mean = decimateModels(vm, models, 1000);  // level = max: unchanged copies
  decimateScene(vm, scene, 500);
  const std::string out = testing::internal::GetCapturedStdout();

  const double r0 = compute_mesh_resolution(models[0].mesh);
  const double r1 = compute_mesh_resolution(models[1].mesh);
  const long scenePoints = long(scene.mesh->GetNumberOfPoints());
  EXPECT_LT(scenePoints, 300);
  char expected[1024];
  std::snprintf(expected, sizeof expected,
                "Decimation   Vertexes and Mesh resolution after decimation: 441,  %f\n"
                "   Vertexes and Mesh resolution after decimation: 25,  %f\n"
                "\n   Mean mesh resolution after decimation: %f\ndone.\n\n"
                "Scene decimation.\nVertexes and Mesh resolution after decimation: %ld, %lf.\n"
                "done.\n\n",
                r0, r1, (r0 + r1) / 2, scenePoints, compute_mesh_resolution(scene.mesh));
  EXPECT_EQ(out, expected);
  EXPECT_DOUBLE_EQ(mean, (r0 + r1) / 2);
  for (auto* mesh : {models[0].mesh, models[1].mesh, scene.mesh}) mesh->Delete();
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
