// Meshes with exact copies of vertices, unused vertices and collapsing triangles are cleaned
// without vtkCleanPolyData to exactly the filter's result; other meshes are left to the filter.

#include "core/clean_mesh_check.h"

#include <gtest/gtest.h>
#include <vtkCleanPolyData.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkIntArray.h>
#include <vtkUnsignedCharArray.h>

#include <functional>

#include "core/clean_poly_data.h"
#include "test_meshes.h"

using namespace Ostrel::Core::Impl;
using namespace ardentis_core_test;

namespace {

// vtkCleanPolyData's exact merge; with `polygonsOnly`, the run's cleaning done the old way.
Mesh FilterOutput(Mesh mesh, const CollapseRules& rules = {}, bool polygonsOnly = false) {
  if (polygonsOnly) RemoveNotPolysCells(mesh);
  vtkNew<vtkCleanPolyData> cleaner;
  cleaner->SetInputData(mesh);
  cleaner->SetConvertPolysToLines(rules.polysToLines);
  cleaner->SetConvertLinesToPoints(rules.linesToPoints);
  cleaner->Update();
  Mesh result = cleaner->GetOutput();
  if (polygonsOnly) RemoveNotPolysCells(result);
  return result;
}

// An array of `count` tuples whose values all differ (below 251 values).
template <class Array>
vtkSmartPointer<Array> Filled(const char* name, int components, vtkIdType count) {
  auto array = vtkSmartPointer<Array>::New();
  array->SetName(name);
  array->SetNumberOfComponents(components);
  for (vtkIdType v = 0; v < count * components; ++v)
    array->InsertNextValue(typename Array::ValueType((v * 37 + 11) % 251));
  return array;
}

// A 3 x 3 grid (points 0-8, z = row * column / 4) then `extraXyz`.
std::vector<double> Grid(std::vector<double> extraXyz = {}) {
  std::vector<double> xyz;
  for (int i = 0; i < 9; ++i)
    xyz.insert(xyz.end(), {0.5 * (i % 3), 0.25 * (i / 3), 0.25 * (i / 3) * (i % 3)});
  xyz.insert(xyz.end(), extraXyz.begin(), extraXyz.end());
  return xyz;
}

const std::vector<Ids> kGridTriangles = {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4},
                                         {3, 4, 7}, {3, 7, 6}, {4, 5, 8}, {4, 8, 7}};

std::vector<Ids> GridWith(std::vector<Ids> extra) {
  extra.insert(extra.begin(), kGridTriangles.begin(), kGridTriangles.end());
  return extra;
}

// Copies of grid points 4, 5 and 0 as points 9, 10, 11.
const std::vector<double> kCopies = {0.5, 0.25, 0.25, 1.0, 0.25, 0.5, 0, 0, 0};

// A range scan: a rows x columns grid of samples written patch by patch (patches of 8 columns),
// each patch repeating its seam column, so every seam vertex is stored twice; the triangles are
// listed patch by patch. Some triangles have two copies of one seam vertex or a repeated id;
// the last `unused` vertices are referenced by no triangle.
Mesh RawScan(int rows, int columns, int pointType, int unused) {
  std::vector<double> xyz;
  std::vector<Ids> triangles;
  vtkIdType previousBase = 0, previousWidth = 0;
  for (int first = 0; first + 1 < columns; first += 7) {
    const int last = std::min(columns - 1, first + 7);
    const vtkIdType base = vtkIdType(xyz.size() / 3), width = last - first + 1;
    for (int r = 0; r < rows; ++r)
      for (int c = first; c <= last; ++c)
        xyz.insert(xyz.end(), {0.01 * c, 0.01 * r, 0.002 * ((r * 7 + c * 3) % 11)});
    auto at = [&](int r, int c) { return base + r * width + (c - first); };
    for (int r = 0; r + 1 < rows; ++r)
      for (int c = first; c < last; ++c) {
        triangles.push_back({at(r, c), at(r, c + 1), at(r + 1, c + 1)});
        triangles.push_back({at(r, c), at(r + 1, c + 1), at(r + 1, c)});
      }
    if (first > 0) {  // the previous patch's last column is this patch's first
      const vtkIdType seamCopy = previousBase + previousWidth * 2 - 1;  // row 1
      triangles.push_back({at(1, first), seamCopy, at(2, first)});
      triangles.push_back({at(3, first), at(3, first + 1), at(3, first)});
    }
    previousBase = base;
    previousWidth = width;
  }
  for (int k = 0; k < unused; ++k) xyz.insert(xyz.end(), {-1.0 - k, 2.0, 0.5});
  return MeshOf(xyz, triangles, pointType);
}

struct Case {
  const char* name;
  bool direct;  // whether the result is made without the filter
  std::function<Mesh()> make;
  bool pointData = true, cellData = true;
};

