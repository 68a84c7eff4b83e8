// PCD bodies: FIELDS honoured, and the same cloud written ascii, binary and binary_compressed
// by PCL's own converter (an independent writer) loads to the same mesh.

#include <gtest/gtest.h>
#include <vtkPointData.h>

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
using ardentis_test::readFile;
using ardentis_test::TempDir;

namespace {

const int kWidth = 5, kHeight = 4, kEntries = kWidth * kHeight;

bool IsInvalid(int entry) {
  return entry == 3 || entry == 12;
}

// Colour of entry e: red e*10, green 255-e, blue 7.
std::uint32_t PackedColour(int e) {
  return static_cast<std::uint32_t>((e * 10) << 16 | (255 - e) << 8 | 7);
}

// The fields after x y z, all 4-byte values, with their SIZE, TYPE and COUNT.
struct CloudCase {
  const char* fields;
  const char* sizes;
  const char* types;
  const char* counts;
  bool coloured;
};

const CloudCase kClouds[] = {
    {"", "", "", "", false},
    {" rgb", " 4", " U", " 1", true},
    {" rgba", " 4", " U", " 1", false},
    {" normal_x normal_y normal_z curvature", " 4 4 4 4", " F F F F", " 1 1 1 1", false}};

// An organised 5 x 4 cloud in PCL's text layout; entries 3 and 12 are NaN points.
std::string AsciiCloud(const CloudCase& cloud) {
  std::ostringstream out;
  out << "VERSION 0.7\nFIELDS x y z" << cloud.fields << "\nSIZE 4 4 4" << cloud.sizes
      << "\nTYPE F F F" << cloud.types << "\nCOUNT 1 1 1" << cloud.counts << "\nWIDTH " << kWidth
      << "\nHEIGHT " << kHeight << "\nPOINTS " << kEntries << "\nDATA ascii\n";
  for (int e = 0; e < kEntries; ++e) {
    if (IsInvalid(e)) {
      out << "nan nan nan";
    } else {
      out << (e % kWidth) * 0.5 << ' ' << (e / kWidth) * 0.25 << ' ' << 1 + e * 0.125;
    }
    // A U field is a packed colour; four F fields a normal and its curvature.
    if (cloud.types == std::string(" U")) out << ' ' << (PackedColour(e) | 0xFF000000u);
    if (cloud.types == std::string(" F F F F")) out << " 0 0.6 0.8 " << e * 0.5;
    out << '\n';
  }
  return out.str();
}

// PCL's converter: mode 0 ascii, 1 binary, 2 binary_compressed.
std::string Convert(const TempDir& dir, const std::string& in, int mode) {
  const std::string out = dir.file("c" + std::to_string(mode) + ".pcd");
  const auto result =
      ardentis_test::runProcess(PCL_CONVERT_PCD, {in, out, std::to_string(mode)}, dir.path());
  EXPECT_EQ(result.status, 0) << result.err;
  return out;
}

// x y z (and r g b when coloured) of every point, in order.
std::vector<double> PointsAndColours(vtkPolyData* mesh) {
  std::vector<double> all;
  vtkDataArray* rgb = mesh->GetPointData()->GetArray("RGB");
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    for (double v : PointAt(mesh, i)) all.push_back(v);
    for (int k = 0; rgb && k < 3; ++k) all.push_back(rgb->GetComponent(i, k));
  }
  return all;
}

// What the cloud of AsciiCloud must load to: its valid entries in order.
std::vector<double> ExpectedPoints(bool coloured) {
  std::vector<double> all;
  for (int e = 0; e < kEntries; ++e) {
    if (IsInvalid(e)) continue;
    all.insert(all.end(), {(e % kWidth) * 0.5, (e / kWidth) * 0.25, 1 + e * 0.125});
    const std::uint32_t c = PackedColour(e);
    if (coloured)
      all.insert(all.end(), {double(c >> 16), double((c >> 8) & 0xFF), double(c & 0xFF)});
  }
  return all;
}

std::vector<std::vector<vtkIdType>> Triangles(vtkPolyData* mesh) {
  std::vector<std::vector<vtkIdType>> all;
  for (vtkIdType c = 0; c < mesh->GetNumberOfCells(); ++c) all.push_back(PolygonIds(mesh, c));
  return all;
}

// LoadPcd of `content`, its message swallowed.
Mesh LoadQuietly(const TempDir& dir, const std::string& content) {
  const std::string path = dir.write("d.pcd", content);
  Mesh mesh;
  ardentis_test::capture([&] { mesh = Mesh::Take(LoadPcd(path.c_str())); });
  return mesh;
}

}  // namespace

TEST(PcdBodies, ThreeEncodingsByPclLoadToTheSameMesh) {
  for (const CloudCase& cloud : kClouds) {
    TempDir dir;
    const std::string original = dir.write("in.pcd", AsciiCloud(cloud));
    Mesh reference = Mesh::Take(LoadPcd(original.c_str()));
    ASSERT_TRUE(reference) << cloud.fields;
    // 12 squares of two triangles; a square with one invalid corner keeps one: entry 3 is the
    // corner of 2 squares, entry 12 of 4.
    EXPECT_EQ(reference->GetNumberOfPolys(), 2 * 12 - 2 - 4) << cloud.fields;
    for (int mode = -1; mode < 3; ++mode) {
      const std::string label = std::string(cloud.fields) + " mode " + std::to_string(mode);
      Mesh mesh = mode < 0 ? reference : Mesh::Take(LoadPcd(Convert(dir, original, mode).c_str()));
      ASSERT_TRUE(mesh) << label;
      EXPECT_EQ(PointsAndColours(mesh), ExpectedPoints(cloud.coloured)) << label;
      EXPECT_EQ(Triangles(mesh), Triangles(reference)) << label;
    }
  }
}

