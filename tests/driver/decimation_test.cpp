#include "driver/decimation.h"

#include <gtest/gtest.h>
#include <vtkPolyData.h>

#include <cstdio>

#include "core/mesh_resolution.h"
#include "core/poly_data_storage.h"
#include "support/run_process.h"

namespace po = boost::program_options;
using Ostrel::Core::Impl::compute_mesh_resolution;

namespace {

// A flat side x side grid of unit squares, two triangles each.
vtkPolyData* grid(int side) {
  std::vector<float> points;
  std::vector<int> triangles;
  for (int a = 0; a < side * side; ++a) {
    points.insert(points.end(), {float(a % side), float(a / side), 0.0f});
    if ((a + 1) % side != 0 && a + side + 1 < side * side)
      triangles.insert(triangles.end(), {a, a + 1, a + side, a + 1, a + side + 1, a + side});
  }
  return Ostrel::Core::Impl::CreatePolyData(points.data(), side * side, nullptr, triangles.data(),
                                            unsigned(triangles.size() / 3));
}

// Targets keep the same fraction, rounded half up. Models at the maximum level stay unchanged
// copies; the scene is reduced to about half. No positive maximum: the run ends.
TEST(DecimationDeathTest, TargetsStagesAndTheMissingParameter) {
  const int cases[][4] = {{601, 1000, 500, 301},  {2000, 1000, 500, 1000}, {1, 1000, 500, 1},
                          {600, 1000, 1000, 600}, {600, 1000, 2000, 1200}, {600, 0, 500, 600}};
  for (const auto& c : cases)
    EXPECT_EQ(decimationTarget(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[2];
  std::vector<TestModel> models(2);
  models[0].mesh = grid(21);
  models[1].mesh = grid(5);
  TestModel scene;
  scene.mesh = grid(21);
  po::variables_map vm;
  vm.insert({"maxVertexesInDataset", po::variable_value(boost::any(1000), false)});
  double mean = 0;
  const std::string out = ardentis_test::capture([&] {
                            mean = decimateModels(vm, models, 1000);
                            decimateScene(vm, scene, 500);
                          }).out;
  const double r0 = compute_mesh_resolution(models[0].mesh);
  const double r1 = compute_mesh_resolution(models[1].mesh);
  const long scenePoints = long(scene.mesh->GetNumberOfPoints());
  EXPECT_LT(scenePoints, 300);
  EXPECT_GT(scenePoints, 100);
  EXPECT_EQ(scene.mesh->GetNumberOfCells(), scene.mesh->GetNumberOfPolys());
  EXPECT_EQ(models[0].mesh->GetNumberOfPolys(), 800);
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
  for (int maxVertexes : {0, -1}) {
    vm.at("maxVertexesInDataset").value() = maxVertexes;
    EXPECT_EXIT(decimateModels(vm, models, 500), testing::ExitedWithCode(156),
                "^Cannot decimate without maxVertexesInDataset parameter$");
  }
}

}  // namespace
