// LoadPolyData and every reader behind it: the layouts they accept, one report naming the file
// and the problem for every file they refuse (crashes on damaged files are the fuzzers' part). PCD
// bodies: the same cloud written ascii, binary and binary_compressed by PCL's own converter (an
// independent writer) loads to the same mesh. The direct binary PLY reader builds the mesh
// vtkPLYReader builds.

#include <gtest/gtest.h>
#include <vtkPLYReader.h>
#include <vtkUnsignedCharArray.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>

#include "../test_meshes.h"
#include "core/io/library_readers.h"
#include "core/io/load_pcd.h"
#include "core/io/load_poly_data.h"
#include "core/io/ply_direct_reader.h"
#include "support/ply_file.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace ardentis_core_test;
using ardentis_test::readFile;
using ardentis_test::TempDir;
using Ostrel::Core::Impl::LoadPolyData;
using Ostrel::Core::Impl::ReadSimpleBinaryPly;

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
const std::string kVert = "0 0 0\n1 0 0\n0 1 0\n1 1 0.5\n";
const std::string kTri = "1 2 3\n2 4 3\n";
// Organised 3 x 2 cloud with colour and one nan entry.
const std::string kPcd =
    "# .PCD v0.7\nVERSION 0.7\nFIELDS x y z rgb\nSIZE 4 4 4 4\nTYPE F F F F\nCOUNT 1 1 1 1\n"
    "WIDTH 3\nHEIGHT 2\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS 6\nDATA ascii\n"
    "0 0 1 2.34639693e-38\n1 0 1 1.18010406e-38\nnan nan nan 0\n"
    "0 1 1 2.34639693e-38\n1 1 1 2.34639693e-38\n2 1 1 2.34639693e-38\n";

const int kWidth = 5, kHeight = 4, kEntries = kWidth * kHeight;

const auto IsInvalid = [](int entry) { return entry == 3 || entry == 12; };

// Colour of entry e: red e*10, green 255-e, blue 7.
const auto PackedColour = [](int e) { return std::uint32_t((e * 10) << 16 | (255 - e) << 8 | 7); };

// The fields after x y z, all 4-byte values, with their SIZE, TYPE and COUNT.
struct CloudCase {
  const char *fields, *sizes, *types, *counts;
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
    if (coloured) all.insert(all.end(), {e * 10.0, 255.0 - e, 7.0});
  }
  return all;
}

// Five vertices (0.1 is one coordinate a float does not hold exactly) with the given vertex
// properties, and triangles, quadrilaterals, an empty face element or none.
ardentis_test::PlyMesh Layout(bool doubles, bool normals, int colours, int faces = 3) {
  std::vector<std::vector<int>> polygons = {{0, 1, 2}, {0, 2, 3}, {4, 3, 2}};
  if (faces == 4) polygons = {{0, 1, 2, 3}, {1, 4, 3, 2}};
  if (faces <= 0) polygons.clear();
  return {{{0, 0, 0}, {1, 0, 0.1}, {1, 1, -2.5}, {0, 1, 1e-3}, {2, 0.5, 3}},
          polygons,
          doubles,
          normals,
          colours,
          faces >= 0};
}

struct Loaded {
  Mesh mesh;
  std::string said;  // standard output then standard error
};

template <class Loader>
Loaded Load(Loader loader, const std::string& path) {
  Mesh mesh;
  const auto printed = ardentis_test::capture([&] { mesh = Mesh::Take(loader(path.c_str())); });
  return {mesh, printed.out + printed.err};
}

