#pragma once
// Small meshes built with VTK's own calls, and readers of what a mesh holds.

#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkIdList.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <string>
#include <utility>
#include <vector>

namespace ardentis_core_test {

using Mesh = vtkSmartPointer<vtkPolyData>;
using Ids = std::vector<vtkIdType>;

inline vtkSmartPointer<vtkCellArray> CellsOf(const std::vector<Ids>& cells) {
  auto list = vtkSmartPointer<vtkCellArray>::New();
  for (const Ids& ids : cells) list->InsertNextCell(vtkIdType(ids.size()), ids.data());
  return list;
}

// Points from x y z triples; polygons given as id lists.
inline Mesh MeshOf(const std::vector<double>& xyz, const std::vector<Ids>& polygons = {},
                   int pointType = VTK_FLOAT) {
  auto mesh = Mesh::New();
  mesh->SetPoints(vtkSmartPointer<vtkPoints>::New());
  mesh->GetPoints()->SetDataType(pointType);
  for (size_t i = 0; i + 2 < xyz.size(); i += 3) mesh->GetPoints()->InsertNextPoint(&xyz[i]);
  mesh->SetPolys(CellsOf(polygons));
  return mesh;
}

// Every cell as its size followed by its ids.
inline Ids Flat(vtkCellArray* cells) {
  Ids flat;
  vtkIdType count;
  const vtkIdType* ids;
  for (cells->InitTraversal(); cells->GetNextCell(count, ids);) {
    flat.push_back(count);
    flat.insert(flat.end(), ids, ids + count);
  }
  return flat;
}

// The point ids of polygon `cell`.
inline Ids PolygonIds(vtkPolyData* mesh, vtkIdType cell) {
  vtkIdType count;
  const vtkIdType* ids;
  mesh->GetPolys()->GetCellAtId(cell, count, ids);
  return Ids(ids, ids + count);
}

// The coordinates of point `id`.
inline std::vector<double> PointAt(vtkPolyData* mesh, vtkIdType id) {
  const double* xyz = mesh->GetPoint(id);
  return {xyz[0], xyz[1], xyz[2]};
}

// Name, type, components and raw bytes of `array`.
inline std::string Describe(vtkDataArray* array) {
  if (array == nullptr) return "none";
  return std::string(array->GetName() ? array->GetName() : "(unnamed)") + " type " +
         std::to_string(array->GetDataType()) + " x" +
         std::to_string(array->GetNumberOfComponents()) + ":" +
         std::string(static_cast<const char*>(array->GetVoidPointer(0)),
                     array->GetNumberOfValues() * array->GetDataTypeSize());
}

// Same points bit for bit, same cells of every kind, same point and cell arrays and attributes.
inline void ExpectSameMesh(vtkPolyData* expected, vtkPolyData* actual) {
  ASSERT_NE(actual, nullptr);
  EXPECT_EQ(Describe(expected->GetPoints()->GetData()), Describe(actual->GetPoints()->GetData()));
  for (auto cells : {&vtkPolyData::GetVerts, &vtkPolyData::GetLines, &vtkPolyData::GetPolys,
                     &vtkPolyData::GetStrips})
    EXPECT_EQ(Flat((expected->*cells)()), Flat((actual->*cells)()));
  EXPECT_EQ(expected->GetPolys()->IsStorage64Bit(), actual->GetPolys()->IsStorage64Bit());
  const std::pair<vtkDataSetAttributes*, vtkDataSetAttributes*> sides[] = {
      {expected->GetPointData(), actual->GetPointData()},
      {expected->GetCellData(), actual->GetCellData()}};
  for (const auto& [want, got] : sides) {
    ASSERT_EQ(want->GetNumberOfArrays(), got->GetNumberOfArrays());
    for (int i = 0; i < want->GetNumberOfArrays(); ++i)
      EXPECT_EQ(Describe(want->GetArray(i)), Describe(got->GetArray(want->GetArrayName(i))));
    for (int attribute = 0; attribute < vtkDataSetAttributes::NUM_ATTRIBUTES; ++attribute)
      EXPECT_EQ(Describe(want->GetAttribute(attribute)), Describe(got->GetAttribute(attribute)));
  }
}

}  // namespace ardentis_core_test
