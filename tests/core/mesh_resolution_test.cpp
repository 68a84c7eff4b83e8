#include "core/mesh_resolution.h"

#include <gtest/gtest.h>

#include <cmath>

#include "test_meshes.h"

using namespace ardentis_core_test;
using Ostrel::Core::Impl::compute_mesh_resolution;

TEST(MeshResolution, KnownMeshes) {
  const std::vector<double> triangle = {0, 0, 0, 3, 0, 0, 3, 4, 0};
  const std::vector<double> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  Mesh lineOnly = MeshOf(square);
  lineOnly->SetLines(CellsOf({{0, 2}}));
  Mesh noPoints = Mesh::New();
  noPoints->SetPolys(CellsOf({{0, 1, 2}}));
  // Far from the origin with a tiny edge: single-precision differences would be 0.
  const double step = std::nextafter(1.0e4f, 2.0e4f) - 1.0e4;
  const struct {
    const char* name;
    Mesh mesh;
    double expected;
  } cases[] = {
      {"no polygons", MeshOf(square), 0.0},
      {"lines are not measured", lineOnly, 0.0},
      {"polygons without points", noPoints, 0.0},
      {"3-4-5 triangle", MeshOf(triangle, {{0, 1, 2}}), 4.0},
      {"split unit square", MeshOf(square, {{0, 1, 2}, {0, 2, 3}}), (4 + 2 * std::sqrt(2.0)) / 6},
      {"quad", MeshOf(square, {{0, 1, 2, 3}}), 1.0},
      // One point: one edge of length 0. Two points: a->b and b->a.
      {"one-point polygon", MeshOf(triangle, {{0, 1, 2}, {2}}), 3.0},
      {"two-point polygon", MeshOf(triangle, {{0, 1, 2}, {0, 1}}), 18.0 / 5.0},
      {"polygons naming missing points", MeshOf(triangle, {{0, 1, 2}, {0, 1, 99}, {-1, 0, 1}}),
       4.0},
      {"double precision sums", MeshOf({1e4, 0, 0, 1e4 + step, 0, 0, 1e4, step, 0}, {{0, 1, 2}}),
       step * (2.0 + std::sqrt(2.0)) / 3.0},
  };
  EXPECT_EQ(compute_mesh_resolution(nullptr), 0.0);
  for (const auto& c : cases) {
    EXPECT_NEAR(compute_mesh_resolution(c.mesh), c.expected, 1e-15) << c.name;
  }
}
