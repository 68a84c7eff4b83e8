// Extension dispatch, the library-reader loaders and output directory creation.

#include "core/io/load_poly_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "core/io/create_parent_directory.h"
#include "core/io/library_readers.h"
#include "io_test_support.h"
#include "sample_meshes.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;
using Ostrel::Core::Impl::LoadPolyData;

namespace {

const std::string kPlyHead3 =
    "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
    "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";

// Loads `path`; null and what the loader printed when it refuses.
std::string Refusal(vtkPolyData* (*loader)(const char*), const std::string& path) {
  vtkPolyData* mesh = nullptr;
  const std::string out = StdoutOf([&] { mesh = loader(path.c_str()); });
  EXPECT_EQ(mesh, nullptr) << path;
  if (mesh != nullptr) mesh->Delete();
  return out;
}

}  // namespace

TEST(LoadPolyData, ChoosesReaderByCaseInsensitiveExtension) {
  ardentis_test::TempDir dir;
  dir.write("head.tri", TriFile());
  const std::pair<const char*, std::string> files[] = {{"Bunny.PLY", AsciiPly()},
                                                       {"Scene.Vtk", LegacyVtk()},
                                                       {"m.Obj", ObjMesh()},
                                                       {"m.OFF", OffMesh()},
                                                       {"head.vert", VertFile()},
                                                       {"head.TRI", TriFile()},
                                                       {"scans.old/m.ply", BinaryPly()}};
  for (const auto& file : files) {
    Mesh mesh = Own(LoadPolyData(dir.write(file.first, file.second).c_str()));
    ASSERT_TRUE(mesh) << file.first;
    EXPECT_EQ(mesh->GetNumberOfPoints(), 4) << file.first;
  }
  for (const char* path : {"scans.old/mesh", "a.ply.gz", "mesh.", "mesh.plyx", "no_dot_at_all"}) {
    EXPECT_EQ(Refusal(LoadPolyData, path),
              "\nERROR LoadPolyData: " + std::string(path) + "\nType not supported.\n");
  }
}

// A vertex without a finite position would make resolutions NaN and miscount every keypoint.
TEST(LoadPolyData, MeshesWithNonFiniteVerticesAreRefused) {
  ardentis_test::TempDir dir;
  dir.write("overflow.tri", "1 2 3\n");
  const std::pair<const char*, std::string> cases[] = {
      {"nan.ply", kPlyHead3 + "0 0 0\n1 0 0\nnan 1 0\n3 0 1 2\n"},
      {"overflow.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1e39 0\n3 0 1 2\n"},
      {"overflow.vert", "0 0 0 1 0 0 0 1 -1e39\n"},
      {"huge.obj", "v 0 0 0\nv 1 0 0\nv 0 1 1e39\nf 1 2 3\n"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.first, c.second);
    vtkPolyData* mesh = nullptr;
    const std::string out = StdoutOf([&] { mesh = LoadPolyData(path.c_str()); });
    if (mesh != nullptr) {
      // Readers that clamp out-of-range values to the largest float give finite points.
      const std::vector<double> p = PointAt(mesh, 2);
      EXPECT_TRUE(std::isfinite(p[0] + p[1] + p[2])) << c.first;
      mesh->Delete();
      continue;
    }
    EXPECT_NE(out.find("ERROR LoadPolyData: " + path +
                       ": vertex 2 has a coordinate that is not a finite number\n"),
              std::string::npos)
        << c.first << ": " << out;
  }
}

