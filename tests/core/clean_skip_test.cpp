// The cleaning filter is skipped for meshes that are already clean: for every mesh here the
// result must equal what vtkCleanPolyData makes of it, points bit for bit, cells and arrays.

#include <gtest/gtest.h>
#include <vtkCleanPolyData.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkIntArray.h>
#include <vtkUnsignedCharArray.h>

#include "core/clean_mesh_check.h"
#include "core/clean_poly_data.h"
#include "test_meshes.h"

using namespace Ostrel::Core::Impl;
using namespace ardentis_core_test;

namespace {

// The cleaning as done before the skip existed.
void CleanWithFilter(vtkPolyData* mesh) {
  RemoveNotPolysCells(mesh);
  vtkNew<vtkCleanPolyData> cleaner;
  cleaner->SetInputData(mesh);
  cleaner->SetAbsoluteTolerance(0.0);
  cleaner->PointMergingOn();
  cleaner->ToleranceIsAbsoluteOn();
  cleaner->Update();
  mesh->ShallowCopy(cleaner->GetOutput());
  RemoveNotPolysCells(mesh);
}

const std::vector<Ids> kGrid = {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4},
                                {3, 4, 7}, {3, 7, 6}, {4, 5, 8}, {4, 8, 7}};

std::vector<Ids> Grid(std::vector<Ids> extra = {}) {
  extra.insert(extra.begin(), kGrid.begin(), kGrid.end());
  return extra;
}

struct Case {
  const char* name;
  bool alreadyClean;  // whether the filter's result is made without it
  std::vector<Ids> cells;
  std::vector<double> extraXyz;  // point 9 onwards
  bool arrays = false;           // colours, normals and a scale array
  int pointType = VTK_FLOAT;
  bool vertexCell = false;
};

// A 3 x 3 grid of points (z = row * column / 4), numbered row by row (the filter numbers them
// by first use), plus `extraXyz`, with the arrays and cells the case asks for.
Mesh Make(const Case& c) {
  std::vector<double> xyz;
  for (int i = 0; i < 9; ++i)
    xyz.insert(xyz.end(), {0.5 * (i % 3), 0.25 * (i / 3), 0.25 * (i / 3) * (i % 3)});
  xyz.insert(xyz.end(), c.extraXyz.begin(), c.extraXyz.end());
  Mesh mesh = MeshOf(xyz, c.cells, c.pointType);
  if (c.vertexCell) mesh->SetVerts(CellsOf({{8}}));
  if (!c.arrays) return mesh;
  vtkNew<vtkUnsignedCharArray> rgb;
  vtkNew<vtkFloatArray> normals;
  vtkNew<vtkDoubleArray> scale;
  rgb->SetName("RGB");
  normals->SetName("Normals");
  scale->SetName("Scale");
  rgb->SetNumberOfComponents(3);
  normals->SetNumberOfComponents(3);
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    rgb->InsertNextTuple3(10 * i, 255 - i, 7);
    normals->InsertNextTuple3(0, 0.6 * (i % 2), 0.8);
    scale->InsertNextValue(0.5 + i);
  }
  mesh->GetPointData()->SetScalars(rgb);
  mesh->GetPointData()->SetNormals(normals);
  mesh->GetPointData()->AddArray(scale);
  return mesh;
}

const std::vector<double> kCopyOfPoint4 = {0.5, 0.25, 0.25};

const Case kCases[] = {
    // clang-format off
    {"clean_float", true, Grid(), {}},
    {"clean_double", true, Grid(), {}, false, VTK_DOUBLE},
    {"clean_quads", true, {{0, 1, 4, 3}, {1, 2, 5, 4}, {3, 4, 7, 6}, {4, 5, 8, 7}}, {}},
    {"clean_with_arrays", true, Grid(), {}, true},
    {"clean_with_vertex_cell", true, Grid(), {}, false, VTK_FLOAT, true},
    {"duplicate_point", true, Grid({{1, 5, 9}}), kCopyOfPoint4, true},
    {"duplicate_point_double", true, Grid({{8, 9, 5}}), kCopyOfPoint4, false, VTK_DOUBLE},
    {"negative_zero_copy", true, Grid({{1, 9, 4}}), {0.5, -0.0, -0.0}},
    {"unused_point", true, Grid(), {7, 7, 7}, true},
    {"unused_point_in_the_middle", true, {{0, 1, 4}, {0, 4, 3}, {4, 5, 8}, {4, 8, 7}}, {}},
    {"collapsed_triangle_in_the_middle", true, {{0, 1, 4}, {2, 5, 2}, {1, 2, 5}, {4, 5, 8}}, {}},
    // clang-format on
};

class CleanSkip : public testing::TestWithParam<Case> {};

// A clean mesh is renumbered like the filter does, and the filter's own result (numbered by
// first use) is clean and left as it is.
TEST_P(CleanSkip, EqualsTheFilter) {
  const Case& c = GetParam();
  Mesh expected = Make(c);
  CleanWithFilter(expected);
  Mesh actual = Make(c);
  RemoveNotPolysCells(actual);
  EXPECT_EQ(CleanWithoutFilter(actual), c.alreadyClean);
  RemoveNotPolysCells(actual);  // collapsed triangles became lines
  if (c.alreadyClean) {
    SCOPED_TRACE("without the filter");
    ExpectSameMesh(expected, actual);
  }
  actual = Make(c);
  CleanPolyData(actual, true, 0.0, true);
  ExpectSameMesh(expected, actual);
  Mesh again = Mesh::New();
  again->DeepCopy(expected);
  EXPECT_TRUE(CleanWithoutFilter(again));
  ExpectSameMesh(expected, again);
}

INSTANTIATE_TEST_SUITE_P(Meshes, CleanSkip, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(CleanSkip, NeverForEmptyOrPointlessMeshes) {
  EXPECT_FALSE(CleanWithoutFilter(nullptr));
  EXPECT_FALSE(CleanWithoutFilter(Mesh::New()));
  EXPECT_FALSE(CleanWithoutFilter(Make({"no cells", false, {}, {}})));
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
  EXPECT_EQ(mesh->GetCell(1)->GetPointId(1), 3);  // the random-access map follows the change
  auto* kept = vtkIntArray::SafeDownCast(mesh->GetCellData()->GetArray(0));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(std::vector<int>(kept->Begin(), kept->End()), (std::vector<int>{30, 40}));
}

}  // namespace