// Extensions in any case; comments, blank and indented lines, extra columns; polygons as
// written; the organised PCD cloud with its nan entry dropped and its colours decoded.
TEST(Readers, LoadPolyDataReadsEveryFormat) {
  TempDir dir;
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
  const Mesh pcd = Load(LoadPolyData, dir.file("c.Pcd")).mesh;
  EXPECT_TRUE(vtkUnsignedCharArray::SafeDownCast(pcd->GetPointData()->GetScalars()));
  EXPECT_EQ(PointsAndColours(pcd),
            (std::vector<double>{0,   0, 1, 255, 128, 0,   1,   0, 1, 128, 128, 128, 0,   1, 1, 255,
                                 128, 0, 1, 1,   1,   255, 128, 0, 2, 1,   1,   255, 128, 0}));
  for (const char* path : {"scans.old/mesh", "a.ply.gz", "mesh.", "mesh.plyx", "no_dot_at_all"}) {
    Loaded loaded = Load(LoadPolyData, path);
    EXPECT_FALSE(loaded.mesh);
    EXPECT_EQ(loaded.said,
              "\nERROR LoadPolyData: " + std::string(path) + "\nType not supported.\n");
  }
}

// Files that cannot be opened: the loader's fixed message, VTK's own output kept off the console.
TEST(Readers, MissingFilesGiveTheirMessage) {
  TempDir dir;
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
// a face naming a missing texture coordinate); numbers that are not finite; damaged PCD bodies
// from PCL's converter. Each gets the loader's last line "ERROR Load<Format>: <path>: <problem>".
TEST(Readers, DamagedFilesAreRefusedNamingFileAndProblem) {
  TempDir dir;
  dir.write("e.vert", "");
  const std::string binaryPly = SquarePly("binary_little_endian");
  const std::string original = dir.write("in.pcd", AsciiCloud(kClouds[1]));
  const std::string binary = readFile(Convert(dir, original, 1));
  const std::string packed = readFile(Convert(dir, original, 2));
  const size_t body = packed.find("DATA binary_compressed\n") + 23;
  const size_t binaryBody = binary.find("DATA binary\n") + 12;
  // The compressed body opens with its compressed and uncompressed sizes, 4 bytes each.
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
    const char* file;
    std::string content;
    const char *loader, *problem;
  } cases[] = {
      // clang-format off
      {"bad.ply", "", "LoadPly", "not a PLY file"},
      {"bad.ply", binaryPly.substr(0, binaryPly.size() - 1), "LoadPly", "data ends inside the 'face' rows"},
      {"bad.ply", ardentis_test::plyFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 3}}}), "LoadPly", "'face' row 1 refers to a vertex that does not exist"},
      {"bad.ply", "ply\nformat ascii 1.0\nelement point 1\nproperty float x\nend_header\n0\n", "LoadPly", "no vertex element"},
      {"bad.ply", ardentis_test::plyFile({{{0, 0, 0}, {1, 0, 0}, {NAN, 1, 0}}, {{0, 1, 2}}}), "LoadPolyData", "vertex 2 has a coordinate that is not a finite number"},
      {"bad.vtk", kVtk.substr(0, kVtk.find("3 0 1 2")) + "3 0 1 7\n3 1 3 2\n", "LoadVtk", "POLYGONS section is damaged"},
      {"bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nvn 0 0 1\nf 1 2/3\nf 2 4 3\n", "LoadOBJ", "the reader fails on this damaged file"},
      {"bad.off", "", "LoadOff", "file ends before its counts line"},
      {"bad.off", "OFF\n2000000000 0 0\n0 0 0\n", "LoadOff", "counts line '2000000000 0 0' declares more than the file can hold"},
      {"bad.off", "OFF\n-3 1 0\n", "LoadOff", "negative counts"},
      {"bad.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n", "LoadOff", "face 1 refers to vertex 3 of 3"},
      {"bad.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1e39 0\n3 0 1 2\n", "LoadPolyData", "vertex 2 has a coordinate that is not a finite number"},
      {"e.tri", "0.5 0.5 0.5", "LoadVertTri", "triangle 1 names vertex 0.5"},  // id 0 of no vertices
      {"bad.pcd", "WIDTH 1\nPOINTS 1\nDATA ascii\n1 2 3\n", "LoadPcd", "header has no HEIGHT line"},
      {"bad.pcd", "WIDTH 2\nHEIGHT 1\nPOINTS 1\nDATA ascii\n1 2 3\n4 5 6\n", "LoadPcd", "more valid entries than POINTS"},
      {"bad.pcd", binary.substr(0, binaryBody + 20 * 16 - 1), "LoadPcd", "WIDTH x HEIGHT = 20 entries cannot fit in the file"},
      {"bad.pcd", packed.substr(0, body + 6), "LoadPcd", "compressed body has no sizes"},
      {"bad.pcd", withWord(body, std::uint32_t(packed.size())), "LoadPcd", "compressed size 4096 is past the end of the file"},
      {"bad.pcd", withWord(body + 4, 20 * 16 + 4), "LoadPcd", "uncompressed size 324 is not WIDTH x HEIGHT entries of 16 bytes"},
      {"bad.pcd", withWord(body + 4, 20 * 16 - 4), "LoadPcd", "uncompressed size 316 is not"},
      {"bad.pcd", garbled, "LoadPcd", "compressed body is damaged"},
      {"bad.pcd", header + "SIZE 4 4\nDATA binary\n" + nanY, "LoadPcd", "SIZE line has 2 values for 3 fields"},
      {"bad.pcd", header + "TYPE F I F\nDATA binary\n" + nanY, "LoadPcd", "field y is not a float of 4 or 8 bytes"},
      {"bad.pcd", header + "COUNT 1 1 2\nDATA binary\n" + nanY + nanY, "LoadPcd", "field z has a COUNT other than 1"},
      {"bad.pcd", header + "SIZE 4 3 4\nDATA binary\n" + nanY, "LoadPcd", "SIZE value 3 is not 1, 2, 4 or 8"},
      {"bad.pcd", "FIELDS x z\nWIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n1 2\n", "LoadPcd", "FIELDS has no y field"},
      {"bad.pcd", header + "DATA binary\n" + nanY, "LoadPcd", "entry does not hold three finite numbers 1"},
      // clang-format on
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.file, c.content);
    const Loaded loaded = Load(LoadPolyData, path);
    const std::string line = loaded.said.substr(loaded.said.rfind("\nERROR Load") + 1);
    EXPECT_FALSE(loaded.mesh) << c.problem;
    EXPECT_EQ(line.rfind("ERROR " + std::string(c.loader) + ": " + path + ": " + c.problem, 0), 0u)
        << loaded.said;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << loaded.said;
    EXPECT_LE(std::count(loaded.said.begin(), loaded.said.end(), '\n'), 3) << loaded.said;
  }
  // Every shorter compressed size is refused: an LZF stream cut between its instructions
  // decodes to fewer bytes.
  for (std::uint32_t size = 0; size < compressed; ++size)
    EXPECT_FALSE(Load(LoadPcd, dir.write("s.pcd", withWord(body, size))).mesh) << size;
}