// VTK's readers report no error code for these; the loaders must not hand back an empty mesh.
TEST(LibraryReaders, MissingOrEmptyFilesGiveNullAndOneMessageOnStdout) {
  ardentis_test::TempDir dir;
  const std::string missing = dir.file("missing");
  const std::string empty = dir.write("empty", "");
  const struct {
    vtkPolyData* (*loader)(const char*);
    std::string path;
    std::string expected;
  } cases[] = {
      {&LoadPly, missing + ".ply", "\nERROR LoadPly: CannotOpenFileError\n"},
      {&LoadPly, dir.path(), "\nERROR LoadPly: CannotOpenFileError\n"},
      {&LoadVtk, missing + ".vtk", "\nERROR LoadVtk: CannotOpenFileError\n"},
      {&LoadOBJ, missing + ".obj",
       "ERROR loading OBJ " + missing +
           ".obj\nerror Code: 20002, Description: CannotOpenFileError\n"},
      {&LoadPly, empty,
       "\nERROR LoadPly: UnrecognizedFileTypeError\nERROR LoadPly: " + empty +
           ": not a PLY file (no 'ply' line)\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(StderrOf([&] { out = Refusal(c.loader, c.path); }), "")
        << "VTK's own output must stay off the console";
    EXPECT_EQ(out, c.expected);
  }
}

TEST(LibraryReaders, DamagedPlyAndLegacyVtkAreRejectedWithTheReason) {
  ardentis_test::TempDir dir;
  const std::string binary = BinaryPly();
  const std::string vtkHead =
      "# vtk DataFile Version 3.0\nt\nASCII\nDATASET POLYDATA\nPOINTS 3 float\n0 0 0 1 0 0 0 1 0\n";
  const struct {
    const char* file;
    std::string content;
    std::string reason;
  } cases[] = {
      {"bad.ply", binary.substr(0, binary.size() - 1), "PrematureEndOfFileError"},
      {"bad.ply", binary + "x", "1 bytes after the last element"},
      {"bad.ply", kPlyHead3 + "0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n",
       "refers to a vertex that does not exist"},
      {"bad.ply", kPlyHead3 + "0 0 0\n1 0 0\n0 1 0\n3 0 1\n", "'face' row 1 has too few values"},
      {"bad.ply", kPlyHead3 + "0 0 0\n1 0 0\n0 1 0\n-1 0 1 2\n", "bad list length"},
      {"bad.ply", kPlyHead3 + "0 0 0\n1 0 0\n0 1 0\n3 0 1 2", "PrematureEndOfFileError"},
      {"bad.ply",
       "ply\nformat ascii 1.0\nelement vertex 2000000000\nproperty float x\nproperty float y\n"
       "property float z\nend_header\n0 0 0\n",
       "PrematureEndOfFileError"},
      {"bad.ply", "ply\nformat ascii 1.0\nelement point 1\nproperty float x\nend_header\n0\n",
       "no vertex element"},
      {"bad.vtk", vtkHead + "POLYGONS 1 4\n3 0 1 7\n", "FileFormatError"},
      {"bad.vtk", vtkHead + "POLYGONS 1 5\n3 0 1 2\n", "FileFormatError"},
      {"bad.vtk", vtkHead + "POLYGONS 2 8\n3 0 1 2\n", "FileFormatError"},
      {"bad.vtk", vtkHead + "POLYGONS 1 4\n3 0 x 2\n", "FileFormatError"},
      // A type word glued to a number hides the cells from the check; the reader then builds
      // a cell of -3 points, whose offsets run backwards.
      {"bad.vtk",
       "# vtk DataFile Version 3.0\nt\nASCII\nDATASET POLYDATA\nPOINTS 4 floatJ0 0 0\n01\n"
       "0 0 1 0\n1 1 0.0\nPOLYGONS 2 8\n-3 0 1 2\n3 1 3 2\n",
       "its cells are damaged"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.file, c.content);
    const bool ply = std::string(c.file) == "bad.ply";
    const std::string out = Refusal(ply ? LoadPly : LoadVtk, path);
    const std::string head = ply ? "\nERROR LoadPly: " : "\nERROR LoadVtk: FileFormatError\n";
    EXPECT_NE(out.find(head), std::string::npos) << out;
    EXPECT_NE(out.find(c.reason), std::string::npos) << out;
    EXPECT_NE(out.find(path), std::string::npos) << out;
  }
  Mesh mesh = Own(LoadVtk(dir.write("ok.vtk", vtkHead + "POLYGONS 1 4\n3 0 1 2\n").c_str()));
  ASSERT_TRUE(mesh);
  EXPECT_EQ(PolygonIds(mesh, 0), (std::vector<vtkIdType>{0, 1, 2}));
}

TEST(CreateParentDirectory, CreatesEveryMissingDirectoryButNotTheFile) {
  ardentis_test::TempDir dir;
  Ostrel::Core::Impl::CreateParentDirectory((dir.path() + "/out/run1/table.csv").c_str());
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("out/run1")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out/run1/table.csv")));
  Ostrel::Core::Impl::CreateParentDirectory((dir.path() + "/out//x/sub/").c_str());
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("out/x/sub")));
  Ostrel::Core::Impl::CreateParentDirectory("");
  Ostrel::Core::Impl::CreateParentDirectory("table.csv");
}

namespace {

// vtkPLYReader writes a raw warning on the error stream when the face list is called
// "vertex_index"; a valid file must load without noise.
TEST(LibraryReaders, PlyWithVertexIndexListLoadsQuietly) {
  ardentis_test::TempDir dir;
  const std::string path = dir.write(
      "vi.ply",
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\nelement face 1\nproperty list uchar int vertex_index\nend_header\n"
      "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  vtkPolyData* mesh = nullptr;
  const std::string err = StderrOf([&] { mesh = LoadPly(path.c_str()); });
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->GetNumberOfPolys(), 1);
  EXPECT_EQ(err, "");
  mesh->Delete();
}

}  // namespace
