// The OFF, VERT/TRI and PCD readers: the layouts they accept and the damage they refuse.

#include <gtest/gtest.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <string>

#include "core/io/load_off.h"
#include "core/io/load_pcd.h"
#include "core/io/load_vert_tri.h"
#include "io_test.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;

namespace {

std::vector<double> PointAt(vtkPolyData* mesh, vtkIdType id) {
  const double* xyz = mesh->GetPoint(id);
  return {xyz[0], xyz[1], xyz[2]};
}

std::string PcdHeader(const std::string& fields, int width, int height, int points) {
  return "VERSION 0.7\n" + fields + "\nWIDTH " + std::to_string(width) + "\nHEIGHT " +
         std::to_string(height) + "\nPOINTS " + std::to_string(points) + "\nDATA ascii\n";
}

TEST(OwnReaders, OffAndVertTriLayouts) {
  ardentis_test::TempDir dir;
  Loaded off = Load(LoadOff, dir.write("m.off",
                                       "OFF\n# comment\n\n4 3 99\n0 0 0\n# note\n\n 9 9 9 skipped\n"
                                       "1 0 0 extra\n\t0 1 0\n1 1 1\n3 0 1 2\n\n# between\n"
                                       "4 0 1 3 2\n3 0 1 2 255 0 0"));
  ASSERT_TRUE(off.mesh);
  ASSERT_EQ(off.mesh->GetNumberOfPoints(), 4);
  EXPECT_EQ(PointAt(off.mesh, 2), (std::vector<double>{0, 1, 0}));
  EXPECT_EQ(Flat(off.mesh->GetPolys()), (Ids{3, 0, 1, 2, 4, 0, 1, 3, 2, 3, 0, 1, 2}));
  EXPECT_EQ(off.mesh->GetPointData()->GetNumberOfArrays(), 0);
  off = Load(LoadOff, dir.write("p.off", "OFF\n1 0 0\n1 2 3\n"));
  ASSERT_TRUE(off.mesh);
  EXPECT_EQ(off.mesh->GetNumberOfPoints(), 1);

  const std::pair<const char*, const char*> layouts[] = {
      {"0 0 0 1 0 0 0 1 0", "1 2 3"},
      {"0\n0\n0\n1\n0\n0\n0\n1\n0\n", "1.0 2.0 3.0\n"},
      {"0 0 0\n1 0 0\n0 1 0\n5", "1 2 3.7 1"},  // incomplete last triples are dropped
  };
  for (const auto& layout : layouts) {
    dir.write("m.vert", layout.first);
    dir.write("m.tri", layout.second);
    Loaded mesh = Load(LoadVertTri, dir.file("m"));
    ASSERT_TRUE(mesh.mesh) << layout.first;
    ASSERT_EQ(mesh.mesh->GetNumberOfPoints(), 3);
    EXPECT_EQ(PointAt(mesh.mesh, 2), (std::vector<double>{0, 1, 0}));
    EXPECT_EQ(Flat(mesh.mesh->GetPolys()), (Ids{3, 0, 1, 2}));
  }
}

TEST(OwnReaders, PcdColoursHeaderKeywordsAndInvalidEntries) {
  ardentis_test::TempDir dir;
  // The nan entry stores nothing: 5 points, and the arrays hold exactly those.
  Loaded mesh = Load(LoadPcd, dir.write("c.pcd", kPcd));
  ASSERT_TRUE(mesh.mesh);
  ASSERT_EQ(mesh.mesh->GetNumberOfPoints(), 5);
  auto* rgb = vtkUnsignedCharArray::SafeDownCast(mesh.mesh->GetPointData()->GetScalars());
  ASSERT_NE(rgb, nullptr);
  EXPECT_STREQ(rgb->GetName(), "RGB");
  ASSERT_EQ(rgb->GetNumberOfTuples(), 5);
  EXPECT_EQ(std::vector<int>(rgb->GetPointer(0), rgb->GetPointer(6)),
            (std::vector<int>{255, 128, 0, 128, 128, 128}));
  EXPECT_EQ(PointAt(mesh.mesh, 2), (std::vector<double>{0, 1, 1}));  // the entry after the nan
  EXPECT_EQ(Flat(mesh.mesh->GetPolys()), (Ids{3, 1, 0, 2, 3, 1, 2, 3, 3, 1, 3, 4}));

  const struct {
    std::string header;
    bool coloured;
  } headers[] = {
      {"# c\n\n   \nCOLUMNS x y z rgb\nWIDTHS  \t 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n", true},
      {"FIELDS x y z rgba\nWIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n", false},
      {"FIELDS x y z rgb\r\nWIDTH 1\r\nHEIGHT 1\r\nPOINTS 1\r\nDATA ascii\r\n", true},
  };
  for (const auto& c : headers) {
    const std::string content = c.header + (c.coloured ? "1 2 3 2.34639693e-38\n" : "1 2 3\n");
    Loaded one = Load(LoadPcd, dir.write("h.pcd", content));
    ASSERT_TRUE(one.mesh) << c.header;
    ASSERT_EQ(one.mesh->GetNumberOfPoints(), 1);
    EXPECT_EQ(one.mesh->GetPointData()->GetArray("RGB") != nullptr, c.coloured) << c.header;
  }
}

// Damaged files: null and one line naming the file and the problem.
TEST(OwnReaders, DamagedFilesAreRefusedWithOneLineNamingFileAndProblem) {
  ardentis_test::TempDir dir;
  dir.write("m.vert", "0 0 0 1 0 0 0 1 0");
  dir.write("e.vert", "");
  const std::string off = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n";
  const struct {
    const char* file;  // .off, .pcd, or the .tri of a VERT/TRI pair
    std::string content;
    const char* problem;
  } cases[] = {
      {"bad.off", "", "file ends before its counts line"},
      {"bad.off", "OFF\n-3 1 0\n", "negative counts"},
      {"bad.off", "OFF\n2000000000 0 0\n0 0 0\n", "declares more than the file can hold"},
      {"bad.off", "OFF\n3 1 0\n0 0 0\n1 x 0\n0 1 0\n3 0 1 2\n", "vertex 2 is not three numbers"},
      {"bad.off", off + "3 0 1 3\n", "face 1 refers to vertex 3 of 3"},
      {"bad.off", off + "3 0 1\n", "face 1 has fewer than 3 point ids"},
      {"m.tri", "0 1 2", "triangle 1 names vertex 0"},
      // Numbers between 0 and 1 truncate to id 0, which a file without vertices does not have.
      {"e.tri", "0.5 0.5 0.5", "triangle 1 names vertex 0.5"},
      {"bad.pcd", "WIDTH\nHEIGHT 1\nPOINTS 1\nDATA ascii\n1 2 3\n", "WIDTH line has no value"},
      {"bad.pcd", "WIDTH 1\nPOINTS 1\nDATA ascii\n1 2 3\n", "header has no HEIGHT line"},
      {"bad.pcd", "WIDTH abc\nHEIGHT 1\nPOINTS 1\nDATA ascii\n", "WIDTH value 'abc' is not a"},
      {"bad.pcd", "WIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA binary\nxyz", "DATA mode 'binary' is not"},
      {"bad.pcd", "WIDTH 20000\nHEIGHT 1000\nPOINTS 1\nDATA ascii\n1 2 3\n", "cannot fit in"},
      {"bad.pcd", PcdHeader("FIELDS x y z", 3, 1, 3) + "1 2 3\n4 5 6\n", "ends after 2 of 3"},
      {"bad.pcd", PcdHeader("FIELDS x y z", 2, 1, 1) + "1 2 3\n4 5 6\n", "more valid entries than"},
      {"bad.pcd", PcdHeader("FIELDS x y z rgb", 1, 1, 1) + "1 2 3 red\n", "colour value 'red'"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.file, c.content);
    const std::string kind = path.substr(path.size() - 3);
    Loaded loaded = kind == "off"   ? Load(LoadOff, path)
                    : kind == "pcd" ? Load(LoadPcd, path)
                                    : Load(LoadVertTri, path.substr(0, path.size() - 4));
    EXPECT_FALSE(loaded.mesh) << c.content;
    EXPECT_NE(loaded.said.find(path + ": "), std::string::npos) << loaded.said;
    EXPECT_NE(loaded.said.find(c.problem), std::string::npos) << loaded.said;
    EXPECT_EQ(std::count(loaded.said.begin(), loaded.said.end(), '\n'), 1) << loaded.said;
  }
  // Files that cannot be opened: the system's reason on the error stream.
  const std::pair<vtkPolyData* (*)(const char*), std::string> missing[] = {
      {LoadOff, "Problems opening OFF file: No such file or directory\n"},
      {LoadPcd, "Problems opening Pcd file: No such file or directory\n"},
      {LoadVertTri, "file " + dir.file("none.vert") + " could not be opened\n"},
  };
  for (const auto& [loader, message] : missing) {
    vtkPolyData* mesh = nullptr;
    EXPECT_EQ(ardentis_test::capture([&] { mesh = loader(dir.file("none").c_str()); }).err,
              message);
    EXPECT_EQ(mesh, nullptr);
  }
  dir.write("n.vert", "0 0 0");
  EXPECT_EQ(Load(LoadVertTri, dir.file("n")).said,
            "file " + dir.file("n.tri") + " could not be opened\n");
}

}  // namespace