TEST(PcdBodies, ThreeEncodingsByPclLoadToTheSameMesh) {
  for (const CloudCase& cloud : kClouds) {
    TempDir dir;
    const std::string original = dir.write("in.pcd", AsciiCloud(cloud));
    Mesh reference = Mesh::Take(LoadPcd(original.c_str()));
    ASSERT_TRUE(reference) << cloud.fields;
    // 12 squares of 2 triangles; one with an invalid corner keeps 1: entry 3 is in 2, 12 in 4.
    EXPECT_EQ(reference->GetNumberOfPolys(), 2 * 12 - 2 - 4) << cloud.fields;
    EXPECT_EQ(PointsAndColours(reference), ExpectedPoints(cloud.coloured)) << cloud.fields;
    for (int mode = 0; mode < 3; ++mode) {
      SCOPED_TRACE(std::string(cloud.fields) + " mode " + std::to_string(mode));
      ExpectSameMesh(reference, Mesh::Take(LoadPcd(Convert(dir, original, mode).c_str())));
    }
  }
}

TEST(PcdBodies, PaddingAndDoubleCoordinatesInBinary) {
  // Entry: 3 padding bytes, x as double, y z float, rgb; 16 bytes of trailing page padding.
  std::string file =
      "FIELDS _ x y z rgb\nSIZE 1 8 4 4 4\nTYPE U F F F U\nCOUNT 3 1 1 1 1\nWIDTH 2\nHEIGHT 1\n"
      "POINTS 2\nDATA binary\n";
  const auto put = [&](auto v) { file.append(reinterpret_cast<const char*>(&v), sizeof v); };
  for (int e = 0; e < 2; ++e) {
    file += "\x7f\x7f\x7f";
    put(1.5 + 0.75 * e);  // x
    put(0.5f * e);
    put(-1.0f);
    put(0x102030u + e);  // rgb
  }
  TempDir dir;
  const Mesh mesh = Mesh::Take(LoadPcd(dir.write("p.pcd", file + std::string(16, '\0')).c_str()));
  ASSERT_TRUE(mesh);
  EXPECT_EQ(PointsAndColours(mesh),
            (std::vector<double>{1.5, 0, -1, 0x10, 0x20, 0x30, 2.25, 0.5, -1, 0x10, 0x20, 0x31}));
}

