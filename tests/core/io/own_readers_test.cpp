// The OFF and VERT/TRI readers: the layouts they accept and the damage they reject.

#include <gtest/gtest.h>
#include <vtkPointData.h>

#include <algorithm>
#include <string>

#include "core/io/load_off.h"
#include "core/io/load_vert_tri.h"
#include "io_test_support.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;
using Ids = std::vector<vtkIdType>;

TEST(LoadOff, ReadsCommentsIndentedLinesPolygonsAndColourColumns) {
  ardentis_test::TempDir dir;
  Mesh mesh = Own(LoadOff(dir.write("m.off",
                                    "OFF\n# comment\n\n4 3 99\n0 0 0\n# note\n\n 9 9 9 skipped\n"
                                    "1 0 0 extra\n\t0 1 0\n1 1 1\n3 0 1 2\n\n# between\n"
                                    "4 0 1 3 2\n3 0 1 2 255 0 0")
                              .c_str()));
  ASSERT_TRUE(mesh);
  ASSERT_EQ(mesh->GetNumberOfPoints(), 4);
  EXPECT_EQ(PointAt(mesh, 1), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(PointAt(mesh, 2), (std::vector<double>{0, 1, 0}));
  ASSERT_EQ(mesh->GetNumberOfPolys(), 3);
  EXPECT_EQ(PolygonIds(mesh, 1), (Ids{0, 1, 3, 2}));
  EXPECT_EQ(PolygonIds(mesh, 2), (Ids{0, 1, 2}));
  EXPECT_EQ(mesh->GetPointData()->GetNumberOfArrays(), 0);
  Mesh pointsOnly = Own(LoadOff(dir.write("p.off", "OFF\n1 0 0\n1 2 3\n").c_str()));
  ASSERT_TRUE(pointsOnly);
  EXPECT_EQ(pointsOnly->GetNumberOfPoints(), 1);
  EXPECT_EQ(pointsOnly->GetNumberOfCells(), 0);
}

TEST(LoadOff, DamagedFilesGiveNullAndOneLineNamingFileAndProblem) {
  ardentis_test::TempDir dir;
  const std::string head = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n";
  const std::pair<std::string, const char*> cases[] = {
      {"", "file ends before its counts line"},
      {"OFF\n", "file ends before its counts line"},
      {"OFF\nthree 1 0\n", "does not start with the vertex and face counts"},
      {"OFF\n-3 1 0\n", "negative counts"},
      {"OFF\n2000000000 0 0\n0 0 0\n", "declares more than the file can hold"},
      {"OFF\n3 1 0\n0 0 0\n1 0 0\n", "file ends after 2 of 3 vertices"},
      {"OFF\n3 1 0\n0 0 0\n1 x 0\n0 1 0\n3 0 1 2\n", "vertex 2 is not three numbers"},
      {"OFF\n3 2 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", "file ends after 1 of 2 faces"},
      {head + "0\n", "face 1 has 0 points"},
      {head + "3 0 1 3\n", "face 1 refers to vertex 3 of 3"},
      {head + "3 0 -1 2\n", "face 1 refers to vertex -1 of 3"},
      {head + "3 0 1\n", "face 1 has fewer than 3 point ids"},
      {head + "x 0 1\n", "face 1 does not start with its number"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write("bad.off", c.first);
    vtkPolyData* mesh = nullptr;
    const std::string out = StdoutOf([&] { mesh = LoadOff(path.c_str()); });
    EXPECT_EQ(mesh, nullptr) << c.first;
    EXPECT_EQ(out.rfind("ERROR LoadOff: " + path + ": ", 0), 0u) << out;
    EXPECT_NE(out.find(c.second), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  }
  vtkPolyData* mesh = nullptr;
  EXPECT_EQ(StderrOf([&] { mesh = LoadOff("/nonexistent/m.off"); }),
            "Problems opening OFF file: No such file or directory\n");
  EXPECT_EQ(mesh, nullptr);
}

TEST(LoadVertTri, ReadsTriplesWhateverTheLayout) {
  ardentis_test::TempDir dir;
  const std::pair<const char*, const char*> layouts[] = {
      {"0 0 0 1 0 0 0 1 0", "1 2 3"},
      {"0\n0\n0\n1\n0\n0\n0\n1\n0\n", "1.0 2.0 3.0\n"},
      {"0 0 0\n1 0 0\n0 1 0\n5", "1 2 3.7 1"},  // incomplete last triples are dropped
  };
  for (const auto& layout : layouts) {
    dir.write("m.vert", layout.first);
    dir.write("m.tri", layout.second);
    Mesh mesh = Own(LoadVertTri(dir.file("m").c_str()));
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->GetNumberOfPoints(), 3);
    EXPECT_EQ(PointAt(mesh, 2), (std::vector<double>{0, 1, 0}));
    ASSERT_EQ(mesh->GetNumberOfPolys(), 1);
    EXPECT_EQ(PolygonIds(mesh, 0), (Ids{0, 1, 2}));
  }
}

TEST(LoadVertTri, BadTriangleNumbersAndMissingFilesAreRefused) {
  ardentis_test::TempDir dir;
  dir.write("m.vert", "0 0 0 1 0 0 0 1 0");
  for (const char* tri : {"0 1 2", "1 2 4", "-1 1 2", "1 2 1e300", "1e-300 1 2"}) {
    dir.write("m.tri", tri);
    vtkPolyData* mesh = nullptr;
    const std::string out = StdoutOf([&] { mesh = LoadVertTri(dir.file("m").c_str()); });
    EXPECT_EQ(mesh, nullptr) << tri;
    EXPECT_EQ(out.rfind("ERROR LoadVertTri: " + dir.file("m.tri") + ": triangle 1 names vertex", 0),
              0u)
        << out;
  }
  // Numbers between 0 and 1 truncate to id 0, which a file without vertices does not have.
  dir.write("e.vert", "");
  dir.write("e.tri", "0.5 0.5 0.5");
  vtkPolyData* mesh = nullptr;
  StdoutOf([&] { mesh = LoadVertTri(dir.file("e").c_str()); });
  EXPECT_EQ(mesh, nullptr);
  dir.write("n.vert", "0 0 0");
  EXPECT_EQ(StderrOf([&] { mesh = LoadVertTri(dir.file("n").c_str()); }),
            "file " + dir.file("n.tri") + " could not be opened\n");
  EXPECT_EQ(mesh, nullptr);
  EXPECT_EQ(StderrOf([&] { mesh = LoadVertTri(dir.file("none").c_str()); }),
            "file " + dir.file("none.vert") + " could not be opened\n");
  EXPECT_EQ(mesh, nullptr);
}
