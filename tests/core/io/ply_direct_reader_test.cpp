// The direct binary PLY reader and vtkPLYReader must build the same mesh from the same file:
// each case is written as binary little endian and read directly, through LoadPly, and by
// vtkPLYReader itself; the three meshes must be the same, array bytes included.

#include "core/io/ply_direct_reader.h"

#include <gtest/gtest.h>
#include <vtkPLYReader.h>

#include <sstream>
#include <string>

#include "../test_meshes.h"
#include "core/io/library_readers.h"
#include "io_test_support.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;
using ardentis_core_test::ExpectSameMesh;
using Ostrel::Core::Impl::ReadSimpleBinaryPly;

namespace {

struct Case {
  const char* name;
  bool doubles;
  bool normals;
  int colourComponents;  // 0, 3 (red green blue) or 4 (with alpha)
  std::vector<std::vector<int>> faces;
  bool faceElement = true;
};

const std::vector<std::vector<int>> kTriangles = {{0, 1, 2}, {0, 2, 3}, {4, 3, 2}};
const std::vector<std::vector<int>> kQuads = {{0, 1, 2, 3}, {1, 4, 3, 2}};

const Case kCases[] = {
    {"float_triangles", false, false, 0, kTriangles},
    {"colours", false, false, 3, kTriangles},
    {"colours_with_alpha", false, false, 4, kTriangles},
    {"normals", false, true, 0, kTriangles},
    {"normals_and_colours_quads", false, true, 3, kQuads},
    {"double_coordinates", true, false, 3, kTriangles},
    {"vertex_only", false, false, 3, {}, false},
    {"no_faces", false, true, 0, {}},
};

// Coordinates that a float holds exactly and one that it does not (0.1).
const double kXyz[5][3] = {{0, 0, 0}, {1, 0, 0.1}, {1, 1, -2.5}, {0, 1, 1e-3}, {2, 0.5, 3}};

std::string Header(const Case& c, const char* format) {
  std::ostringstream h;
  h << "ply\nformat " << format << " 1.0\ncomment written by a test\nelement vertex 5\n";
  for (const char* axis : {"x", "y", "z"})
    h << "property " << (c.doubles ? "double " : "float ") << axis << "\n";
  if (c.normals) h << "property float nx\nproperty float ny\nproperty float nz\n";
  const char* colours[] = {"red", "green", "blue", "alpha"};
  for (int k = 0; k < c.colourComponents; ++k) h << "property uchar " << colours[k] << "\n";
  if (c.faceElement)
    h << "element face " << c.faces.size() << "\nproperty list uchar int vertex_indices\n";
  h << "end_header\n";
  return h.str();
}

template <class T>
void Append(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string Binary(const Case& c) {
  std::string out = Header(c, "binary_little_endian");
  for (int v = 0; v < 5; ++v) {
    for (double x : kXyz[v]) c.doubles ? Append(out, x) : Append(out, float(x));
    if (c.normals)
      for (float n : {0.6f, 0.0f, 0.8f * v}) Append(out, n);
    for (int k = 0; k < c.colourComponents; ++k)
      Append(out, static_cast<unsigned char>(40 * v + k));
  }
  for (const auto& face : c.faces) {
    Append(out, static_cast<unsigned char>(face.size()));
    for (int id : face) Append(out, std::int32_t(id));
  }
  return out;
}

class BothRoads : public testing::TestWithParam<Case> {};

TEST_P(BothRoads, BuildTheSameMesh) {
  ardentis_test::TempDir dir;
  const std::string binary = dir.write("binary.ply", Binary(GetParam()));
  vtkNew<vtkPLYReader> reader;
  reader->SetFileName(binary.c_str());
  reader->Update();
  Mesh direct = Own(ReadSimpleBinaryPly(binary.c_str()));
  ASSERT_NE(direct, nullptr) << "the binary file should take the direct road";
  {
    SCOPED_TRACE("direct reader");
    ExpectSameMesh(reader->GetOutput(), direct);
  }
  SCOPED_TRACE("LoadPly");
  ExpectSameMesh(reader->GetOutput(), Own(LoadPly(binary.c_str())));
}

INSTANTIATE_TEST_SUITE_P(Layouts, BothRoads, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Files the direct reader must hand to the general road (which reports damage itself).
TEST(DirectPlyReader, LeavesOtherLayoutsAndDamageToTheGeneralRoad) {
  ardentis_test::TempDir dir;
  const std::string good = Binary(kCases[0]);
  const std::string header = Header(kCases[0], "binary_little_endian");
  std::string badId = good;
  badId[badId.size() - 4] = 9;  // last id of the last face: vertex 9 of 5
  std::string twoIds = good;
  twoIds[header.size() + 5 * 12] = 2;  // first face claims two ids
  const std::string files[] = {
      good.substr(0, good.size() - 1),
      good + "x",
      badId,
      twoIds,
      Header(kCases[0], "binary_big_endian") + good.substr(header.size()),
      Header(kCases[0], "ascii") + good.substr(header.size()),
      std::string(good).replace(good.find("uchar int"), 9, "uchar short"),
      std::string(good).replace(good.find("end_header"), 0, "element edge 0\nproperty int v1\n"),
  };
  for (const std::string& content : files) {
    const std::string path = dir.write("other.ply", content);
    EXPECT_EQ(ReadSimpleBinaryPly(path.c_str()), nullptr) << content.substr(0, 120);
  }
  EXPECT_EQ(ReadSimpleBinaryPly(dir.file("missing.ply").c_str()), nullptr);
}

}  // namespace
