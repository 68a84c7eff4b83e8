// Extension dispatch and the loaders over VTK's readers.

#include "core/io/load_poly_data.h"

#include <gtest/gtest.h>

#include "core/io/library_readers.h"
#include "io_test.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;
using Ostrel::Core::Impl::LoadPolyData;

namespace {

const std::string kPlyHead3 =
    "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
    "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";

TEST(LoadPolyData, ChoosesReaderByCaseInsensitiveExtensionAndRefusesNonFiniteVertices) {
  ardentis_test::TempDir dir;
  dir.write("head.tri", kTri);
  const std::pair<const char*, std::string> files[] = {
      {"Bunny.PLY", SquarePly()},
      {"Scene.Vtk", kVtk},
      {"m.Obj", kObj},
      {"m.OFF", kOff},
      {"head.vert", kVert},
      {"head.TRI", kTri},
      {"c.Pcd", kPcd},
      {"scans.old/m.ply", SquarePly("binary_little_endian")}};
  for (const auto& file : files) {
    Loaded loaded = Load(LoadPolyData, dir.write(file.first, file.second));
    ASSERT_TRUE(loaded.mesh) << file.first << ": " << loaded.said;
    EXPECT_EQ(loaded.mesh->GetNumberOfPoints(), file.first[0] == 'c' ? 5 : 4) << file.first;
    EXPECT_EQ(loaded.said, "") << file.first;
  }
  for (const char* path : {"scans.old/mesh", "a.ply.gz", "mesh.", "mesh.plyx", "no_dot_at_all"}) {
    Loaded loaded = Load(LoadPolyData, path);
    EXPECT_FALSE(loaded.mesh);
    EXPECT_EQ(loaded.said,
              "\nERROR LoadPolyData: " + std::string(path) + "\nType not supported.\n");
  }
  // A vertex without a finite position would make resolutions NaN and miscount every keypoint.
  const std::pair<const char*, std::string> nonFinite[] = {
      {"nan.ply", kPlyHead3 + "0 0 0\n1 0 0\nnan 1 0\n3 0 1 2\n"},
      {"overflow.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1e39 0\n3 0 1 2\n"},
  };
  for (const auto& c : nonFinite) {
    const std::string path = dir.write(c.first, c.second);
    Loaded loaded = Load(LoadPolyData, path);
    EXPECT_FALSE(loaded.mesh) << c.first;
    EXPECT_NE(loaded.said.find(path), std::string::npos) << loaded.said;
    EXPECT_NE(loaded.said.find("Vertex 2 "), std::string::npos) << loaded.said;
  }
}

// Missing and empty files (VTK's readers report no error code for some) and damage that makes
// VTK's readers build broken meshes or crash: null and one report naming the file and problem.
TEST(LibraryReaders, MissingEmptyAndDamagedFilesAreRefusedWithTheReason) {
  ardentis_test::TempDir dir;
  const std::string missing = dir.file("missing");
  const auto exact = [](Loaded loaded, const std::string& expected) {
    EXPECT_FALSE(loaded.mesh);
    EXPECT_EQ(loaded.said, expected) << "VTK's own output must stay off the console";
  };
  exact(Load(LoadPly, missing + ".ply"), "\nERROR LoadPly: CannotOpenFileError\n");
  exact(Load(LoadPly, dir.path()), "\nERROR LoadPly: CannotOpenFileError\n");
  exact(Load(LoadVtk, missing + ".vtk"), "\nERROR LoadVtk: CannotOpenFileError\n");
  exact(Load(LoadOBJ, missing + ".obj"), "ERROR loading OBJ " + missing +
                                             ".obj\nerror Code: 20002, Description: "
                                             "CannotOpenFileError\n");
  const std::string binary = SquarePly("binary_little_endian");
  const std::string vtkHead =
      "# vtk DataFile Version 3.0\nt\nASCII\nDATASET POLYDATA\nPOINTS 3 float\n0 0 0 1 0 0 0 1 0\n";
  const struct {
    const char* file;
    std::string content;
    std::string reason;
  } cases[] = {
      {"bad.ply", "", "not a PLY file"},
      {"bad.ply", binary.substr(0, binary.size() - 1), "PrematureEndOfFileError"},
      {"bad.ply", kPlyHead3 + "0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n", "vertex that does not exist"},
      {"bad.ply",
       "ply\nformat ascii 1.0\nelement vertex 2000000000\nproperty float x\nproperty float y\n"
       "property float z\nend_header\n0 0 0\n",
       "PrematureEndOfFileError"},
      {"bad.ply", "ply\nformat ascii 1.0\nelement point 1\nproperty float x\nend_header\n0\n",
       "no vertex element"},
      {"bad.vtk", vtkHead + "POLYGONS 1 4\n3 0 1 7\n", "FileFormatError"},
      {"bad.vtk", vtkHead + "POLYGONS 1 4\n3 0 x 2\n", "FileFormatError"},
      // vtkOBJReader crashes on a face naming a missing texture coordinate.
      {"bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nvn 0 0 1\nf 1 2/3\nf 2 4 3\n",
       "damaged file"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.file, c.content);
    const char kind = c.file[4];
    Loaded loaded = Load(kind == 'p' ? LoadPly : kind == 'v' ? LoadVtk : LoadOBJ, path);
    EXPECT_FALSE(loaded.mesh) << c.content;
    EXPECT_NE(loaded.said.find(c.reason), std::string::npos) << loaded.said;
    EXPECT_NE(loaded.said.find(path), std::string::npos) << loaded.said;
  }
  Loaded ok = Load(LoadVtk, dir.write("ok.vtk", vtkHead + "POLYGONS 1 4\n3 0 1 2\n"));
  ASSERT_TRUE(ok.mesh);
  EXPECT_EQ(Flat(ok.mesh->GetPolys()), (Ids{3, 0, 1, 2}));
  // vtkPLYReader warns on its own about a face list called "vertex_index"; a valid file loads
  // without noise.
  std::string vertexIndex = kPlyHead3 + "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
  vertexIndex.replace(vertexIndex.find("vertex_indices"), 14, "vertex_index");
  ok = Load(LoadPly, dir.write("vi.ply", vertexIndex));
  ASSERT_TRUE(ok.mesh);
  EXPECT_EQ(ok.mesh->GetNumberOfPolys(), 1);
  EXPECT_EQ(ok.said, "");
}

}  // namespace
