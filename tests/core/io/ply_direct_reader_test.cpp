// The direct binary PLY reader and vtkPLYReader must build the same mesh from the same file:
// each case is written as ascii (always read by vtkPLYReader) and as binary little endian
// (read directly), and both meshes are compared with what vtkPLYReader makes of the binary.

#include "core/io/ply_direct_reader.h"

#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkPLYReader.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/io/library_readers.h"
#include "support/temp_dir.h"

namespace {

using Mesh = vtkSmartPointer<vtkPolyData>;
using Ostrel::Core::Impl::ReadSimpleBinaryPly;

struct Case {
  const char* name;
  bool doubles;
  bool normals;
  int colourComponents;  // 0, 3 (red green blue) or 4 (with alpha)
  std::vector<std::vector<int>> faces;
  bool faceElement;
};

const std::vector<std::vector<int>> kTriangles = {{0, 1, 2}, {0, 2, 3}, {4, 3, 2}};
const std::vector<std::vector<int>> kQuads = {{0, 1, 2, 3}, {1, 4, 3, 2}};

const Case kCases[] = {
    {"float_triangles", false, false, 0, kTriangles, true},
    {"colours", false, false, 3, kTriangles, true},
    {"colours_with_alpha", false, false, 4, kTriangles, true},
    {"normals", false, true, 0, kTriangles, true},
    {"normals_and_colours", false, true, 3, kQuads, true},
    {"quads", false, false, 0, kQuads, true},
    {"double_coordinates", true, false, 3, kTriangles, true},
    {"vertex_only", false, false, 3, {}, false},
    {"no_faces", false, true, 0, {}, true},
};

// Coordinates that a float holds exactly and one that it does not (0.1).
const double kXyz[5][3] = {{0, 0, 0}, {1, 0, 0.1}, {1, 1, -2.5}, {0, 1, 1e-3}, {2, 0.5, 3}};

std::string Header(const Case& c, const char* format) {
  std::ostringstream h;
  h << "ply\nformat " << format << " 1.0\ncomment written by a test\nelement vertex 5\n";
  for (const char* axis : {"x", "y", "z"})
    h << "property " << (c.doubles ? "double " : "float ") << axis << "\n";
  if (c.normals) h << "property float nx\nproperty float ny\nproperty float nz\n";
  const char* colours[] = {"red", "green", "blue", "alpha"};
  for (int k = 0; k < c.colourComponents; ++k) h << "property uchar " << colours[k] << "\n";
  if (c.faceElement) {
    h << "element face " << c.faces.size() << "\nproperty list uchar int vertex_indices\n";
  }
  h << "end_header\n";
  return h.str();
}

template <class T>
void Append(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string Binary(const Case& c) {
  std::string out = Header(c, "binary_little_endian");
  for (int v = 0; v < 5; ++v) {
    for (double x : kXyz[v]) c.doubles ? Append(out, x) : Append(out, float(x));
    if (c.normals) {
      for (float n : {0.6f, 0.0f, 0.8f * v}) Append(out, n);
    }
    for (int k = 0; k < c.colourComponents; ++k)
      Append(out, static_cast<unsigned char>(40 * v + k));
  }
  for (const auto& face : c.faces) {
    Append(out, static_cast<unsigned char>(face.size()));
    for (int id : face) Append(out, std::int32_t(id));
  }
  return out;
}

std::string Ascii(const Case& c) {
  std::ostringstream out;
  out.precision(17);
  out << Header(c, "ascii");
  for (int v = 0; v < 5; ++v) {
    for (double x : kXyz[v]) out << (c.doubles ? x : double(float(x))) << " ";
    if (c.normals) out << 0.6f << " " << 0.0f << " " << 0.8f * v << " ";
    for (int k = 0; k < c.colourComponents; ++k) out << 40 * v + k << " ";
    out << "\n";
  }
  for (const auto& face : c.faces) {
    out << face.size();
    for (int id : face) out << " " << id;
    out << "\n";
  }
  return out.str();
}

Mesh ReadWithVtk(const std::string& path) {
  auto reader = vtkSmartPointer<vtkPLYReader>::New();
  reader->SetFileName(path.c_str());
  reader->Update();
  auto mesh = Mesh::New();
  mesh->ShallowCopy(reader->GetOutput());
  return mesh;
}

std::string Describe(vtkDataArray* array) {
  if (array == nullptr) return "none";
  std::string text = std::string(array->GetName() ? array->GetName() : "(unnamed)") + " type " +
                     std::to_string(array->GetDataType()) + " x" +
                     std::to_string(array->GetNumberOfComponents()) + " n" +
                     std::to_string(array->GetNumberOfTuples()) + ":";
  const auto bytes = array->GetNumberOfValues() * array->GetDataTypeSize();
  return text + std::string(static_cast<const char*>(array->GetVoidPointer(0)), bytes);
}

std::vector<vtkIdType> Cells(vtkCellArray* cells) {
  std::vector<vtkIdType> flat;
  vtkIdType count;
  const vtkIdType* ids;
  for (cells->InitTraversal(); cells->GetNextCell(count, ids);) {
    flat.push_back(count);
    flat.insert(flat.end(), ids, ids + count);
  }
  return flat;
}

void ExpectSame(vtkPolyData* expected, vtkPolyData* actual) {
  ASSERT_NE(actual, nullptr);
  EXPECT_EQ(Describe(expected->GetPoints()->GetData()), Describe(actual->GetPoints()->GetData()));
  EXPECT_EQ(Cells(expected->GetPolys()), Cells(actual->GetPolys()));
  EXPECT_EQ(Cells(expected->GetVerts()), Cells(actual->GetVerts()));
  EXPECT_EQ(expected->GetNumberOfLines(), actual->GetNumberOfLines());
  EXPECT_EQ(expected->GetNumberOfStrips(), actual->GetNumberOfStrips());
  EXPECT_EQ(expected->GetPolys()->IsStorage64Bit(), actual->GetPolys()->IsStorage64Bit());
  vtkPointData* want = expected->GetPointData();
  vtkPointData* got = actual->GetPointData();
  ASSERT_EQ(want->GetNumberOfArrays(), got->GetNumberOfArrays());
  for (int i = 0; i < want->GetNumberOfArrays(); ++i) {
    EXPECT_EQ(Describe(want->GetArray(i)), Describe(got->GetArray(i)));
  }
  for (int attribute = 0; attribute < vtkDataSetAttributes::NUM_ATTRIBUTES; ++attribute) {
    SCOPED_TRACE(attribute);
    EXPECT_EQ(Describe(want->GetAttribute(attribute)), Describe(got->GetAttribute(attribute)));
  }
  EXPECT_EQ(expected->GetCellData()->GetNumberOfArrays(),
            actual->GetCellData()->GetNumberOfArrays());
  EXPECT_EQ(expected->GetFieldData()->GetNumberOfArrays(),
            actual->GetFieldData()->GetNumberOfArrays());
}

class BothRoads : public testing::TestWithParam<Case> {};

TEST_P(BothRoads, BuildTheSameMesh) {
  const Case& c = GetParam();
  ardentis_test::TempDir dir;
  const std::string binary = dir.write("binary.ply", Binary(c));
  const std::string ascii = dir.write("ascii.ply", Ascii(c));
  const Mesh reference = ReadWithVtk(binary);

  Mesh direct = Mesh::Take(ReadSimpleBinaryPly(binary.c_str()));
  ASSERT_NE(direct, nullptr) << "the binary file should take the direct road";
  EXPECT_EQ(ReadSimpleBinaryPly(ascii.c_str()), nullptr);
  {
    SCOPED_TRACE("direct reader");
    ExpectSame(reference, direct);
  }
  {
    SCOPED_TRACE("LoadPly on the binary file");
    ExpectSame(reference, Mesh::Take(LoadPly(binary.c_str())));
  }
  {
    SCOPED_TRACE("LoadPly on the ascii file");
    ExpectSame(reference, Mesh::Take(LoadPly(ascii.c_str())));
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, BothRoads, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Files the direct reader must hand to the general road (which reports damage itself).
TEST(DirectPlyReader, LeavesOtherLayoutsAndDamageToTheGeneralRoad) {
  ardentis_test::TempDir dir;
  const Case plain = kCases[0];
  const std::string good = Binary(plain);
  const std::string header = Header(plain, "binary_little_endian");
  std::string badId = good;
  badId[badId.size() - 4] = 9;  // last id of the last face: vertex 9 of 5
  std::string twoIds = good;
  twoIds[header.size() + 5 * 12] = 2;  // first face claims two ids
  const std::pair<const char*, std::string> files[] = {
      {"truncated", good.substr(0, good.size() - 1)},
      {"trailing_byte", good + "x"},
      {"id_out_of_range", badId},
      {"face_of_two_ids", twoIds},
      {"big_endian", Header(plain, "binary_big_endian") + good.substr(header.size())},
      {"short_ids", std::string(good).replace(good.find("uchar int"), 9, "uchar short")},
      {"extra_property",
       std::string(good).replace(good.find("end_header"), 0, "element edge 0\nproperty int v1\n")},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.first);
    const std::string path = dir.write(std::string(file.first) + ".ply", file.second);
    EXPECT_EQ(ReadSimpleBinaryPly(path.c_str()), nullptr);
  }
  EXPECT_EQ(ReadSimpleBinaryPly(dir.file("missing.ply").c_str()), nullptr);
}

}  // namespace
