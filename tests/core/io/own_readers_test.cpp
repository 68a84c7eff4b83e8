// The OFF, VERT/TRI and PCD readers: the layouts they accept and the damage they refuse.

#include <gtest/gtest.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include "core/io/load_off.h"
#include "core/io/load_pcd.h"
#include "core/io/load_vert_tri.h"
#include "io_test.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;

namespace {

TEST(OwnReaders, Layouts) {
  ardentis_test::TempDir dir;
  Loaded off = Load(LoadOff, dir.write("m.off",
                                       "OFF\n# comment\n\n4 3 99\n0 0 0\n# note\n\n 9 9 9 skipped\n"
                                       "1 0 0 extra\n\t0 1 0\n1 1 1\n3 0 1 2\n\n# between\n"
                                       "4 0 1 3 2\n3 0 1 2 255 0 0"));
  ASSERT_TRUE(off.mesh);
  EXPECT_EQ(Flat(off.mesh->GetPolys()), (Ids{3, 0, 1, 2, 4, 0, 1, 3, 2, 3, 0, 1, 2}));
  EXPECT_EQ(off.mesh->GetPoint(2)[1], 1.0);
  EXPECT_EQ(off.mesh->GetNumberOfPoints(), 4);
  for (const auto& [vert, tri] : std::vector<std::pair<std::string, std::string>>{
           {"0 0 0 1 0 0 0 1 0", "1 2 3"},
           {"0\n0\n0\n1\n0\n0\n0\n1\n0\n", "1.0 2.0 3.0\n"},
           {"0 0 0\n1 0 0\n0 1 0\n5", "1 2 3.7 1"}}) {  // incomplete last triples are dropped
    dir.write("m.vert", vert);
    dir.write("m.tri", tri);
    Loaded mesh = Load(LoadVertTri, dir.file("m"));
    ASSERT_TRUE(mesh.mesh) << vert;
    EXPECT_EQ(mesh.mesh->GetNumberOfPoints(), 3);
    EXPECT_EQ(mesh.mesh->GetPoint(2)[1], 1.0);
    EXPECT_EQ(Flat(mesh.mesh->GetPolys()), (Ids{3, 0, 1, 2}));
  }
  // The nan entry of the organised cloud stores nothing; squares with a missing corner give one
  // triangle or none; colours are decoded from the float bit pattern.
  Loaded pcd = Load(LoadPcd, dir.write("c.pcd", kPcd));
  ASSERT_TRUE(pcd.mesh);
  ASSERT_EQ(pcd.mesh->GetNumberOfPoints(), 5);
  auto* rgb = vtkUnsignedCharArray::SafeDownCast(pcd.mesh->GetPointData()->GetScalars());
  ASSERT_NE(rgb, nullptr);
  EXPECT_STREQ(rgb->GetName(), "RGB");
  ASSERT_EQ(rgb->GetNumberOfTuples(), 5);
  EXPECT_EQ(std::vector<int>(rgb->GetPointer(0), rgb->GetPointer(6)),
            (std::vector<int>{255, 128, 0, 128, 128, 128}));
  EXPECT_EQ(pcd.mesh->GetPoint(2)[1], 1.0);  // the entry after the nan
  EXPECT_EQ(Flat(pcd.mesh->GetPolys()), (Ids{3, 1, 0, 2, 3, 1, 2, 3, 3, 1, 3, 4}));
  for (const std::string header :
       {"# c\n\n   \nCOLUMNS x y z rgb\nWIDTHS  \t 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n",
        "FIELDS x y z rgb\r\nWIDTH 1\r\nHEIGHT 1\r\nPOINTS 1\r\nDATA ascii\r\n"}) {
    Loaded one = Load(LoadPcd, dir.write("h.pcd", header + "1 2 3 2.34639693e-38\n"));
    ASSERT_TRUE(one.mesh) << header;
    EXPECT_EQ(one.mesh->GetPointData()->GetArray("RGB")->GetNumberOfTuples(), 1);
  }
}

// Damaged files give null and one line naming the file and the problem; files that cannot be
// opened, the system's reason on the error stream.
TEST(OwnReaders, DamagedAndMissingFilesAreRefused) {
  ardentis_test::TempDir dir;
  dir.write("m.vert", "0 0 0 1 0 0 0 1 0");
  dir.write("e.vert", "");
  const std::string off = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n";
  const std::string pcd = "WIDTH 2\nHEIGHT 1\nPOINTS 1\nDATA ascii\n";
  const struct {
    const char* file;  // .off, .pcd, or the .tri of a VERT/TRI pair
    std::string content;
    const char* problem;
  } cases[] = {
      {"bad.off", "", "file ends before its counts line"},
      {"bad.off", "OFF\n2000000000 0 0\n0 0 0\n", "declares more than the file can hold"},
      {"bad.off", off + "3 0 1 3\n", "face 1 refers to vertex 3 of 3"},
      {"bad.off", off + "3 0 1\n", "face 1 has fewer than 3 point ids"},
      {"m.tri", "1 2 3\n0 1 2", "triangle 2 names vertex 0"},
      // Numbers between 0 and 1 truncate to id 0, which a file without vertices does not have.
      {"e.tri", "0.5 0.5 0.5", "triangle 1 names vertex 0.5"},
      {"bad.pcd", "WIDTH 1\nPOINTS 1\nDATA ascii\n1 2 3\n", "header has no HEIGHT line"},
      {"bad.pcd", "WIDTH abc\nHEIGHT 1\nPOINTS 1\nDATA ascii\n", "'abc' is not a number"},
      {"bad.pcd", pcd + "1 2 3\n4 5 6\n", "more valid entries than POINTS"},
      {"bad.pcd", "WIDTH 20000\nHEIGHT 1000\nPOINTS 1\nDATA ascii\n", "cannot fit in"},
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
  dir.write("n.vert", "0 0 0");
  const std::pair<vtkPolyData* (*)(const char*), std::string> missing[] = {
      {LoadOff, "Problems opening OFF file: No such file or directory\n"},
      {LoadPcd, "Problems opening Pcd file: No such file or directory\n"},
      {LoadVertTri, "file " + dir.file("none.vert") + " could not be opened\n"},
  };
  for (const auto& [loader, message] : missing) {
    EXPECT_EQ(Load(loader, dir.file("none")).said, message);
    EXPECT_FALSE(Load(loader, dir.file("none")).mesh);
  }
  EXPECT_EQ(Load(LoadVertTri, dir.file("n")).said,
            "file " + dir.file("n.tri") + " could not be opened\n");
}

}  // namespace
