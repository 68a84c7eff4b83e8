// LoadPolyData and every reader behind it: the layouts they accept, and one report naming the
// file and the problem for every file they refuse.

#include <gtest/gtest.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include "core/io/library_readers.h"
#include "core/io/load_off.h"
#include "core/io/load_pcd.h"
#include "core/io/load_poly_data.h"
#include "core/io/load_vert_tri.h"
#include "io_test.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;
using Ostrel::Core::Impl::LoadPolyData;

namespace {

const std::string kPlyHead3 =
    "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
    "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";

// Extensions in any case; comments, blank and indented lines, extra columns; polygons as
// written; the organised PCD cloud with its nan entry dropped and its colours decoded.
TEST(Readers, LoadPolyDataReadsEveryFormat) {
  ardentis_test::TempDir dir;
  dir.write("head.tri", kTri);
  dir.write("m.tri", "1.0 2.0 3.0\n2 4 3.7 1");  // incomplete last triples are dropped
  const Ids square = {3, 0, 1, 2, 4, 0, 1, 3, 2}, triangles = {3, 0, 1, 2, 3, 1, 3, 2};
  const struct {
    const char* file;
    std::string content;
    Ids polygons;
  } files[] = {
      // clang-format off
      {"Bunny.PLY", SquarePly(), square},
      {"scans.old/m.ply", SquarePly("binary_little_endian"), square},
      // vtkPLYReader warns on its own about a face list called "vertex_index".
      {"vi.ply", std::string(SquarePly()).replace(SquarePly().find("indices"), 7, "index"), square},
      {"Scene.Vtk", kVtk, triangles},
      {"m.Obj", kObj, triangles},
      {"m.OFF", "OFF\n# c\n\n4 2 99\n0 0 0\n# note\n\n 9 9 9 indented after an empty line\n1 0 0 x\n"
                "\t0 1 0\n1 1 0.5\n3 0 1 2\n\n# between\n4 0 1 3 2 255 0 0", square},
      {"head.vert", kVert, triangles},
      {"m.TRI", "0\n0\n0\n1\n0\n0\n0\n1\n0\n1 1 0.5 5", {3, 0, 1, 2, 3, 1, 3, 2}},
      {"c.Pcd", kPcd, {3, 1, 0, 2, 3, 1, 2, 3, 3, 1, 3, 4}},
      // clang-format on
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.file);
    if (std::string(f.file) == "m.TRI") dir.write("m.vert", f.content);
    Loaded loaded = Load(LoadPolyData, dir.write(f.file, f.content));
    ASSERT_TRUE(loaded.mesh) << loaded.said;
    EXPECT_EQ(loaded.said, "");
    EXPECT_EQ(Flat(loaded.mesh->GetPolys()), f.polygons);
    EXPECT_EQ(loaded.mesh->GetNumberOfPoints(), f.file[0] == 'c' ? 5 : 4);
    EXPECT_EQ(loaded.mesh->GetPoint(2)[1], 1.0);
  }
  Loaded pcd = Load(LoadPolyData, dir.file("c.Pcd"));
  auto* rgb = vtkUnsignedCharArray::SafeDownCast(pcd.mesh->GetPointData()->GetScalars());
  ASSERT_NE(rgb, nullptr);
  EXPECT_STREQ(rgb->GetName(), "RGB");
  EXPECT_EQ(std::vector<int>(rgb->GetPointer(0), rgb->GetPointer(3 * 5)),
            (std::vector<int>{255, 128, 0, 128, 128, 128, 255, 128, 0, 255, 128, 0, 255, 128, 0}));
  for (const char* path : {"scans.old/mesh", "a.ply.gz", "mesh.", "mesh.plyx", "no_dot_at_all"}) {
    Loaded loaded = Load(LoadPolyData, path);
    EXPECT_FALSE(loaded.mesh);
    EXPECT_EQ(loaded.said,
              "\nERROR LoadPolyData: " + std::string(path) + "\nType not supported.\n");
  }
}

