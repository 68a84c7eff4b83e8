#include "sample_meshes.h"

#include <cstdint>
#include <cstring>

namespace ardentis_io_test {
namespace {

const float kVertices[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0.5f}};
const unsigned char kColours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 8, 7}};

template <class T>
void Append(std::string& out, T value, bool bigEndian) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  for (size_t i = 0; i < sizeof(T); ++i) out.push_back(bytes[bigEndian ? sizeof(T) - 1 - i : i]);
}

std::string PlyHeader(const char* format) {
  return std::string("ply\nformat ") + format +
         " 1.0\ncomment made by a test\nelement vertex 4\nproperty float x\nproperty float y\n"
         "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
         "element face 2\nproperty list uchar int vertex_indices\nend_header\n";
}

std::string BinaryPlyOf(bool bigEndian) {
  std::string out = PlyHeader(bigEndian ? "binary_big_endian" : "binary_little_endian");
  for (int i = 0; i < 4; ++i) {
    for (float v : kVertices[i]) Append(out, v, bigEndian);
    for (unsigned char c : kColours[i]) out.push_back(static_cast<char>(c));
  }
  out.push_back(3);
  for (std::int32_t id : {0, 1, 2}) Append(out, id, bigEndian);
  out.push_back(4);
  for (std::int32_t id : {0, 1, 3, 2}) Append(out, id, bigEndian);
  return out;
}

}  // namespace

std::string AsciiPly() {
  return PlyHeader("ascii") +
         "0 0 0 255 0 0\n1 0 0 0 255 0\n0 1 0 0 0 255\n1 1 0.5 9 8 7\n3 0 1 2\n4 0 1 3 2\n";
}

std::string BinaryPly() {
  return BinaryPlyOf(false);
}
std::string BigEndianPly() {
  return BinaryPlyOf(true);
}

std::string ObjMesh() {
  return "# test\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nvn 0 0 1\nf 1 2 3\nf 2 4 3\n";
}

std::string LegacyVtk() {
  return "# vtk DataFile Version 3.0\ntest\nASCII\nDATASET POLYDATA\nPOINTS 4 float\n"
         "0 0 0 1 0 0 0 1 0 1 1 0.5\nPOLYGONS 2 8\n3 0 1 2\n3 1 3 2\n";
}

std::string OffMesh() {
  return "OFF\n# comment\n4 2 0\n0 0 0\n1 0 0\n0 1 0\n1 1 0.5\n3 0 1 2\n4 0 1 3 2\n";
}

std::string VertFile() {
  return "0 0 0\n1 0 0\n0 1 0\n1 1 0.5\n";
}
std::string TriFile() {
  return "1 2 3\n2 4 3\n";
}

std::string OrganisedPcd() {
  return "# .PCD v0.7\nVERSION 0.7\nFIELDS x y z rgb\nSIZE 4 4 4 4\nTYPE F F F F\nCOUNT 1 1 1 1\n"
         "WIDTH 3\nHEIGHT 2\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS 6\nDATA ascii\n"
         "0 0 1 2.34639693e-38\n1 0 1 1.18010406e-38\nnan nan nan 0\n"
         "0 1 1 2.34639693e-38\n1 1 1 2.34639693e-38\n2 1 1 2.34639693e-38\n";
}

}  // namespace ardentis_io_test
