// The small mesh functions of core/: resolution, grid triangulation and storage helpers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

#include "core/mesh_resolution.h"
#include "core/poly_data_storage.h"
#include "core/triangles_from_index_map.h"
#include "test_meshes.h"

using namespace Ostrel::Core::Impl;
using namespace ardentis_core_test;
using Records = std::vector<long long>;

TEST(MeshResolution, KnownMeshes) {
  const std::vector<double> triangle = {0, 0, 0, 3, 0, 0, 3, 4, 0};
  const std::vector<double> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
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
      {"polygons without points", noPoints, 0.0},
      {"split unit square", MeshOf(square, {{0, 1, 2}, {0, 2, 3}}), (4 + 2 * std::sqrt(2.0)) / 6},
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

// Triangles over float points take a road of their own: its sum is the general road's to the
// last bit (the same values stored as doubles take the general one), and both are the plain
// sum of every edge, polygon after polygon, corner after corner.
TEST(MeshResolution, FloatTrianglesSumAsTheGeneralRoad) {
  std::mt19937 random(4);
  std::uniform_real_distribution<double> coordinate(-50, 50), scale(-8, 8);
  std::vector<double> xyz;
  for (int i = 0; i < 3000; ++i)
    xyz.push_back(double(float(coordinate(random) * std::exp2(std::round(scale(random))))));
  std::uniform_int_distribution<vtkIdType> id(-2, 1001);  // a few ids name no point
  std::vector<Ids> polygons(20000);
  for (std::size_t k = 0; k < polygons.size(); ++k)
    for (std::size_t corner = 0; corner < (k % 7 == 0 ? 4 + k % 3 : 3); ++corner)
      polygons[k].push_back(id(random));
  double sum = 0;
  long long edges = 0;
  for (const Ids& polygon : polygons) {
    const std::size_t n = polygon.size();
    if (std::any_of(polygon.begin(), polygon.end(), [](vtkIdType i) { return i < 0 || i >= 1000; }))
      continue;
    for (std::size_t j = 0; j < n; ++j) {
      const double* a = &xyz[3 * polygon[j]];
      const double* b = &xyz[3 * polygon[(j + 1) % n]];
      sum += std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                       (a[2] - b[2]) * (a[2] - b[2]));
    }
    edges += static_cast<long long>(n);
  }
  for (const bool storage32 : {false, true}) {
    Mesh floats = MeshOf(xyz, polygons, VTK_FLOAT), doubles = MeshOf(xyz, polygons, VTK_DOUBLE);
    if (storage32) {
      for (vtkPolyData* mesh : {floats.Get(), doubles.Get()}) {
        auto cells = vtkSmartPointer<vtkCellArray>::New();
        cells->Use32BitStorage();
        cells->DeepCopy(mesh->GetPolys());
        mesh->SetPolys(cells);
      }
    }
    EXPECT_EQ(compute_mesh_resolution(floats), sum / double(edges)) << storage32;
    EXPECT_EQ(compute_mesh_resolution(doubles), sum / double(edges)) << storage32;
  }
}

TEST(CreateTrianglesFromIndexMap, SquaresGridsAndDegenerateSizes) {
  const std::vector<int> grid = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const struct {
    std::vector<int> map;
    int width, height;
    Records expected;  // 4 values per triangle
  } cases[] = {
      // clang-format off
      {{0, 1, 2, 3}, 2, 2, {3, 1, 0, 2, 3, 1, 2, 3}}, {{0, 1, 2, -1}, 2, 2, {3, 1, 0, 2}},
      {{0, 1, -1, 3}, 2, 2, {3, 1, 0, 3}}, {{0, -1, 2, 3}, 2, 2, {3, 0, 2, 3}},
      {{-1, 1, 2, 3}, 2, 2, {3, 1, 2, 3}}, {{-1, 1, -1, 3}, 2, 2, {}}, {{0, -1, -1, 3}, 2, 2, {}},
      // Ids are copied as they are, not checked against any point count.
      {{7, 100000, 5, 2147483647}, 2, 2, {3, 100000, 7, 5, 3, 100000, 5, 2147483647}},
      // A header may claim a huge height for a width of 0 or 1: no rows may be walked then.
      {grid, 6, 1, {}}, {grid, 0, 2000000000, {}}, {grid, 1, 2000000000, {}}, {grid, -2, 3, {}},
      // clang-format on
  };
  for (const auto& c : cases) {
    long long* raw = nullptr;
    const int count = CreateTrianglesFromIndexMap(c.map.data(), c.width, c.height, raw);
    std::unique_ptr<long long[]> owned(raw);
    EXPECT_EQ(Records(raw, raw + 4 * count), c.expected) << c.width << "x" << c.height;
  }
}

// Writes through the returned pointers reach the mesh; the lookups are null outside storage.
TEST(PolyDataStorage, CreateAllocateAndLookUp) {
  const float xyz[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0.5f};
  const int triangles[] = {0, 1, 2, 2, 1, 3};
  const unsigned char colours[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Mesh bare = Mesh::Take(CreatePolyData(xyz, 4, nullptr, nullptr, 7));
  EXPECT_EQ(bare->GetNumberOfCells() + bare->GetPointData()->GetNumberOfArrays(), 0);
  Mesh mesh = Mesh::Take(CreatePolyData(xyz, 4, colours, triangles, 2));
  EXPECT_EQ(Flat(mesh->GetPolys()), (Ids{3, 0, 1, 2, 3, 2, 1, 3}));
  EXPECT_EQ(mesh->GetCell(1)->GetPointId(2), 3);  // the random-access map is built
  EXPECT_EQ(Describe(mesh->GetPointData()->GetScalars()),
            "RGB type 3 x3:" + std::string(colours, colours + 12));
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 3)[2], 0.5f);
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 4), nullptr);
  const unsigned char colour[] = {10, 20, 30};
  const bool mask[] = {true, false, false, true};
  unsigned char* bytes = AllocateColors(mesh, colour, mask);
  EXPECT_EQ(std::vector<int>(bytes, bytes + 6), (std::vector<int>{10, 20, 30, 200, 200, 200}));
  EXPECT_EQ(AllocateColors(mesh, colour, nullptr)[4], 20);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 0), nullptr);  // no "Scale" yet
  double* scales = AllocateScale(mesh);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 3), scales + 3);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 4), nullptr);
  AllocatePointsInDoubleFormat(mesh, 2)[5] = 0.1;  // not representable as a float
  EXPECT_EQ(mesh->GetPoint(1)[2], 0.1);
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 0), nullptr);  // no float pointer into doubles
}
