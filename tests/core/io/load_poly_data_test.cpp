// Extension dispatch, the library-reader loaders and output directory creation.

#include "core/io/load_poly_data.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include <cmath>
#include <string>

#include "core/io/create_parent_directory.h"
#include "core/io/library_readers.h"
#include "io_test_support.h"
#include "sample_meshes.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;
using Ostrel::Core::Impl::CreateParentDirectory;
using Ostrel::Core::Impl::LoadPolyData;

namespace {

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

TEST(LoadPolyData, ChoosesReaderByCaseInsensitiveExtensionAndKeepsPath) {
  ardentis_test::TempDir dir;
  const struct {
    const char* name;
    std::string content;
  } files[] = {{"Bunny.PLY", AsciiPly()},
               {"Scene.Vtk", LegacyVtk()},
               {"m.Obj", ObjMesh()},
               {"m.OFF", OffMesh()},
               {"head.vert", VertFile()},
               {"head.TRI", TriFile()},
               {"scans.old/m.ply", BinaryPly()}};
  dir.write("head.tri", TriFile());
  for (const auto& file : files) {
    const std::string path = dir.write(file.name, file.content);
    Mesh mesh = Own(LoadPolyData(path.c_str()));
    ASSERT_TRUE(mesh) << file.name;
    EXPECT_EQ(mesh->GetNumberOfPoints(), 4) << file.name;
  }
}

TEST(LoadPolyData, UnsupportedExtensionsPrintTwoLinesAndGiveNull) {
  for (const char* path : {"scans.old/mesh", "a.ply.gz", "mesh.", "mesh.plyx", "no_dot_at_all"}) {
    vtkPolyData* mesh = reinterpret_cast<vtkPolyData*>(1);
    const std::string out = StdoutOf([&] { mesh = LoadPolyData(path); });
    EXPECT_EQ(mesh, nullptr) << path;
    EXPECT_EQ(out, "\nERROR LoadPolyData: " + std::string(path) + "\nType not supported.\n");
  }
}

TEST(LibraryReaders, PlyKeepsColoursAndPolygonsInBothForms) {
  ardentis_test::TempDir dir;
  for (const std::string& content : {AsciiPly(), BinaryPly(), BigEndianPly()}) {
    Mesh mesh = Own(LoadPly(dir.write("m.ply", content).c_str()));
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->GetNumberOfPolys(), 2);
    EXPECT_EQ(PolygonIds(mesh, 1), (std::vector<vtkIdType>{0, 1, 3, 2}));
    EXPECT_EQ(PointAt(mesh, 3), (std::vector<double>{1, 1, 0.5}));
    auto* rgb = vtkUnsignedCharArray::SafeDownCast(mesh->GetPointData()->GetScalars());
    ASSERT_NE(rgb, nullptr);
    EXPECT_STREQ(rgb->GetName(), "RGB");
    EXPECT_EQ(rgb->GetValue(9), 9);
    EXPECT_EQ(rgb->GetValue(11), 7);
  }
}

// VTK's readers report no error code for these; the loaders must not hand back an empty mesh.
TEST(LibraryReaders, MissingOrEmptyFilesGiveNullAndOneMessageOnStdout) {
  ardentis_test::TempDir dir;
  const std::string missing = dir.file("missing");
  const std::string empty = dir.write("empty", "");
  struct Case {
    vtkPolyData* (*loader)(const char*);
    std::string path;
    std::string expected;
  } cases[] = {
      {&LoadPly, missing + ".ply", "\nERROR LoadPly: CannotOpenFileError\n"},
      {&LoadPly, dir.path(), "\nERROR LoadPly: CannotOpenFileError\n"},
      {&LoadVtk, missing + ".vtk", "\nERROR LoadVtk: CannotOpenFileError\n"},
      {&LoadOBJ, missing + ".obj",
       "ERROR loading OBJ " + missing +
           ".obj\nerror Code: 20002, Description: " + "CannotOpenFileError\n"},
      {&LoadPly, empty,
       "\nERROR LoadPly: UnrecognizedFileTypeError: " + empty +
           ": not a PLY file (no 'ply' line)\n"},
  };
  for (const Case& c : cases) {
    vtkPolyData* mesh = nullptr;
    std::string err;
    const std::string out =
        StdoutOf([&] { err = StderrOf([&] { mesh = c.loader(c.path.c_str()); }); });
    EXPECT_EQ(mesh, nullptr) << c.path;
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(err, "") << "VTK's own output must stay off the console";
  }
}

