// The PCD reader: header keywords, colours, invalid entries, organised grids, damage.

#include "core/io/load_pcd.h"

#include <gtest/gtest.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include <sstream>
#include <string>

#include "core/io/load_poly_data.h"
#include "io_test_support.h"
#include "sample_meshes.h"
#include "support/temp_dir.h"

using namespace ardentis_io_test;

namespace {

std::string Header(const std::string& fields, int width, int height, int points) {
  return "VERSION 0.7\n" + fields + "\nWIDTH " + std::to_string(width) + "\nHEIGHT " +
         std::to_string(height) + "\nPOINTS " + std::to_string(points) + "\nDATA ascii\n";
}

std::string Entries(int count) {
  std::string body;
  for (int i = 0; i < count; ++i) body += std::to_string(i) + " 0.5 -1\n";
  return body;
}

}  // namespace

TEST(LoadPcd, GridsColoursAndInvalidEntries) {
  ardentis_test::TempDir dir;
  Mesh grid =
      Own(LoadPcd(dir.write("g.pcd", Header("FIELDS x y z", 4, 3, 12) + Entries(12)).c_str()));
  ASSERT_TRUE(grid);
  EXPECT_EQ(grid->GetPointData()->GetArray("RGB"), nullptr);
  EXPECT_EQ(grid->GetNumberOfPolys(), 2 * 3 * 2);
  EXPECT_EQ(PolygonIds(grid, 0), (std::vector<vtkIdType>{1, 0, 4}));
  EXPECT_EQ(PointAt(grid, 7), (std::vector<double>{7, 0.5, -1}));
  Mesh row =
      Own(LoadPcd(dir.write("r.pcd", Header("FIELDS x y z", 12, 1, 12) + Entries(12)).c_str()));
  ASSERT_TRUE(row);
  EXPECT_EQ(row->GetNumberOfPoints(), 12);
  EXPECT_EQ(row->GetNumberOfCells(), 0);

  // The nan entry stores nothing: 5 points, and the arrays hold exactly those.
  Mesh mesh = Own(Ostrel::Core::Impl::LoadPolyData(dir.write("c.Pcd", OrganisedPcd()).c_str()));
  ASSERT_TRUE(mesh);
  ASSERT_EQ(mesh->GetNumberOfPoints(), 5);
  auto* rgb = vtkUnsignedCharArray::SafeDownCast(mesh->GetPointData()->GetScalars());
  ASSERT_NE(rgb, nullptr);
  EXPECT_STREQ(rgb->GetName(), "RGB");
  ASSERT_EQ(rgb->GetNumberOfTuples(), 5);
  EXPECT_EQ(std::vector<int>(rgb->GetPointer(0), rgb->GetPointer(6)),
            (std::vector<int>{255, 128, 0, 128, 128, 128}));
  EXPECT_EQ(PointAt(mesh, 2), (std::vector<double>{0, 1, 1}));  // the entry after the nan
  ASSERT_EQ(mesh->GetNumberOfPolys(), 3);
  EXPECT_EQ(PolygonIds(mesh, 2), (std::vector<vtkIdType>{1, 3, 4}));
}

TEST(LoadPcd, HeaderKeywordsCommentsAndColourFlag) {
  ardentis_test::TempDir dir;
  const struct {
    std::string header;
    bool coloured;
  } cases[] = {
      {"# c\n\n   \nCOLUMNS x y z rgb\nWIDTHS  \t 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n", true},
      {"FIELDS x y z rgba\nWIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n", false},
      {"FIELDS x y z rgb\r\nWIDTH 1\r\nHEIGHT 1\r\nPOINTS 1\r\nDATA ascii\r\n", true},
  };
  for (const auto& c : cases) {
    const std::string content = c.header + "1 2 3 2.34639693e-38\n";
    Mesh mesh = Own(LoadPcd(dir.write("h.pcd", content).c_str()));
    ASSERT_TRUE(mesh) << c.header;
    ASSERT_EQ(mesh->GetNumberOfPoints(), 1);
    EXPECT_EQ(mesh->GetPointData()->GetArray("RGB") != nullptr, c.coloured) << c.header;
  }
}

