// LoadPolyData and every reader behind it: the layouts they accept, one report naming the file
// and the problem for every file they refuse, and no crash on damaged files.

#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include "../test_meshes.h"
#include "core/io/library_readers.h"
#include "core/io/load_off.h"
#include "core/io/load_pcd.h"
#include "core/io/load_poly_data.h"
#include "core/io/load_vert_tri.h"
#include "support/ply_file.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace ardentis_core_test;
using Ostrel::Core::Impl::LoadPolyData;

namespace {

// Four vertices, a triangle (0 1 2) and a quadrilateral (0 1 3 2), coloured in PLY files.
std::string SquarePly(const std::string& format = "ascii") {
  return ardentis_test::plyFile(
      {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0.5}}, {{0, 1, 2}, {0, 1, 3, 2}}, false, false, 3},
      format);
}
const std::string kObj =
    "# test\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nvn 0 0 1\nf 1 2 3\nf 2 4 3\n";
const std::string kVtk =
    "# vtk DataFile Version 3.0\ntest\nASCII\nDATASET POLYDATA\nPOINTS 4 float\n"
    "0 0 0 1 0 0 0 1 0 1 1 0.5\nPOLYGONS 2 8\n3 0 1 2\n3 1 3 2\n";
const std::string kOff =
    "OFF\n# comment\n4 2 0\n0 0 0\n1 0 0\n0 1 0\n1 1 0.5\n3 0 1 2\n4 0 1 3 2\n";
const std::string kVert = "0 0 0\n1 0 0\n0 1 0\n1 1 0.5\n";
const std::string kTri = "1 2 3\n2 4 3\n";
// Organised 3 x 2 cloud with colour and one nan entry.
const std::string kPcd =
    "# .PCD v0.7\nVERSION 0.7\nFIELDS x y z rgb\nSIZE 4 4 4 4\nTYPE F F F F\nCOUNT 1 1 1 1\n"
    "WIDTH 3\nHEIGHT 2\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS 6\nDATA ascii\n"
    "0 0 1 2.34639693e-38\n1 0 1 1.18010406e-38\nnan nan nan 0\n"
    "0 1 1 2.34639693e-38\n1 1 1 2.34639693e-38\n2 1 1 2.34639693e-38\n";

struct Loaded {
  Mesh mesh;
  std::string said;  // standard output then standard error
};

template <class Loader>
Loaded Load(Loader loader, const std::string& path) {
  Loaded loaded;
  const auto printed =
      ardentis_test::capture([&] { loaded.mesh = Mesh::Take(loader(path.c_str())); });
  loaded.said = printed.out + printed.err;
  return loaded;
}

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
      {none + ".vtk", "\nERROR LoadVtk: CannotOpenFileError\n"},
      {none + ".obj",
       "ERROR loading OBJ " + none + ".obj\nerror Code: 20002, Description: CannotOpenFileError\n"},
      {none + ".off", "Problems opening OFF file: No such file or directory\n"},
      {none + ".pcd", "Problems opening Pcd file: No such file or directory\n"},
      {none + ".tri", "file " + none + ".vert could not be opened\n"},
      {dir.file("n.vert"), "file " + dir.file("n.tri") + " could not be opened\n"},
  };
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
      {"bad.ply", ply3 + "nan 1 0\n3 0 1 2\n", "vertex 2 has a coordinate that is not a finite number"},
      {"bad.vtk", vtk + "POLYGONS 1 4\n3 0 1 7\n", "FileFormatError"},
      {"bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nvn 0 0 1\nf 1 2/3\nf 2 4 3\n", "damaged file"},
      {"bad.off", "", "file ends before its counts line"},
      {"bad.off", "OFF\n2000000000 0 0\n0 0 0\n", "declares more than the file can hold"},
      {"bad.off", "OFF\n-3 1 0\n", "negative counts"},
      {"bad.off", off + "3 0 1 3\n", "face 1 refers to vertex 3 of 3"},
      {"bad.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1e39 0\n3 0 1 2\n", "vertex 2 has a coordinate that is not a finite number"},
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

// Damaged copies of small valid files (every truncation, many garbled bytes) must load as
// null or as a mesh whose cells name existing points: never a crash, hang or memory fault.
TEST(DamageSweep, TruncatedAndGarbledFilesLoadAsNullOrSoundMesh) {
  const struct {
    const char* fileName;  // the file that is damaged
    std::string content;
    const char* companionName;  // the other file of a VERT/TRI pair
    std::string companion;
  } cases[] = {
      {"m.ply", SquarePly(), "", ""},
      {"m.ply", SquarePly("binary_little_endian"), "", ""},
      {"m.ply", SquarePly("binary_big_endian"), "", ""},
      {"m.obj", kObj, "", ""},
      {"m.vtk", kVtk, "", ""},
      {"m.off", kOff, "", ""},
      {"m.vert", kVert, "m.tri", kTri},
      {"m.tri", kTri, "m.vert", kVert},
      {"m.pcd", kPcd, "", ""},
  };
  // Replacement bytes that turn numbers into text, signs, separators and binary junk.
  const char kGarbage[] = {'x', '-', '9', ' ', '\n', '\xff', '\0'};
  for (const auto& c : cases) {
    ardentis_test::TempDir dir;
    if (*c.companionName) dir.write(c.companionName, c.companion);
    std::vector<std::string> damaged;
    for (size_t at = 0; at < c.content.size(); ++at) {
      damaged.push_back(c.content.substr(0, at));
      for (char garbage : kGarbage)
        damaged.push_back(std::string(c.content).replace(at, 1, 1, garbage));
    }
    damaged.push_back(c.content);
    for (size_t k = 0; k < damaged.size(); ++k) {
      Loaded loaded = Load(Ostrel::Core::Impl::LoadPolyData, dir.write(c.fileName, damaged[k]));
      if (k + 1 == damaged.size()) {
        ASSERT_TRUE(loaded.mesh) << c.fileName << " undamaged";
        EXPECT_GT(loaded.mesh->GetNumberOfCells(), 0) << c.fileName;
      } else if (loaded.mesh) {
        EXPECT_TRUE(CellIdsInRange(loaded.mesh)) << c.content << " damaged as case " << k;
      }
    }
  }
}

}  // namespace
