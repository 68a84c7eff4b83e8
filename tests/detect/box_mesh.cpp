#include "detect/box_mesh.h"

#include <vtkCellArray.h>
#include <vtkPLYWriter.h>
#include <vtkPoints.h>

namespace ardentis_detect_test {

namespace {

// One face: axis `normal` held at `level`, the two other axes spanning the box.
void addFace(const std::array<int, 3>& sizes, const std::array<double, 3>& offset, int normal,
             int level, vtkPoints* points, vtkCellArray* triangles) {
  const int u = (normal + 1) % 3, v = (normal + 2) % 3;
  const vtkIdType first = points->GetNumberOfPoints();
  for (int j = 0; j <= sizes[v]; ++j) {
    for (int i = 0; i <= sizes[u]; ++i) {
      double p[3];
      p[normal] = level + offset[normal];
      p[u] = i + offset[u];
      p[v] = j + offset[v];
      points->InsertNextPoint(p);
    }
  }
  const vtkIdType row = sizes[u] + 1;
  for (int j = 0; j < sizes[v]; ++j) {
    for (int i = 0; i < sizes[u]; ++i) {
      const vtkIdType a = first + j * row + i;
      const vtkIdType lower[3] = {a, a + 1, a + row + 1}, upper[3] = {a, a + row + 1, a + row};
      triangles->InsertNextCell(3, lower);
      triangles->InsertNextCell(3, upper);
    }
  }
}

}  // namespace

vtkSmartPointer<vtkPolyData> BoxMesh(const std::array<int, 3>& sizes,
                                     const std::array<double, 3>& offset) {
  auto points = vtkSmartPointer<vtkPoints>::New();
  auto triangles = vtkSmartPointer<vtkCellArray>::New();
  for (int axis = 0; axis < 3; ++axis) {
    addFace(sizes, offset, axis, 0, points, triangles);
    addFace(sizes, offset, axis, sizes[axis], points, triangles);
  }
  auto mesh = vtkSmartPointer<vtkPolyData>::New();
  mesh->SetPoints(points);
  mesh->SetPolys(triangles);
  return mesh;
}

bool WritePly(vtkPolyData* mesh, const std::string& path) {
  auto writer = vtkSmartPointer<vtkPLYWriter>::New();
  writer->SetFileName(path.c_str());
  writer->SetInputData(mesh);
  return writer->Write() == 1;
}

}  // namespace ardentis_detect_test