TEST(LibraryReaders, DamagedPlyIsRejectedWithTheReason) {
  ardentis_test::TempDir dir;
  const std::string binary = BinaryPly();
  const std::string header =
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";
  const struct {
    std::string content;
    std::string reason;
  } cases[] = {
      {binary.substr(0, binary.size() - 1), "PrematureEndOfFileError"},
      {binary + "x", "1 bytes after the last element"},
      {header + "0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n", "refers to a vertex that does not exist"},
      {header + "0 0 0\n1 0 0\n0 1 0\n3 0 1\n", "'face' row 1 has too few values"},
      {header + "0 0 0\n1 0 0\n0 1 0\n-1 0 1 2\n", "bad list length"},
      {header + "0 0 0\n1 0 0\n0 1 0\n3 0 1 2", "PrematureEndOfFileError"},
      {"ply\nformat ascii 1.0\nelement vertex 2000000000\nproperty float x\nproperty float y\n"
       "property float z\nend_header\n0 0 0\n",
       "PrematureEndOfFileError"},
      {"ply\nformat ascii 1.0\nelement point 1\nproperty float x\nend_header\n0\n",
       "no vertex element"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write("bad.ply", c.content);
    vtkPolyData* mesh = nullptr;
    const std::string out = StdoutOf([&] { mesh = LoadPly(path.c_str()); });
    EXPECT_EQ(mesh, nullptr) << c.reason;
    EXPECT_NE(out.find("\nERROR LoadPly: "), std::string::npos) << out;
    EXPECT_NE(out.find(c.reason), std::string::npos) << out;
    EXPECT_NE(out.find(path), std::string::npos) << out;
  }
}

TEST(LibraryReaders, LegacyVtkWithDamagedCellsIsRejected) {
  ardentis_test::TempDir dir;
  const std::string head =
      "# vtk DataFile Version 3.0\nt\nASCII\nDATASET POLYDATA\nPOINTS 3 float\n0 0 0 1 0 0 0 1 0\n";
  for (const std::string cells : {"POLYGONS 1 4\n3 0 1 7\n", "POLYGONS 1 5\n3 0 1 2\n",
                                  "POLYGONS 2 8\n3 0 1 2\n", "POLYGONS 1 4\n3 0 x 2\n"}) {
    const std::string path = dir.write("bad.vtk", head + cells);
    vtkPolyData* mesh = nullptr;
    const std::string out = StdoutOf([&] { mesh = LoadVtk(path.c_str()); });
    EXPECT_EQ(mesh, nullptr) << cells;
    EXPECT_NE(out.find("\nERROR LoadVtk: FileFormatError: " + path), std::string::npos) << out;
  }
  Mesh mesh = Own(LoadVtk(dir.write("ok.vtk", head + "POLYGONS 1 4\n3 0 1 2\n").c_str()));
  ASSERT_TRUE(mesh);
  EXPECT_EQ(PolygonIds(mesh, 0), (std::vector<vtkIdType>{0, 1, 2}));
}

TEST(CreateParentDirectory, CreatesEveryMissingDirectoryButNotTheFile) {
  ardentis_test::TempDir dir;
  CreateParentDirectory((dir.path() + "/out/run1/table.csv").c_str());
  EXPECT_TRUE(IsDirectory(dir.file("out/run1")));
  EXPECT_FALSE(IsDirectory(dir.file("out/run1/table.csv")));
  CreateParentDirectory((dir.path() + "/out//x/sub/").c_str());
  EXPECT_TRUE(IsDirectory(dir.file("out/x/sub")));
  CreateParentDirectory("");
  CreateParentDirectory("table.csv");
}

namespace {

// A vertex without a finite position would make resolutions NaN and miscount every keypoint.
TEST(LoadPolyData, MeshesWithNonFiniteVerticesAreRefused) {
  ardentis_test::TempDir dir;
  const std::string plyHead =
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";
  const struct {
    const char* file;
    std::string content;
  } cases[] = {
      {"nan.ply", plyHead + "0 0 0\n1 0 0\nnan 1 0\n3 0 1 2\n"},
      {"overflow.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1e39 0\n3 0 1 2\n"},
      {"overflow.vert", "0 0 0 1 0 0 0 1 -1e39\n"},
      {"huge.obj", "v 0 0 0\nv 1 0 0\nv 0 1 1e39\nf 1 2 3\n"},
  };
  dir.write("overflow.tri", "1 2 3\n");
  for (const auto& c : cases) {
    const std::string path = dir.write(c.file, c.content);
    vtkPolyData* mesh = nullptr;
    const std::string out = StdoutOf([&] { mesh = LoadPolyData(path.c_str()); });
    if (mesh != nullptr) {
      // Readers that clamp out-of-range values to the largest float give finite points.
      double p[3];
      mesh->GetPoint(2, p);
      EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) << c.file;
      mesh->Delete();
      continue;
    }
    EXPECT_NE(out.find("\nERROR LoadPolyData: " + path +
                       "\nVertex 2 has a coordinate that is not a finite number.\n"),
              std::string::npos)
        << c.file << ": " << out;
  }
}

}  // namespace
