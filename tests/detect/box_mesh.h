#pragma once
// Box-shaped test meshes with a known answer: flat faces, straight edges, eight corners.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <array>
#include <string>

namespace ardentis_detect_test {

// The surface of the box [0, sizes] + offset, vertices on the unit lattice, each unit square two
// triangles; vertices along edges appear once per face, as the cleaning finds them in scans.
// With `noise` > 0 each vertex moves by normal noise of that deviation (fixed seed), rounded to
// multiples of 1/32 so that coordinates, and quarter turns and integer shifts of them, are
// exact in float.
vtkSmartPointer<vtkPolyData> BoxMesh(const std::array<int, 3>& sizes,
                                     const std::array<double, 3>& offset = {0, 0, 0},
                                     double noise = 0.0);

// Writes `mesh` as PLY; false when the file cannot be written.
bool WritePly(vtkPolyData* mesh, const std::string& path);

}  // namespace ardentis_detect_test