TEST(DirectPlyReader, BuildsTheMeshVtkPlyReaderBuilds) {
  const ardentis_test::PlyMesh layouts[] = {
      Layout(false, false, 0),     Layout(false, false, 3),   Layout(false, false, 4),
      Layout(false, true, 0),      Layout(false, true, 3, 4), Layout(true, false, 3),
      Layout(false, false, 3, -1), Layout(false, true, 0, 0),
  };
  TempDir dir;
  for (const auto& layout : layouts) {
    SCOPED_TRACE(&layout - layouts);
    const std::string binary =
        dir.write("binary.ply", ardentis_test::plyFile(layout, "binary_little_endian"));
    vtkNew<vtkPLYReader> reader;
    reader->SetFileName(binary.c_str());
    reader->Update();
    // LoadPly returns what the direct reader builds when it takes the file.
    ASSERT_NE(Mesh::Take(ReadSimpleBinaryPly(binary.c_str())), nullptr) << "not the direct road";
    ExpectSameMesh(reader->GetOutput(), Mesh::Take(LoadPly(binary.c_str())));
  }
}

// Files the direct reader must hand to the general road (which reports damage itself).
TEST(DirectPlyReader, LeavesOtherLayoutsAndDamageToTheGeneralRoad) {
  TempDir dir;
  const std::string good = ardentis_test::plyFile(Layout(false, false, 0), "binary_little_endian");
  const size_t body = good.find("end_header\n") + 11;
  std::string badId = good;
  badId[badId.size() - 4] = 9;  // last id of the last face: vertex 9 of 5
  std::string twoIds = good;
  twoIds[body + 5 * 12] = 2;  // first face claims two ids
  // The last face claims two ids and the file ends after its count: the length still adds up,
  // since the first face holds fifteen ids.
  ardentis_test::PlyMesh wide = Layout(false, false, 0);
  wide.faces[0] = {0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1, 2, 3, 4};
  std::string endsAtTwoIds = ardentis_test::plyFile(wide, "binary_little_endian");
  endsAtTwoIds.resize(endsAtTwoIds.size() - 12);
  endsAtTwoIds.back() = 2;
  const std::string normals =
      ardentis_test::plyFile(Layout(false, true, 0), "binary_little_endian");
  const std::string files[] = {
      good.substr(0, good.size() - 1),
      badId,
      twoIds,
      endsAtTwoIds,
      ardentis_test::plyFile(Layout(false, false, 0), "binary_big_endian"),
      std::string(good).replace(good.find("uchar int"), 9, "uchar short"),
      std::string(good).replace(good.find("end_header"), 0, "element edge 0\nproperty int v1\n"),
      // Three floats after x y z that are not named as normals.
      std::string(normals).replace(normals.find("float nx"), 8, "float qx"),
  };
  for (const std::string& content : files) {
    const std::string path = dir.write("other.ply", content);
    EXPECT_EQ(ReadSimpleBinaryPly(path.c_str()), nullptr) << content.substr(0, 120);
  }
}

}  // namespace