TEST(LoadPcd, DamagedFilesGiveNullAndOneLineNamingFileAndProblem) {
  ardentis_test::TempDir dir;
  const struct {
    std::string content;
    const char* problem;
  } cases[] = {
      {"WIDTH\nHEIGHT 1\nPOINTS 1\nDATA ascii\n1 2 3\n", "WIDTH line has no value"},
      {"WIDTH 1\nPOINTS 1\nDATA ascii\n1 2 3\n", "header has no HEIGHT line"},
      {"WIDTH 1\nHEIGHT 1\nDATA ascii\n1 2 3\n", "header has no POINTS line"},
      {"WIDTH 1\nHEIGHT 1\nPOINTS 1\n", "header has no DATA line"},
      {"WIDTH -2\nHEIGHT 1\nPOINTS 1\nDATA ascii\n", "WIDTH value -2 is out of range"},
      {"WIDTH abc\nHEIGHT 1\nPOINTS 1\nDATA ascii\n", "WIDTH value 'abc' is not a number"},
      {"WIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA text\n1 2 3\n", "DATA mode 'text' is not supported"},
      {"WIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA binary\nxyz", "1 entries cannot fit in the file"},
      {"WIDTH 20000\nHEIGHT 1000\nPOINTS 1\nDATA ascii\n1 2 3\n", "cannot fit in the file"},
      {"WIDTH 2000000\nHEIGHT 1000\nPOINTS 1\nDATA ascii\n1 2 3\n", "is too large"},
      {Header("FIELDS x y z", 3, 1, 3) + "1 2 3\n4 5 6\n", "body ends after 2 of 3 entries"},
      {Header("FIELDS x y z", 3, 1, 2) + Entries(3), "more valid entries than POINTS (2)"},
      {Header("FIELDS x y z", 1, 1, 1) + "1 2 x\n", "entry '1 2 x' is not three finite numbers"},
      {Header("FIELDS x y z", 1, 1, 1) + "1 2", "body ends inside entry"},
      {Header("FIELDS x y z rgb", 1, 1, 1) + "1 2 3 red\n", "colour value 'red' is not a number"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write("bad.pcd", c.content);
    vtkPolyData* mesh = nullptr;
    const std::string out = StdoutOf([&] { mesh = LoadPcd(path.c_str()); });
    EXPECT_EQ(mesh, nullptr) << c.content;
    EXPECT_EQ(out.rfind("ERROR LoadPcd: " + path + ": ", 0), 0u) << out;
    EXPECT_NE(out.find(c.problem), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  }
  vtkPolyData* mesh = nullptr;
  const std::string err = StderrOf([&] { mesh = LoadPcd("/nonexistent/scan.pcd"); });
  EXPECT_EQ(mesh, nullptr);
  EXPECT_EQ(err, "Problems opening Pcd file: No such file or directory\n");
}

// A range-camera frame: the left 40 columns and every third row hold no point, so every
// square is complete or has at most two corners, and only complete squares triangulate.
TEST(LoadPcd, OrganisedFrameWithManyInvalidEntries) {
  const int width = 640, height = 480;
  auto isValid = [](int r, int c) { return c >= 40 && r % 3 != 0; };
  std::ostringstream body;
  int valid = 0, squares = 0;
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      if (!isValid(r, c)) body << "nan nan nan 0\n";
      if (!isValid(r, c)) continue;
      body << c * 0.001 << ' ' << r * 0.001 << " 1.5 4.2108e-39\n";
      ++valid;
      squares += r + 1 < height && c + 1 < width && isValid(r + 1, c) && isValid(r + 1, c + 1);
    }
  }
  ardentis_test::TempDir dir;
  Mesh mesh = Own(LoadPcd(
      dir.write("frame.pcd", Header("FIELDS x y z rgb", width, height, width * height) + body.str())
          .c_str()));
  ASSERT_TRUE(mesh);
  EXPECT_EQ(mesh->GetNumberOfPoints(), valid);
  EXPECT_EQ(mesh->GetPointData()->GetArray("RGB")->GetNumberOfTuples(), valid);
  EXPECT_EQ(mesh->GetNumberOfPolys(), 2 * squares);
  EXPECT_TRUE(CellIdsInRange(mesh));
}
