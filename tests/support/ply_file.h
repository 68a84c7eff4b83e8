#pragma once
// The one mesh writer of the tests: a PLY file, ascii or binary, of the layouts scanners and
// mesh tools write.

#include <array>
#include <string>
#include <vector>

namespace ardentis_test {

struct PlyMesh {
  std::vector<std::array<double, 3>> points;
  std::vector<std::vector<int>> faces;  // written as a uchar-counted list of int ids
  bool doubles = false;                 // double x y z instead of float
  bool normals = false;                 // float nx ny nz = 0.6, 0, 0.8 * vertex
  int colours = 0;                      // uchar red green blue [alpha] = 40 * vertex + k
  bool faceElement = true;              // false: no face element at all
};

// `format`: "ascii", "binary_little_endian" or "binary_big_endian".
std::string plyFile(const PlyMesh& mesh, const std::string& format = "ascii");

}  // namespace ardentis_test
