// PCD bodies: FIELDS honoured, and the same cloud written ascii, binary and binary_compressed
// by PCL's own converter (an independent writer) loads to the same mesh.

#include <gtest/gtest.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "../test_meshes.h"
#include "core/io/load_pcd.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace ardentis_core_test;

namespace {

const int kWidth = 5, kHeight = 4;

bool IsInvalid(int entry) {
  return entry == 3 || entry == 12;
}

std::string Repeat(const char* text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

// Colour of entry e: red e*10, green 255-e, blue 7.
std::uint32_t PackedColour(int e) {
  return static_cast<std::uint32_t>((e * 10) << 16 | (255 - e) << 8 | 7);
}

struct CloudCase {
  const char* fields;  // after x y z, each a 4-byte value
  const char* types;
  bool coloured;
};

const CloudCase kClouds[] = {{"", "", false},
                             {" rgb", " U", true},
                             {" rgba", " U", false},
                             {" normal_x normal_y normal_z curvature", " F F F F", false}};

// An organised 5 x 4 cloud in PCL's text layout; entries 3 and 12 are NaN points.
std::string AsciiCloud(const CloudCase& cloud) {
  const int extra =
      static_cast<int>(std::count(cloud.fields, cloud.fields + std::strlen(cloud.fields), ' '));
  std::ostringstream out;
  out << "VERSION 0.7\nFIELDS x y z" << cloud.fields << "\nSIZE 4 4 4" << Repeat(" 4", extra)
      << "\nTYPE F F F" << cloud.types << "\nCOUNT 1 1 1" << Repeat(" 1", extra) << "\nWIDTH "
      << kWidth << "\nHEIGHT " << kHeight << "\nPOINTS " << kWidth * kHeight << "\nDATA ascii\n";
  for (int e = 0; e < kWidth * kHeight; ++e) {
    if (IsInvalid(e)) {
      out << "nan nan nan" << Repeat(" nan", extra) << '\n';
      continue;
    }
    out << (e % kWidth) * 0.5 << ' ' << (e / kWidth) * 0.25 << ' ' << 1 + e * 0.125;
    if (extra == 1) out << ' ' << (PackedColour(e) | 0xFF000000u);
    if (extra == 4) out << " 0 0.6 0.8 " << e * 0.5;
    out << '\n';
  }
  return out.str();
}

// PCL's converter: mode 0 ascii, 1 binary, 2 binary_compressed.
std::string Convert(const ardentis_test::TempDir& dir, const std::string& in, int mode) {
  const std::string out = dir.file("c" + std::to_string(mode) + ".pcd");
  const auto result =
      ardentis_test::runProcess(PCL_CONVERT_PCD, {in, out, std::to_string(mode)}, dir.path());
  EXPECT_EQ(result.status, 0) << result.err;
  return out;
}

void ExpectCloud(vtkPolyData* mesh, bool coloured, const std::string& label) {
  ASSERT_NE(mesh, nullptr) << label;
  ASSERT_EQ(mesh->GetNumberOfPoints(), kWidth * kHeight - 2) << label;
  auto* rgb = vtkUnsignedCharArray::SafeDownCast(mesh->GetPointData()->GetArray("RGB"));
  ASSERT_EQ(rgb != nullptr, coloured) << label;
  int id = 0;
  for (int e = 0; e < kWidth * kHeight; ++e) {
    if (IsInvalid(e)) continue;
    EXPECT_EQ(PointAt(mesh, id),
              (std::vector<double>{(e % kWidth) * 0.5, (e / kWidth) * 0.25, 1 + e * 0.125}))
        << label << " entry " << e;
    if (coloured) {
      const std::uint32_t c = PackedColour(e);
      const unsigned char* got = rgb->GetPointer(3 * id);
      EXPECT_EQ((std::vector<int>{got[0], got[1], got[2]}),
                (std::vector<int>{int(c >> 16), int((c >> 8) & 0xFF), int(c & 0xFF)}))
          << label << " entry " << e;
    }
    ++id;
  }
  // 12 squares of two triangles; a square with one invalid corner keeps one: entry 3 is the
  // corner of 2 squares, entry 12 of 4.
  EXPECT_EQ(mesh->GetNumberOfPolys(), 2 * 12 - 2 - 4) << label;
}

std::vector<std::vector<vtkIdType>> Triangles(vtkPolyData* mesh) {
  std::vector<std::vector<vtkIdType>> all;
  for (vtkIdType c = 0; c < mesh->GetNumberOfCells(); ++c) all.push_back(PolygonIds(mesh, c));
  return all;
}

void ExpectLoadRefused(const std::string& path, const std::string& problem) {
  vtkPolyData* mesh = nullptr;
  const std::string out = ardentis_test::capture([&] { mesh = LoadPcd(path.c_str()); }).out;
  EXPECT_EQ(mesh, nullptr) << problem;
  if (mesh) mesh->Delete();
  EXPECT_EQ(out.rfind("ERROR LoadPcd: " + path + ": ", 0), 0u) << out;
  EXPECT_NE(out.find(problem), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

void PutWord(std::string& bytes, size_t at, std::uint32_t value) {
  std::memcpy(&bytes[at], &value, 4);
}

std::uint32_t WordAt(const std::string& bytes, size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, &bytes[at], 4);
  return value;
}

}  // namespace

TEST(PcdBodies, ThreeEncodingsByPclLoadToTheSameMesh) {
  for (const CloudCase& cloud : kClouds) {
    ardentis_test::TempDir dir;
    const std::string original = dir.write("in.pcd", AsciiCloud(cloud));
    Mesh reference = Mesh::Take(LoadPcd(original.c_str()));
    ExpectCloud(reference, cloud.coloured, std::string(cloud.fields) + " as written");
    for (int mode = 0; mode < 3; ++mode) {
      const std::string label = std::string(cloud.fields) + " mode " + std::to_string(mode);
      Mesh mesh = Mesh::Take(LoadPcd(Convert(dir, original, mode).c_str()));
      ExpectCloud(mesh, cloud.coloured, label);
      if (mesh) {
        EXPECT_EQ(Triangles(mesh), Triangles(reference)) << label;
      }
    }
  }
}

TEST(PcdBodies, PaddingAndDoubleCoordinatesInBinary) {
  // Entry: 3 padding bytes, x as double, y z float, rgb; 16 bytes of trailing page padding.
  std::string body;
  const double x[2] = {1.5, 2.25};
  for (int e = 0; e < 2; ++e) {
    const float yz[2] = {0.5f * e, -1.0f};
    const std::uint32_t colour = 0x00102030u + static_cast<std::uint32_t>(e);
    body += std::string(3, '\x7f');
    body.append(reinterpret_cast<const char*>(&x[e]), 8);
    body.append(reinterpret_cast<const char*>(yz), 8);
    body.append(reinterpret_cast<const char*>(&colour), 4);
  }
  ardentis_test::TempDir dir;
  const std::string path =
      dir.write("p.pcd",
                "FIELDS _ x y z rgb\nSIZE 1 8 4 4 4\nTYPE U F F F U\nCOUNT 3 1 1 1 1\nWIDTH 2\n"
                "HEIGHT 1\nPOINTS 2\nDATA binary\n" +
                    body + std::string(16, '\0'));
  Mesh mesh = Mesh::Take(LoadPcd(path.c_str()));
  ASSERT_TRUE(mesh);
  EXPECT_EQ(PointAt(mesh, 1), (std::vector<double>{2.25, 0.5, -1}));
  const unsigned char* rgb =
      vtkUnsignedCharArray::SafeDownCast(mesh->GetPointData()->GetArray("RGB"))->GetPointer(3);
  EXPECT_EQ((std::vector<int>{rgb[0], rgb[1], rgb[2]}), (std::vector<int>{0x10, 0x20, 0x31}));
}

TEST(PcdBodies, DamagedBinaryFilesAreRefusedWithOneLine) {
  ardentis_test::TempDir dir;
  const std::string original = dir.write("in.pcd", AsciiCloud(kClouds[1]));
  const std::string binary = ardentis_test::readFile(Convert(dir, original, 1));
  const std::string packed = ardentis_test::readFile(Convert(dir, original, 2));
  const size_t body = packed.find("DATA binary_compressed\n") + 23;
  const size_t binaryBody = binary.find("DATA binary\n") + 12;
  const std::uint32_t compressed = WordAt(packed, body);
  std::string tooBig = packed, wrongSize = packed, cut = packed, garbled = packed;
  PutWord(tooBig, body, static_cast<std::uint32_t>(packed.size()));
  PutWord(wrongSize, body + 4, 20 * 16 + 4);
  PutWord(cut, body, compressed - 1);
  garbled[body + 8] = '\x1f';  // a literal run longer than the data
  const std::string header = "FIELDS x y z\nWIDTH 1\nHEIGHT 1\nPOINTS 1\n";
  const float xyz[3] = {1, NAN, 2};
  const std::string nanY(reinterpret_cast<const char*>(xyz), 12);
  const struct {
    std::string content;
    const char* problem;
  } cases[] = {
      {binary.substr(0, binaryBody + 20 * 16 - 1), "20 entries cannot fit in the file"},
      {packed.substr(0, body + 6), "compressed body has no sizes"},
      {tooBig, "is past the end of the file"},
      {wrongSize, "uncompressed size 324 is not WIDTH x HEIGHT entries of 16 bytes"},
      {cut, "compressed body is damaged"},
      {garbled, "compressed body is damaged"},
      {header + "SIZE 4 4\nDATA binary\n" + nanY, "SIZE line has 2 values for 3 fields"},
      {header + "TYPE F I F\nDATA binary\n" + nanY, "field y is not a float of 4 or 8 bytes"},
      {header + "COUNT 1 1 2\nDATA binary\n" + nanY + nanY, "field z has a COUNT other than 1"},
      {header + "SIZE 4 3 4\nDATA binary\n" + nanY, "SIZE value 3 is not 1, 2, 4 or 8"},
      {"FIELDS x z\nWIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n1 2\n", "FIELDS has no y field"},
      {header + "DATA binary\n" + nanY, "entry does not hold three finite numbers 1"},
  };
  for (const auto& c : cases) ExpectLoadRefused(dir.write("bad.pcd", c.content), c.problem);
}

// Every truncation and many garbled bytes of a compressed file: null or a sound mesh.
TEST(PcdBodies, DamagedCompressedFilesNeverCrash) {
  ardentis_test::TempDir dir;
  const std::string packed =
      ardentis_test::readFile(Convert(dir, dir.write("in.pcd", AsciiCloud(kClouds[3])), 2));
  const size_t end = packed.find_last_not_of('\0') + 1;  // the page padding adds nothing
  for (size_t at = 0; at < end; ++at) {
    for (const std::string& damaged :
         {packed.substr(0, at), std::string(packed).replace(at, 1, 1, '\xff')}) {
      const std::string path = dir.write("d.pcd", damaged);
      Mesh mesh;
      ardentis_test::capture([&] { mesh = Mesh::Take(LoadPcd(path.c_str())); });
      if (mesh) {
        EXPECT_TRUE(CellIdsInRange(mesh)) << at;
      }
    }
  }
}
