#include "core/mesh_resolution.h"

#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "core/poly_data_storage.h"

using Ostrel::Core::Impl::compute_mesh_resolution;

namespace {

// A mesh of the given points whose polygon list holds the given polygons.
vtkSmartPointer<vtkPolyData> MeshOf(const std::vector<float>& coordinates,
                                    std::initializer_list<std::vector<vtkIdType>> polygons) {
  auto mesh = vtkSmartPointer<vtkPolyData>::New();
  vtkNew<vtkPoints> points;
  for (size_t i = 0; i + 2 < coordinates.size(); i += 3) {
    points->InsertNextPoint(coordinates[i], coordinates[i + 1], coordinates[i + 2]);
  }
  mesh->SetPoints(points);
  vtkNew<vtkCellArray> cells;
  for (const auto& ids : polygons)
    cells->InsertNextCell(static_cast<vtkIdType>(ids.size()), ids.data());
  mesh->SetPolys(cells);
  return mesh;
}

const std::vector<float> kUnitSquare = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};

}  // namespace

TEST(MeshResolution, NothingToMeasureIsZero) {
  EXPECT_EQ(compute_mesh_resolution(nullptr), 0.0);
  vtkNew<vtkPolyData> bare;
  EXPECT_EQ(compute_mesh_resolution(bare), 0.0);
  EXPECT_EQ(compute_mesh_resolution(MeshOf(kUnitSquare, {})), 0.0);
}

TEST(MeshResolution, OnlyPolygonsAreMeasured) {
  auto mesh = MeshOf(kUnitSquare, {});
  vtkNew<vtkCellArray> lines;
  const vtkIdType line[] = {0, 2};
  lines->InsertNextCell(2, line);
  mesh->SetLines(lines);
  EXPECT_EQ(compute_mesh_resolution(mesh), 0.0);
}

TEST(MeshResolution, KnownMeshes) {
  struct Case {
    const char* name;
    vtkSmartPointer<vtkPolyData> mesh;
    double expected;
  };
  const Case cases[] = {
      {"3-4-5 triangle", MeshOf({0, 0, 0, 3, 0, 0, 3, 4, 0}, {{0, 1, 2}}), 4.0},
      {"split unit square", MeshOf(kUnitSquare, {{0, 1, 2}, {0, 2, 3}}),
       (4.0 + 2.0 * std::sqrt(2.0)) / 6.0},
      {"quad", MeshOf(kUnitSquare, {{0, 1, 2, 3}}), 1.0},
      // One point: one edge of length 0. Two points: a->b and b->a.
      {"one-point polygon", MeshOf({0, 0, 0, 3, 0, 0, 3, 4, 0}, {{0, 1, 2}, {2}}), 3.0},
      {"two-point polygon", MeshOf({0, 0, 0, 3, 0, 0, 3, 4, 0}, {{0, 1, 2}, {0, 1}}), 18.0 / 5.0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(compute_mesh_resolution(c.mesh), c.expected, 1e-15) << c.name;
  }
}

TEST(MeshResolution, SumsInDoublePrecision) {
  // Points far from the origin with a tiny edge: single-precision differences would be 0.
  const float base = 1.0e4f;
  const float step = std::nextafter(base, 2 * base) - base;
  auto mesh = MeshOf({base, 0, 0, base + step, 0, 0, base, step, 0}, {{0, 1, 2}});
  EXPECT_DOUBLE_EQ(compute_mesh_resolution(mesh), step * (2.0 + std::sqrt(2.0)) / 3.0);
}

TEST(MeshResolution, SameOnMeshBuiltThroughAllocateTriangles) {
  const float points[] = {0, 0, 0, 3, 0, 0, 3, 4, 0};
  const int triangles[] = {0, 1, 2};
  vtkSmartPointer<vtkPolyData> mesh;
  mesh.TakeReference(Ostrel::Core::Impl::CreatePolyData(points, 3, nullptr, triangles, 1));
  EXPECT_EQ(compute_mesh_resolution(mesh), 4.0);
}

TEST(MeshResolution, PolygonNamingMissingPointIsLeftOut) {
  auto mesh = MeshOf({0, 0, 0, 3, 0, 0, 3, 4, 0}, {{0, 1, 2}, {0, 1, 99}, {-1, 0, 1}});
  EXPECT_EQ(compute_mesh_resolution(mesh), 4.0);
  vtkNew<vtkPolyData> noPoints;
  noPoints->SetPolys(mesh->GetPolys());
  EXPECT_EQ(compute_mesh_resolution(noPoints), 0.0);
}
