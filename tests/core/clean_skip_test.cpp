// The cleaning filter is skipped for meshes that are already clean: for every mesh here the
// result must equal what vtkCleanPolyData makes of it, points bit for bit, cells and arrays.

#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCleanPolyData.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/clean_mesh_check.h"
#include "core/clean_poly_data.h"

using namespace Ostrel::Core::Impl;

namespace {

using Mesh = vtkSmartPointer<vtkPolyData>;

// The cleaning as done before the skip existed.
void CleanWithFilter(vtkPolyData* mesh) {
  RemoveNotPolysCells(mesh);
  auto cleaner = vtkSmartPointer<vtkCleanPolyData>::New();
  cleaner->SetInputData(mesh);
  cleaner->SetAbsoluteTolerance(0.0);
  cleaner->SetPointMerging(true);
  cleaner->ToleranceIsAbsoluteOn();
  cleaner->Update();
  mesh->ShallowCopy(cleaner->GetOutput());
  RemoveNotPolysCells(mesh);
}

// A 3 x 3 grid of points (z = row * column / 4) plus `extraXyz`, and polygons given as id
// lists over them. With `firstUseOrder` the points are renumbered, as the filter does, by their
// first use in the polygons (unused ones last), so a clean mesh stays what the filter makes.
Mesh MakeMesh(int pointType, std::vector<std::vector<vtkIdType>> cells,
              std::vector<double> extraXyz = {}, bool firstUseOrder = true) {
  std::vector<double> xyz;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) xyz.insert(xyz.end(), {0.5 * c, 0.25 * r, 0.25 * r * c});
  }
  xyz.insert(xyz.end(), extraXyz.begin(), extraXyz.end());
  const vtkIdType count = vtkIdType(xyz.size() / 3);
  std::vector<vtkIdType> order;  // old ids in their new order
  std::vector<bool> placed(count, !firstUseOrder);
  for (auto& ids : cells) {
    for (vtkIdType id : ids) {
      if (!placed[id]) order.push_back(id), placed[id] = true;
    }
  }
  for (vtkIdType id = 0; id < count; ++id) {
    if (!firstUseOrder || std::find(order.begin(), order.end(), id) == order.end()) {
      order.push_back(id);
    }
  }
  std::vector<vtkIdType> newId(count);
  for (vtkIdType k = 0; k < count; ++k) newId[order[k]] = k;

  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataType(pointType);
  for (vtkIdType old : order) points->InsertNextPoint(&xyz[3 * old]);
  auto polys = vtkSmartPointer<vtkCellArray>::New();
  for (auto& ids : cells) {
    for (vtkIdType& id : ids) id = newId[id];
    polys->InsertNextCell(vtkIdType(ids.size()), ids.data());
  }
  auto mesh = Mesh::New();
  mesh->SetPoints(points);
  mesh->SetPolys(polys);
  return mesh;
}

const std::vector<std::vector<vtkIdType>> kGrid = {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4},
                                                   {3, 4, 7}, {3, 7, 6}, {4, 5, 8}, {4, 8, 7}};

// The grid and one more polygon, which brings in the extra point 9.
std::vector<std::vector<vtkIdType>> WithCell(std::vector<vtkIdType> extra) {
  auto cells = kGrid;
  cells.push_back(extra);
  return cells;
}

void AddColours(vtkPolyData* mesh) {
  auto rgb = vtkSmartPointer<vtkUnsignedCharArray>::New();
  rgb->SetName("RGB");
  rgb->SetNumberOfComponents(3);
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    rgb->InsertNextTuple3(10 * i, 255 - i, 7);
  }
  mesh->GetPointData()->SetScalars(rgb);
}

void AddNormalsAndScale(vtkPolyData* mesh) {
  auto normals = vtkSmartPointer<vtkFloatArray>::New();
  normals->SetName("Normals");
  normals->SetNumberOfComponents(3);
  auto scale = vtkSmartPointer<vtkDoubleArray>::New();
  scale->SetName("Scale");
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    normals->InsertNextTuple3(0, 0.6 * (i % 2), 0.8);
    scale->InsertNextValue(0.5 + i);
  }
  mesh->GetPointData()->SetNormals(normals);
  mesh->GetPointData()->AddArray(scale);
}

std::string Bytes(vtkDataArray* array) {
  if (array == nullptr) return "none";
  const auto size = array->GetNumberOfValues() * array->GetDataTypeSize();
  return std::to_string(array->GetDataType()) + "/" +
         std::to_string(array->GetNumberOfComponents()) + ":" +
         std::string(static_cast<const char*>(array->GetVoidPointer(0)), size);
}

std::vector<vtkIdType> CellList(vtkCellArray* cells) {
  std::vector<vtkIdType> flat;
  vtkIdType count;
  const vtkIdType* ids;
  for (cells->InitTraversal(); cells->GetNextCell(count, ids);) {
    flat.push_back(count);
    flat.insert(flat.end(), ids, ids + count);
  }
  return flat;
}

