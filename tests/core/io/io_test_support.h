#pragma once
// Helpers for the mesh reader tests: owning loaded meshes, reading their cells, capturing
// what the readers print.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <functional>
#include <string>
#include <vector>

namespace ardentis_io_test {

using Mesh = vtkSmartPointer<vtkPolyData>;

// Takes over the reference a loader hands back (null stays null).
inline Mesh Own(vtkPolyData* loaded) {
  return Mesh::Take(loaded);
}

// True when every cell of every kind names only existing points.
bool CellIdsInRange(vtkPolyData* mesh);

std::vector<vtkIdType> PolygonIds(vtkPolyData* mesh, vtkIdType cell);
std::vector<double> PointAt(vtkPolyData* mesh, vtkIdType id);

// What `action` writes on standard output / standard error.
std::string StdoutOf(const std::function<void()>& action);
std::string StderrOf(const std::function<void()>& action);

}  // namespace ardentis_io_test