TEST(PcdBodies, PaddingAndDoubleCoordinatesInBinary) {
  // Entry: 3 padding bytes, x as double, y z float, rgb; 16 bytes of trailing page padding.
#pragma pack(push, 1)
  const struct {
    char padding[3];
    double x;
    float y, z;
    std::uint32_t rgb;
  } entries[2] = {{"\x7f\x7f", 1.5, 0, -1, 0x00102030u}, {"\x7f\x7f", 2.25, 0.5, -1, 0x00102031u}};
#pragma pack(pop)
  TempDir dir;
  const std::string path =
      dir.write("p.pcd",
                "FIELDS _ x y z rgb\nSIZE 1 8 4 4 4\nTYPE U F F F U\nCOUNT 3 1 1 1 1\nWIDTH 2\n"
                "HEIGHT 1\nPOINTS 2\nDATA binary\n" +
                    std::string(reinterpret_cast<const char*>(entries), sizeof entries) +
                    std::string(16, '\0'));
  Mesh mesh = Mesh::Take(LoadPcd(path.c_str()));
  ASSERT_TRUE(mesh);
  EXPECT_EQ(PointsAndColours(mesh),
            (std::vector<double>{1.5, 0, -1, 0x10, 0x20, 0x30, 2.25, 0.5, -1, 0x10, 0x20, 0x31}));
}

// Damaged bodies are refused with the loader's one line; no damage to a compressed file crashes.
TEST(PcdBodies, DamagedBinaryFilesAreRefused) {
  TempDir dir;
  const std::string original = dir.write("in.pcd", AsciiCloud(kClouds[1]));
  const std::string binary = readFile(Convert(dir, original, 1));
  const std::string packed = readFile(Convert(dir, original, 2));
  const size_t body = packed.find("DATA binary_compressed\n") + 23;
  const size_t binaryBody = binary.find("DATA binary\n") + 12;
  // The body opens with its compressed and uncompressed sizes, 4 bytes each.
  const auto withWord = [&](size_t at, std::uint32_t word) {
    std::string damaged = packed;
    std::memcpy(&damaged[at], &word, 4);
    return damaged;
  };
  std::uint32_t compressed = 0;
  std::memcpy(&compressed, &packed[body], 4);
  std::string garbled = packed;
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
      {withWord(body, std::uint32_t(packed.size())), "is past the end of the file"},
      {withWord(body + 4, 20 * 16 + 4),
       "uncompressed size 324 is not WIDTH x HEIGHT entries of 16 bytes"},
      {withWord(body + 4, 20 * 16 - 4), "uncompressed size 316 is not"},
      {withWord(body, compressed - 1), "compressed body is damaged"},
      {garbled, "compressed body is damaged"},
      {header + "SIZE 4 4\nDATA binary\n" + nanY, "SIZE line has 2 values for 3 fields"},
      {header + "TYPE F I F\nDATA binary\n" + nanY, "field y is not a float of 4 or 8 bytes"},
      {header + "COUNT 1 1 2\nDATA binary\n" + nanY + nanY, "field z has a COUNT other than 1"},
      {header + "SIZE 4 3 4\nDATA binary\n" + nanY, "SIZE value 3 is not 1, 2, 4 or 8"},
      {"FIELDS x z\nWIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n1 2\n", "FIELDS has no y field"},
      {header + "DATA binary\n" + nanY, "entry does not hold three finite numbers 1"},
  };
  // The loader's one line naming the file and the problem, and no mesh.
  for (const auto& c : cases) {
    const std::string path = dir.write("bad.pcd", c.content);
    vtkPolyData* mesh = nullptr;
    const std::string out = ardentis_test::capture([&] { mesh = LoadPcd(path.c_str()); }).out;
    EXPECT_EQ(Mesh::Take(mesh), nullptr) << c.problem;
    EXPECT_EQ(out.rfind("ERROR LoadPcd: " + path + ": ", 0), 0u) << out;
    EXPECT_NE(out.find(c.problem), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  }
  // Every shorter compressed size is refused (an LZF stream cut between its instructions
  // decodes to fewer bytes); every truncation and many garbled bytes give null or a sound mesh.
  for (std::uint32_t size = 0; size < compressed; ++size) {
    EXPECT_FALSE(LoadQuietly(dir, withWord(body, size))) << size;
  }
  const size_t end = packed.find_last_not_of('\0') + 1;  // the page padding adds nothing
  for (size_t at = 0; at < end; ++at) {
    for (const std::string& damaged :
         {packed.substr(0, at), std::string(packed).replace(at, 1, 1, '\xff')}) {
      const Mesh mesh = LoadQuietly(dir, damaged);
      EXPECT_TRUE(!mesh || CellIdsInRange(mesh)) << at;
    }
  }
}