void ExpectSameMesh(vtkPolyData* expected, vtkPolyData* actual) {
  EXPECT_EQ(Bytes(expected->GetPoints()->GetData()), Bytes(actual->GetPoints()->GetData()));
  EXPECT_EQ(CellList(expected->GetPolys()), CellList(actual->GetPolys()));
  EXPECT_EQ(actual->GetNumberOfCells(), actual->GetNumberOfPolys());
  EXPECT_EQ(expected->GetPolys()->IsStorage64Bit(), actual->GetPolys()->IsStorage64Bit());
  vtkPointData* want = expected->GetPointData();
  vtkPointData* got = actual->GetPointData();
  ASSERT_EQ(want->GetNumberOfArrays(), got->GetNumberOfArrays());
  for (int i = 0; i < want->GetNumberOfArrays(); ++i) {
    const char* name = want->GetArrayName(i);
    SCOPED_TRACE(name);
    EXPECT_EQ(Bytes(want->GetArray(name)), Bytes(got->GetArray(name)));
  }
  for (int attribute = 0; attribute < vtkDataSetAttributes::NUM_ATTRIBUTES; ++attribute) {
    SCOPED_TRACE(attribute);
    EXPECT_EQ(Bytes(want->GetAttribute(attribute)), Bytes(got->GetAttribute(attribute)));
  }
  EXPECT_EQ(expected->GetCellData()->GetNumberOfArrays(),
            actual->GetCellData()->GetNumberOfArrays());
}

struct Case {
  const char* name;
  bool alreadyClean;  // whether the filter's result is made without it
  Mesh (*make)();
};

const Case kCases[] = {
    {"clean_float", true, [] { return MakeMesh(VTK_FLOAT, kGrid); }},
    {"clean_double", true, [] { return MakeMesh(VTK_DOUBLE, kGrid); }},
    {"clean_quads", true,
     [] {
       return MakeMesh(VTK_FLOAT, {{0, 1, 4, 3}, {1, 2, 5, 4}, {3, 4, 7, 6}, {4, 5, 8, 7}});
     }},
    {"clean_with_colours", true,
     [] {
       Mesh m = MakeMesh(VTK_FLOAT, kGrid);
       AddColours(m);
       return m;
     }},
    {"clean_with_normals_and_scale", true,
     [] {
       Mesh m = MakeMesh(VTK_FLOAT, kGrid);
       AddNormalsAndScale(m);
       return m;
     }},
    // Point 9 repeats point 4's position.
    {"duplicate_point", false,
     [] {
       Mesh m = MakeMesh(VTK_FLOAT, WithCell({1, 5, 9}), {0.5, 0.25, 0.25});
       AddColours(m);
       return m;
     }},
    {"negative_zero_copy", false,
     [] {
       return MakeMesh(VTK_FLOAT, WithCell({1, 9, 4}), {0.5, -0.0, -0.0});
     }},
    {"unused_point", false,
     [] {
       Mesh m = MakeMesh(VTK_FLOAT, kGrid, {7, 7, 7});
       AddNormalsAndScale(m);
       return m;
     }},
    {"unused_point_in_the_middle", false,
     [] {
       return MakeMesh(VTK_FLOAT, {{0, 1, 4}, {0, 4, 3}, {4, 5, 8}, {4, 8, 7}, {3, 4, 7}});
     }},
    {"collapsed_triangle", false,
     [] {
       auto cells = kGrid;
       cells.insert(cells.begin() + 3, {2, 5, 2});
       return MakeMesh(VTK_FLOAT, cells);
     }},
    {"points_used_out_of_order", true,
     [] {
       Mesh m = MakeMesh(VTK_FLOAT, kGrid, {}, false);
       AddColours(m);
       AddNormalsAndScale(m);
       return m;
     }},
    {"out_of_order_with_duplicate", false,
     [] {
       auto cells = kGrid;
       cells.push_back({8, 9, 5});
       return MakeMesh(VTK_DOUBLE, cells, {0.5, 0.25, 0.25}, false);
     }},
    {"with_vertex_and_line_cells", true,
     [] {
       Mesh m = MakeMesh(VTK_FLOAT, kGrid);
       auto verts = vtkSmartPointer<vtkCellArray>::New();
       verts->InsertNextCell({vtkIdType(8)});
       m->SetVerts(verts);
       return m;
     }},
};

class CleanSkip : public testing::TestWithParam<Case> {};

TEST_P(CleanSkip, EqualsTheFilter) {
  const Case& c = GetParam();
  Mesh expected = c.make();
  CleanWithFilter(expected);

  Mesh actual = c.make();
  RemoveNotPolysCells(actual);
  EXPECT_EQ(CleanWithoutFilter(actual), c.alreadyClean);
  if (c.alreadyClean) {
    SCOPED_TRACE("without the filter");
    ExpectSameMesh(expected, actual);
  }
  actual = c.make();
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
