#include "support/ply_file.h"

#include <sstream>

namespace ardentis_test {

std::string plyFile(const PlyMesh& mesh, const std::string& format) {
  std::ostringstream out;
  const int endian = format == "ascii" ? 0 : format == "binary_big_endian" ? 2 : 1;
  out.precision(17);
  const auto put = [&](auto value, bool last = false) {
    const char* bytes = reinterpret_cast<const char*>(&value);
    if (endian == 0) out << +value << (last ? '\n' : ' ');
    for (size_t i = 0; endian != 0 && i < sizeof value; ++i)
      out.put(bytes[endian == 2 ? sizeof value - 1 - i : i]);
  };
  out << "ply\nformat " << format << " 1.0\ncomment written by a test\nelement vertex "
      << mesh.points.size() << "\n";
  for (const char* axis : {"x", "y", "z"})
    out << "property " << (mesh.doubles ? "double " : "float ") << axis << "\n";
  if (mesh.normals) out << "property float nx\nproperty float ny\nproperty float nz\n";
  const char* colours[] = {"red", "green", "blue", "alpha"};
  for (int k = 0; k < mesh.colours; ++k) out << "property uchar " << colours[k] << "\n";
  if (mesh.faceElement)
    out << "element face " << mesh.faces.size() << "\nproperty list uchar int vertex_indices\n";
  out << "end_header\n";
  for (size_t v = 0; v < mesh.points.size(); ++v) {
    for (double x : mesh.points[v]) mesh.doubles ? put(x) : put(float(x));
    if (mesh.normals)
      for (float n : {0.6f, 0.0f, 0.8f * v}) put(n);
    for (int k = 0; k < mesh.colours; ++k) put(static_cast<unsigned char>(40 * v + k));
    if (endian == 0) out << '\n';
  }
  for (const auto& face : mesh.faces) {
    put(static_cast<unsigned char>(face.size()));
    for (size_t k = 0; k < face.size(); ++k) put(face[k], k + 1 == face.size());
  }
  return out.str();
}

}  // namespace ardentis_test
