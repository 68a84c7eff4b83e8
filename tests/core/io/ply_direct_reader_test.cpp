// The direct binary PLY reader and vtkPLYReader must build the same mesh from the same file:
// each case is written as binary little endian and read directly, through LoadPly, and by
// vtkPLYReader itself; the three meshes must be the same, array bytes included.

#include "core/io/ply_direct_reader.h"

#include <gtest/gtest.h>
#include <vtkPLYReader.h>

#include <string>

#include "../test_meshes.h"
#include "core/io/library_readers.h"
#include "support/ply_file.h"
#include "support/temp_dir.h"

using ardentis_core_test::ExpectSameMesh;
using ardentis_core_test::Mesh;
using ardentis_test::PlyMesh;
using Ostrel::Core::Impl::ReadSimpleBinaryPly;

namespace {

// Five vertices (0.1 is one coordinate a float does not hold exactly) with the given vertex
// properties, and triangles, quadrilaterals, an empty face element or none.
PlyMesh Layout(bool doubles, bool normals, int colours, int faces = 3) {
  PlyMesh mesh{{{0, 0, 0}, {1, 0, 0.1}, {1, 1, -2.5}, {0, 1, 1e-3}, {2, 0.5, 3}},
               {{0, 1, 2}, {0, 2, 3}, {4, 3, 2}},
               doubles,
               normals,
               colours,
               faces >= 0};
  if (faces == 4) mesh.faces = {{0, 1, 2, 3}, {1, 4, 3, 2}};
  if (faces <= 0) mesh.faces.clear();
  return mesh;
}

struct Case {
  const char* name;
  PlyMesh mesh;
};

const Case kCases[] = {
    {"float_triangles", Layout(false, false, 0)},
    {"colours", Layout(false, false, 3)},
    {"colours_with_alpha", Layout(false, false, 4)},
    {"normals", Layout(false, true, 0)},
    {"normals_and_colours_quads", Layout(false, true, 3, 4)},
    {"double_coordinates", Layout(true, false, 3)},
    {"vertex_only", Layout(false, false, 3, -1)},
    {"no_faces", Layout(false, true, 0, 0)},
};

class BothRoads : public testing::TestWithParam<Case> {};

TEST_P(BothRoads, BuildTheSameMesh) {
  ardentis_test::TempDir dir;
  const std::string binary =
      dir.write("binary.ply", ardentis_test::plyFile(GetParam().mesh, "binary_little_endian"));
  vtkNew<vtkPLYReader> reader;
  reader->SetFileName(binary.c_str());
  reader->Update();
  Mesh direct = Mesh::Take(ReadSimpleBinaryPly(binary.c_str()));
  ASSERT_NE(direct, nullptr) << "the binary file should take the direct road";
  {
    SCOPED_TRACE("direct reader");
    ExpectSameMesh(reader->GetOutput(), direct);
  }
  SCOPED_TRACE("LoadPly");
  ExpectSameMesh(reader->GetOutput(), Mesh::Take(LoadPly(binary.c_str())));
}

INSTANTIATE_TEST_SUITE_P(Layouts, BothRoads, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Files the direct reader must hand to the general road (which reports damage itself).
TEST(DirectPlyReader, LeavesOtherLayoutsAndDamageToTheGeneralRoad) {
  ardentis_test::TempDir dir;
  const std::string good = ardentis_test::plyFile(Layout(false, false, 0), "binary_little_endian");
  const size_t body = good.find("end_header\n") + 11;
  std::string badId = good;
  badId[badId.size() - 4] = 9;  // last id of the last face: vertex 9 of 5
  std::string twoIds = good;
  twoIds[body + 5 * 12] = 2;  // first face claims two ids
  const std::string files[] = {
      good.substr(0, good.size() - 1),
      badId,
      twoIds,
      ardentis_test::plyFile(Layout(false, false, 0), "binary_big_endian"),
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
