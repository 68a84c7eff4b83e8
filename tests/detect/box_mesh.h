#pragma once
// Box-shaped test meshes with a known answer: flat faces, straight edges, eight corners.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <array>
#include <string>

namespace ardentis_detect_test {

// The surface of the box [0, sizes] with vertices on the integer lattice (unit spacing) and
// each unit square split in two triangles, shifted by `offset`; the vertices along edges
// appear once per face, as the cleaning finds them in scanned meshes.
vtkSmartPointer<vtkPolyData> BoxMesh(const std::array<int, 3>& sizes,
                                     const std::array<double, 3>& offset = {0, 0, 0});

// Writes `mesh` as PLY; false when the file cannot be written.
bool WritePly(vtkPolyData* mesh, const std::string& path);

}  // namespace ardentis_detect_test
