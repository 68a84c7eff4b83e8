// The cleaning filter is skipped for meshes that are already clean: for every mesh here the
// result must equal what vtkCleanPolyData makes of it, points bit for bit, cells and arrays.

#include <gtest/gtest.h>
#include <vtkCellData.h>
#include <vtkCleanPolyData.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include <string>

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

// A 3 x 3 grid of points (z = row * column / 4) plus `extraXyz`. With `firstUseOrder` the
// points are renumbered, as the filter does, by their first use (unused ones last), so a clean
// mesh stays what the filter makes.
Mesh MakeMesh(int pointType, std::vector<Ids> cells, std::vector<double> extraXyz = {},
              bool firstUseOrder = true) {
  std::vector<double> xyz;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) xyz.insert(xyz.end(), {0.5 * c, 0.25 * r, 0.25 * r * c});
  xyz.insert(xyz.end(), extraXyz.begin(), extraXyz.end());
  const size_t count = xyz.size() / 3;
  Ids order;  // old ids in their new order
  if (firstUseOrder)
    for (auto& ids : cells)
      for (vtkIdType id : ids)
        if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
  for (vtkIdType id = 0; id < vtkIdType(count); ++id)
    if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
  Ids newId(count);
  std::vector<double> ordered;
  for (size_t k = 0; k < count; ++k) {
    newId[order[k]] = vtkIdType(k);
    ordered.insert(ordered.end(), &xyz[3 * order[k]], &xyz[3 * order[k]] + 3);
  }
  for (auto& ids : cells)
    for (vtkIdType& id : ids) id = newId[id];
  return MeshOf(ordered, cells, pointType);
}

void AddColours(vtkPolyData* mesh) {
  vtkNew<vtkUnsignedCharArray> rgb;
  rgb->SetName("RGB");
  rgb->SetNumberOfComponents(3);
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i)
    rgb->InsertNextTuple3(10 * i, 255 - i, 7);
  mesh->GetPointData()->SetScalars(rgb);
}

void AddNormalsAndScale(vtkPolyData* mesh) {
  vtkNew<vtkFloatArray> normals;
  normals->SetName("Normals");
  normals->SetNumberOfComponents(3);
  vtkNew<vtkDoubleArray> scale;
  scale->SetName("Scale");
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    normals->InsertNextTuple3(0, 0.6 * (i % 2), 0.8);
    scale->InsertNextValue(0.5 + i);
  }
  mesh->GetPointData()->SetNormals(normals);
  mesh->GetPointData()->AddArray(scale);
}

enum Extras { kNone = 0, kColours = 1, kNormalsAndScale = 2, kVertexCell = 4 };

std::vector<Ids> Grid(std::vector<Ids> extra = {}) {
  extra.insert(extra.begin(), kGrid.begin(), kGrid.end());
  return extra;
}

struct Case {
  const char* name;
  bool alreadyClean;  // whether the filter's result is made without it
  std::vector<Ids> cells;
  std::vector<double> extraXyz;  // point 9 onwards
  int extras = kNone;
  int pointType = VTK_FLOAT;
  bool firstUseOrder = true;
};

Mesh Make(const Case& c) {
  Mesh mesh = MakeMesh(c.pointType, c.cells, c.extraXyz, c.firstUseOrder);
  if (c.extras & kColours) AddColours(mesh);
  if (c.extras & kNormalsAndScale) AddNormalsAndScale(mesh);
  if (c.extras & kVertexCell) mesh->SetVerts(CellsOf({{8}}));
  return mesh;
}

const std::vector<double> kCopyOfPoint4 = {0.5, 0.25, 0.25};

const Case kCases[] = {
    {"clean_float", true, Grid(), {}},
    {"clean_double", true, Grid(), {}, kNone, VTK_DOUBLE},
    {"clean_quads", true, {{0, 1, 4, 3}, {1, 2, 5, 4}, {3, 4, 7, 6}, {4, 5, 8, 7}}, {}},
    {"clean_with_colours", true, Grid(), {}, kColours},
    {"clean_with_normals_and_scale", true, Grid(), {}, kNormalsAndScale},
    {"duplicate_point", true, Grid({{1, 5, 9}}), kCopyOfPoint4, kColours},
    {"negative_zero_copy", true, Grid({{1, 9, 4}}), {0.5, -0.0, -0.0}},
    {"unused_point", true, Grid(), {7, 7, 7}, kNormalsAndScale},
    {"unused_point_in_the_middle", true, {{0, 1, 4}, {0, 4, 3}, {4, 5, 8}, {4, 8, 7}}, {}},
    {"collapsed_triangle_in_the_middle", true, {{0, 1, 4}, {2, 5, 2}, {1, 2, 5}, {4, 5, 8}}, {}},
    {"points_used_out_of_order", true, Grid(), {}, kColours | kNormalsAndScale, VTK_FLOAT, false},
    {"out_of_order_with_duplicate", true, Grid({{8, 9, 5}}), kCopyOfPoint4, kNone, VTK_DOUBLE,
     false},
    {"with_vertex_cell", true, Grid(), {}, kVertexCell},
};

class CleanSkip : public testing::TestWithParam<Case> {};

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
}

INSTANTIATE_TEST_SUITE_P(Meshes, CleanSkip, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(CleanSkip, NeverForEmptyOrPointlessMeshes) {
  EXPECT_FALSE(CleanWithoutFilter(nullptr));
  EXPECT_FALSE(CleanWithoutFilter(Mesh::New()));
  EXPECT_FALSE(CleanWithoutFilter(MakeMesh(VTK_FLOAT, {})));
}

}  // namespace
