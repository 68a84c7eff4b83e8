#pragma once
// Small meshes built with VTK's own calls, and readers of what a mesh holds.

#include <vtkCellArray.h>
#include <vtkIdList.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
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
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataType(pointType);
  for (size_t i = 0; i + 2 < xyz.size(); i += 3) points->InsertNextPoint(&xyz[i]);
  auto mesh = Mesh::New();
  mesh->SetPoints(points);
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

inline Ids Sorted(vtkIdList* list) {
  Ids ids(list->begin(), list->end());
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace ardentis_core_test