const Case kCases[] = {
    // clang-format off
    {"clean", true, [] { return MeshOf(Grid(), kGridTriangles); }},
    {"copies_shared", true, [] { return MeshOf(Grid(kCopies), GridWith({{2, 10, 9}, {10, 8, 9}, {11, 9, 3}})); }},
    {"negative_zero_met_first", true, [] { return MeshOf(Grid({0.5, -0.0, -0.0}), {{9, 2, 5}, {0, 1, 4}, {1, 5, 4}}); }},
    {"unused_points_first_middle_last", true, [] { return MeshOf(Grid({7, 7, 7}), {{1, 2, 5}, {4, 5, 8}, {4, 8, 7}}); }},
    {"collapsed_aab_aba_abb_aaa", true, [] { return MeshOf(Grid(kCopies), GridWith({{4, 9, 5}, {5, 4, 9}, {2, 4, 9}, {4, 9, 4}, {0, 11, 0}})); }},
    {"repeated_ids_alone_use_their_points", true, [] { return MeshOf(Grid({3, 3, 3}), GridWith({{2, 2, 5}, {6, 7, 6}, {9, 9, 9}, {0, 1, 4}})); }},
    {"only_collapsed_triangles", true, [] { return MeshOf(Grid(kCopies), {{4, 9, 4}, {5, 10, 1}}); }},
    {"quads_with_copies", true, [] { return MeshOf(Grid(kCopies), {{0, 1, 9, 3}, {1, 2, 5, 4}, {3, 4, 7, 6}, {4, 10, 8, 7}}); }},
    {"raw_scan", true, [] { return RawScan(12, 30, VTK_FLOAT, 3); }},
    {"raw_scan_double_no_data", true, [] { return RawScan(9, 23, VTK_DOUBLE, 0); }, false, false},
    {"raw_scan_point_data", true, [] { return RawScan(5, 16, VTK_FLOAT, 1); }, true, false},
    {"collapsed_quad_to_filter", false, [] { return MeshOf(Grid(kCopies), {{0, 1, 4, 9}, {1, 2, 5, 4}}); }},
    {"two_id_polygon_to_filter", false, [] { return MeshOf(Grid(), GridWith({{0, 8}})); }},
    {"vertex_cell_to_filter", false, [] { Mesh m = MeshOf(Grid(kCopies), GridWith({{2, 10, 9}})); m->SetVerts(CellsOf({{8}})); return m; }},
    {"no_cells_to_filter", false, [] { return MeshOf(Grid(), {}); }},
    // clang-format on
};

Mesh Make(const Case& c) {
  Mesh mesh = c.make();
  const vtkIdType n = mesh->GetNumberOfPoints(), m = mesh->GetNumberOfCells();
  if (c.pointData) {
    mesh->GetPointData()->SetScalars(Filled<vtkUnsignedCharArray>("RGB", 3, n));
    mesh->GetPointData()->SetNormals(Filled<vtkFloatArray>("Normals", 3, n));
    mesh->GetPointData()->AddArray(Filled<vtkDoubleArray>("Scale", 1, n));
  }
  if (c.cellData) {
    mesh->GetCellData()->AddArray(Filled<vtkIntArray>("Label", 1, m));
    mesh->GetCellData()->SetNormals(Filled<vtkFloatArray>("FaceNormals", 3, m));
  }
  return mesh;
}

class CleanMesh : public testing::TestWithParam<Case> {};

// Under every conversion of collapsed triangles, then the run's cleaning of it and of its result.
TEST_P(CleanMesh, EqualsTheFilter) {
  const Case& c = GetParam();
  for (int r = 0; r < 4; ++r) {
    const CollapseRules rules{r < 2, r % 2 == 0};  // polygons to lines, lines to points
    SCOPED_TRACE(r);
    Mesh expected = FilterOutput(Make(c), rules), actual = Make(c);
    ASSERT_EQ(CleanWithoutFilter(actual, rules), c.direct);
    if (c.direct) ExpectSameMesh(expected, actual);
  }
  Mesh expected = FilterOutput(Make(c), {}, true), actual = Make(c);
  CleanPolyData(actual, true, 0.0, true);
  ExpectSameMesh(expected, actual);
  if (expected->GetNumberOfCells() == 0) return;
  actual->DeepCopy(expected);  // now clean, unless points were used by collapsed cells only
  EXPECT_TRUE(CleanWithoutFilter(actual));
  ExpectSameMesh(FilterOutput(expected, {}, true), actual);
}

INSTANTIATE_TEST_SUITE_P(Meshes, CleanMesh, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Cell lists that only the cleaned mesh holds are rewritten in place; a mesh sharing them keeps
// its own, whether the cells are only renumbered or some collapse.
TEST(CleanMesh, CellsSharedWithAnotherMeshStayAsTheyWere) {
  for (const Ids& extra : {Ids{2, 10, 9}, Ids{4, 9, 5}}) {
    Mesh mesh = MeshOf(Grid(kCopies), GridWith({extra}));
    Mesh other = Mesh::New();
    other->ShallowCopy(mesh);
    const Ids before = Flat(other->GetPolys());
    Mesh expected = FilterOutput(mesh, {}, true);
    CleanPolyData(mesh, true, 0.0, true);
    ExpectSameMesh(expected, mesh);
    EXPECT_EQ(Flat(other->GetPolys()), before);
  }
  EXPECT_FALSE(CleanWithoutFilter(nullptr));
}

TEST(RemoveNotPolysCells, KeepsPolygonsAndTheirCellData) {
  Mesh mesh = MeshOf({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {{0, 1, 2}, {1, 3, 2}});
  mesh->SetVerts(CellsOf({{0}}));
  mesh->SetLines(CellsOf({{0, 3}, {1, 2}}));
  mesh->SetStrips(CellsOf({{0, 1, 2, 3}}));
  // Cell order is verts, lines, polygons, strips: the polygons carry 30 and 40.
  vtkNew<vtkIntArray> tags;
  for (int value : {0, 10, 20, 30, 40, 50}) tags->InsertNextValue(value);
  mesh->GetCellData()->AddArray(tags);
  mesh->BuildCells();
  RemoveNotPolysCells(mesh);
  EXPECT_EQ(Flat(mesh->GetPolys()), (Ids{3, 0, 1, 2, 3, 1, 3, 2}));
  EXPECT_EQ(mesh->GetNumberOfCells(), 2);
  EXPECT_EQ(mesh->GetCellType(1), VTK_TRIANGLE);  // the random-access map follows the change
  auto* kept = vtkIntArray::SafeDownCast(mesh->GetCellData()->GetArray(0));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(std::vector<int>(kept->Begin(), kept->End()), (std::vector<int>{30, 40}));
}

}  // namespace