// Files that cannot be opened: the loader's fixed message, VTK's own output kept off the console.
TEST(Readers, MissingFilesGiveTheirMessage) {
  ardentis_test::TempDir dir;
  const std::string none = dir.file("none");
  dir.write("n.vert", "0 0 0");
  const std::pair<std::string, std::string> cases[] = {
      {none + ".ply", "\nERROR LoadPly: CannotOpenFileError\n"},
      {dir.path() + "/.ply", "\nERROR LoadPly: CannotOpenFileError\n"},
      {none + ".vtk", "\nERROR LoadVtk: CannotOpenFileError\n"},
      {none + ".obj",
       "ERROR loading OBJ " + none + ".obj\nerror Code: 20002, Description: CannotOpenFileError\n"},
      {none + ".off", "Problems opening OFF file: No such file or directory\n"},
      {none + ".pcd", "Problems opening Pcd file: No such file or directory\n"},
      {none + ".tri", "file " + none + ".vert could not be opened\n"},
      {dir.file("n.vert"), "file " + dir.file("n.tri") + " could not be opened\n"},
  };
  dir.write(".ply/x", "");  // a directory where the file should be
  for (const auto& [path, message] : cases) {
    Loaded loaded = Load(LoadPolyData, path);
    EXPECT_FALSE(loaded.mesh);
    EXPECT_EQ(loaded.said, message);
  }
}

// Damage that would make a reader build a broken mesh, read garbage or crash (vtkOBJReader on
// a face naming a missing texture coordinate); numbers that are not finite.
TEST(Readers, DamagedFilesAreRefusedNamingFileAndProblem) {
  ardentis_test::TempDir dir;
  dir.write("e.vert", "");
  const std::string binary = SquarePly("binary_little_endian"), ply3 = kPlyHead3 + "0 0 0\n1 0 0\n";
  const std::string off = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n",
                    pcd = "HEIGHT 1\nPOINTS 1\nDATA ascii\n";
  const std::string vtk =
      "# vtk DataFile Version 3.0\nt\nASCII\nDATASET POLYDATA\nPOINTS 3 float\n0 0 0 1 0 0 0 1 0\n";
  const struct {
    const char* file;
    std::string content;
    const char* problem;
  } cases[] = {
      // clang-format off
      {"bad.ply", "", "not a PLY file"},
      {"bad.ply", binary.substr(0, binary.size() - 1), "PrematureEndOfFileError"},
      {"bad.ply", ply3 + "0 1 0\n3 0 1 3\n", "vertex that does not exist"},
      {"bad.ply", "ply\nformat ascii 1.0\nelement point 1\nproperty float x\nend_header\n0\n", "no vertex element"},
      {"bad.ply", ply3 + "nan 1 0\n3 0 1 2\n", "Vertex 2 "},
      {"bad.vtk", vtk + "POLYGONS 1 4\n3 0 1 7\n", "FileFormatError"},
      {"bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nvn 0 0 1\nf 1 2/3\nf 2 4 3\n", "damaged file"},
      {"bad.off", "", "file ends before its counts line"},
      {"bad.off", "OFF\n2000000000 0 0\n0 0 0\n", "declares more than the file can hold"},
      {"bad.off", off + "3 0 1 3\n", "face 1 refers to vertex 3 of 3"},
      {"bad.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1e39 0\n3 0 1 2\n", "Vertex 2 "},
      {"e.tri", "0.5 0.5 0.5", "triangle 1 names vertex 0.5"},  // id 0 of no vertices
      {"bad.pcd", "WIDTH 1\nPOINTS 1\nDATA ascii\n1 2 3\n", "header has no HEIGHT line"},
      {"bad.pcd", "WIDTH 2\n" + pcd + "1 2 3\n4 5 6\n", "more valid entries than POINTS"},
      // clang-format on
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.file, c.content);
    Loaded loaded = Load(LoadPolyData, path);
    EXPECT_FALSE(loaded.mesh) << c.content;
    EXPECT_NE(loaded.said.find(path), std::string::npos) << loaded.said;
    EXPECT_NE(loaded.said.find(c.problem), std::string::npos) << loaded.said;
    EXPECT_LE(std::count(loaded.said.begin(), loaded.said.end(), '\n'), 3) << loaded.said;
  }
}

}  // namespace
