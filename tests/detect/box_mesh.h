#pragma once
// Box-shaped test meshes with a known answer: flat faces, straight edges, eight corners.

#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <array>
#include <cmath>
#include <random>

namespace ardentis_detect_test {

// The surface of the box [0, sizes] + offset, vertices on the unit lattice, each unit square two
// triangles; vertices along edges appear once per face, as the cleaning finds them in scans.
// With `noise` > 0 each vertex moves by normal noise of that deviation (fixed seed), rounded to
// multiples of 1/32: coordinates, their quarter turns and integer shifts stay exact in float.
inline vtkSmartPointer<vtkPolyData> BoxMesh(const std::array<int, 3>& sizes,
                                            const std::array<double, 3>& offset = {0, 0, 0},
                                            double noise = 0.0) {
  auto points = vtkSmartPointer<vtkPoints>::New();
  auto triangles = vtkSmartPointer<vtkCellArray>::New();
  std::mt19937 random(11);
  std::normal_distribution<double> move(0.0, noise > 0 ? noise : 1.0);
  for (int face = 0; face < 6; ++face) {  // face / 2: the axis it is normal to
    const int normal = face / 2, u = (normal + 1) % 3, v = (normal + 2) % 3;
    const vtkIdType first = points->GetNumberOfPoints(), row = sizes[u] + 1;
    for (int j = 0; j <= sizes[v]; ++j) {
      for (int i = 0; i <= sizes[u]; ++i) {
        double p[3];
        p[normal] = (face % 2) * sizes[normal];
        p[u] = i;
        p[v] = j;
        for (int a = 0; a < 3; ++a)
          p[a] += offset[a] + (noise > 0 ? std::round(move(random) * 32) / 32 : 0);
        points->InsertNextPoint(p);
        if (i == sizes[u] || j == sizes[v]) continue;
        const vtkIdType a = first + j * row + i;
        const vtkIdType lower[3] = {a, a + 1, a + row + 1}, upper[3] = {a, a + row + 1, a + row};
        triangles->InsertNextCell(3, lower);
        triangles->InsertNextCell(3, upper);
      }
    }
  }
  auto mesh = vtkSmartPointer<vtkPolyData>::New();
  mesh->SetPoints(points);
  mesh->SetPolys(triangles);
  return mesh;
}

}  // namespace ardentis_detect_test
