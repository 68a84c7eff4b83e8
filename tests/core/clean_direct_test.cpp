// Meshes with exact copies of vertices, unused vertices and triangles collapsing onto merged
// corners are cleaned without vtkCleanPolyData: for every mesh here the result must equal the
// filter's, points bit for bit and in order, every cell list, point data and cell data.

#include <gtest/gtest.h>
#include <vtkCleanPolyData.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkIntArray.h>
#include <vtkUnsignedCharArray.h>

#include <functional>
#include <random>
#include <string>

#include "core/clean_mesh_check.h"
#include "core/clean_poly_data.h"
#include "test_meshes.h"

using namespace Ostrel::Core::Impl;
using namespace ardentis_core_test;

namespace {

Mesh FilterOutput(vtkPolyData* mesh, const CollapseRules& rules) {
  vtkNew<vtkCleanPolyData> cleaner;
  cleaner->SetInputData(mesh);
  cleaner->SetAbsoluteTolerance(0.0);
  cleaner->PointMergingOn();
  cleaner->ToleranceIsAbsoluteOn();
  cleaner->SetConvertPolysToLines(rules.polysToLines);
  cleaner->SetConvertLinesToPoints(rules.linesToPoints);
  cleaner->Update();
  Mesh result = Mesh::New();
  result->ShallowCopy(cleaner->GetOutput());
  return result;
}

// What ExpectSameMesh leaves out: lines, strips and the content of the cell data.
void ExpectSameEverything(vtkPolyData* expected, vtkPolyData* actual) {
  ExpectSameMesh(expected, actual);
  EXPECT_EQ(Flat(expected->GetLines()), Flat(actual->GetLines()));
  EXPECT_EQ(Flat(expected->GetStrips()), Flat(actual->GetStrips()));
  vtkCellData* want = expected->GetCellData();
  for (int i = 0; i < want->GetNumberOfArrays(); ++i)
    EXPECT_EQ(Describe(want->GetArray(i)),
              Describe(actual->GetCellData()->GetArray(want->GetArrayName(i))));
  for (int attribute = 0; attribute < vtkDataSetAttributes::NUM_ATTRIBUTES; ++attribute)
    EXPECT_EQ(Describe(want->GetAttribute(attribute)),
              Describe(actual->GetCellData()->GetAttribute(attribute)));
}

void AddPointData(vtkPolyData* mesh) {
  vtkNew<vtkUnsignedCharArray> rgb;
  rgb->SetName("RGB");
  rgb->SetNumberOfComponents(3);
  vtkNew<vtkFloatArray> normals;
  normals->SetName("Normals");
  normals->SetNumberOfComponents(3);
  vtkNew<vtkDoubleArray> scale;
  scale->SetName("Scale");
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    rgb->InsertNextTuple3(i % 256, 255 - i % 256, 7);
    normals->InsertNextTuple3(0, 0.6 * (i % 2), 0.8);
    scale->InsertNextValue(0.5 + i);
  }
  mesh->GetPointData()->SetScalars(rgb);
  mesh->GetPointData()->SetNormals(normals);
  mesh->GetPointData()->AddArray(scale);
}

void AddCellData(vtkPolyData* mesh) {
  vtkNew<vtkIntArray> label;
  label->SetName("Label");
  vtkNew<vtkFloatArray> normals;
  normals->SetName("FaceNormals");
  normals->SetNumberOfComponents(3);
  for (vtkIdType c = 0; c < mesh->GetNumberOfCells(); ++c) {
    label->InsertNextValue(int(100 + c));
    normals->InsertNextTuple3(0.8, 0, 0.6 * (c % 3));
  }
  mesh->GetCellData()->AddArray(label);
  mesh->GetCellData()->SetNormals(normals);
}

enum Data { kNoData = 0, kPointData = 1, kCellData = 2, kBoth = 3 };

// A 3 x 3 grid (points 0-8, z = row * column / 4) then `extraXyz`.
std::vector<double> Grid(std::vector<double> extraXyz = {}) {
  std::vector<double> xyz;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) xyz.insert(xyz.end(), {0.5 * c, 0.25 * r, 0.25 * r * c});
  xyz.insert(xyz.end(), extraXyz.begin(), extraXyz.end());
  return xyz;
}

const std::vector<Ids> kGridTriangles = {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4},
                                         {3, 4, 7}, {3, 7, 6}, {4, 5, 8}, {4, 8, 7}};

std::vector<Ids> GridWith(std::vector<Ids> extra) {
  extra.insert(extra.begin(), kGridTriangles.begin(), kGridTriangles.end());
  return extra;
}

// Copies of grid points 4, 5 and 0 as points 9, 10, 11.
const std::vector<double> kCopies = {0.5, 0.25, 0.25, 1.0, 0.25, 0.5, 0, 0, 0};

// A range scan: a rows x columns grid of samples written patch by patch (patches of 8 columns),
// each patch repeating its seam column, so every seam vertex is stored twice; the triangles are
// listed patch by patch. A few triangles are degenerate: two corners are copies of one seam
// vertex, or one id is repeated. The last `unused` vertices are referenced by no triangle.
Mesh RawScan(int rows, int columns, int pointType, int unused) {
  std::vector<double> xyz;
  std::vector<Ids> triangles;
  vtkIdType previousBase = 0, previousWidth = 0;
  for (int first = 0; first + 1 < columns; first += 7) {
    const int last = std::min(columns - 1, first + 7);
    const vtkIdType base = vtkIdType(xyz.size() / 3), width = last - first + 1;
    for (int r = 0; r < rows; ++r)
      for (int c = first; c <= last; ++c)
        xyz.insert(xyz.end(), {0.01 * c, 0.01 * r, 0.002 * ((r * 7 + c * 3) % 11)});
    auto at = [&](int r, int c) { return base + r * width + (c - first); };
    for (int r = 0; r + 1 < rows; ++r)
      for (int c = first; c < last; ++c) {
        triangles.push_back({at(r, c), at(r, c + 1), at(r + 1, c + 1)});
        triangles.push_back({at(r, c), at(r + 1, c + 1), at(r + 1, c)});
      }
    if (first > 0) {  // the previous patch's last column is this patch's first
      const vtkIdType seamCopy = previousBase + previousWidth * 2 - 1;  // row 1
      triangles.push_back({at(1, first), seamCopy, at(2, first)});
      triangles.push_back({at(3, first), at(3, first + 1), at(3, first)});
    }
    previousBase = base;
    previousWidth = width;
  }
  for (int k = 0; k < unused; ++k) xyz.insert(xyz.end(), {-1.0 - k, 2.0, 0.5});
  return MeshOf(xyz, triangles, pointType);
}

// Random triangles over a few positions, each stored several times, some at -0.
Mesh RandomCopies(unsigned seed, int pointType) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> position(0, 11), corner(0, 29), sign(0, 3);
  std::vector<double> xyz;
  for (int i = 0; i < 30; ++i) {
    const int p = position(random);
    const double zero = sign(random) == 0 ? -0.0 : 0.0;
    xyz.insert(xyz.end(), {p % 3 == 0 ? zero : 0.125 * (p % 3), 0.5 * (p / 3), zero});
  }
  std::vector<Ids> triangles;
  for (int t = 0; t < 25; ++t)
    triangles.push_back({corner(random), corner(random), corner(random)});
  return MeshOf(xyz, triangles, pointType);
}

struct Case {
  const char* name;
  bool direct;  // whether the result is made without the filter
  std::function<Mesh()> make;
  int data = kBoth;
};

Mesh Of(std::vector<double> xyz, std::vector<Ids> cells, int type = VTK_FLOAT) {
  return MeshOf(xyz, cells, type);
}

const Case kCases[] = {
    {"clean", true, [] { return Of(Grid(), kGridTriangles); }},
    {"clean_no_data", true, [] { return Of(Grid(), kGridTriangles); }, kNoData},
    {"copies_shared_by_several_triangles", true,
     [] {
       return Of(Grid(kCopies), GridWith({{2, 10, 9}, {10, 8, 9}, {11, 9, 3}}));
     }},
    {"copies_double", true,
     [] {
       return Of(Grid(kCopies), GridWith({{2, 10, 9}, {10, 8, 9}}), VTK_DOUBLE);
     }},
    {"copy_met_before_its_original", true,
     [] {
       return Of(Grid(kCopies), {{9, 10, 2}, {0, 1, 4}, {1, 2, 5}, {11, 4, 3}});
     }},
    {"negative_zero_met_first", true,
     [] {
       return Of(Grid({0.5, -0.0, -0.0}), {{9, 2, 5}, {0, 1, 4}, {1, 5, 4}});
     }},
    {"zero_met_first", true,
     [] {
       return Of(Grid({0.5, -0.0, -0.0}), {{0, 1, 4}, {9, 5, 4}, {1, 2, 5}});
     }},
    {"unused_points_first_middle_last", true,
     [] {
       return Of(Grid({7, 7, 7}), {{1, 2, 5}, {4, 5, 8}, {4, 8, 7}});
     }},
    {"unused_copy", true, [] { return Of(Grid(kCopies), kGridTriangles); }},
    {"collapsed_aab_aba_abb", true,
     [] {
       return Of(Grid(kCopies), GridWith({{4, 9, 5}, {5, 4, 9}, {2, 4, 9}}));
     }},
    {"collapsed_to_one_point", true,
     [] {
       return Of(Grid(kCopies), GridWith({{4, 9, 4}, {0, 11, 0}}));
     }},
    {"repeated_ids_without_copies", true,
     [] {
       return Of(Grid(), GridWith({{2, 2, 5}, {6, 7, 6}, {8, 8, 8}}));
     }},
    {"collapsed_triangle_alone_uses_its_points", true,
     [] {
       return Of(Grid({3, 3, 3}), GridWith({{9, 9, 9}, {0, 1, 4}}));
     }},
    {"only_collapsed_triangles", true,
     [] {
       return Of(Grid(kCopies), {{4, 9, 4}, {5, 10, 1}});
     }},
    {"quads_with_copies", true,
     [] {
       return Of(Grid(kCopies), {{0, 1, 9, 3}, {1, 2, 5, 4}, {3, 4, 7, 6}, {4, 10, 8, 7}});
     }},
    {"collapsed_quad_goes_to_the_filter", false,
     [] {
       return Of(Grid(kCopies), {{0, 1, 4, 9}, {1, 2, 5, 4}});
     }},
    {"two_id_polygon_goes_to_the_filter", false,
     [] {
       return Of(Grid(), GridWith({{0, 8}}));
     }},
    {"raw_scan", true, [] { return RawScan(12, 30, VTK_FLOAT, 3); }},
    {"raw_scan_double_no_data", true, [] { return RawScan(9, 23, VTK_DOUBLE, 0); }, kNoData},
    {"random_copies_1", true, [] { return RandomCopies(1, VTK_FLOAT); }},
    {"random_copies_2", true, [] { return RandomCopies(2, VTK_DOUBLE); }},
    {"random_copies_3", true, [] { return RandomCopies(3, VTK_FLOAT); }, kPointData},
    {"random_copies_4", true, [] { return RandomCopies(4, VTK_FLOAT); }, kCellData},
};

Mesh Make(const Case& c) {
  Mesh mesh = c.make();
  if (c.data & kPointData) AddPointData(mesh);
  if (c.data & kCellData) AddCellData(mesh);
  return mesh;
}

class CleanDirect : public testing::TestWithParam<Case> {};

TEST_P(CleanDirect, EqualsTheFilterUnderEveryConversion) {
  const Case& c = GetParam();
  for (bool polysToLines : {true, false}) {
    for (bool linesToPoints : {true, false}) {
      const CollapseRules rules{polysToLines, linesToPoints};
      SCOPED_TRACE(std::string("polys to lines ") + (polysToLines ? "on" : "off") +
                   ", lines to points " + (linesToPoints ? "on" : "off"));
      Mesh expected = FilterOutput(Make(c), rules);
      Mesh actual = Make(c);
      ASSERT_EQ(CleanWithoutFilter(actual, rules), c.direct);
      if (c.direct) ExpectSameEverything(expected, actual);
    }
  }
}

TEST_P(CleanDirect, CleaningForTheRunEqualsTheFilter) {
  const Case& c = GetParam();
  Mesh expected = FilterOutput(Make(c), CollapseRules{});
  RemoveNotPolysCells(expected);
  Mesh actual = Make(c);
  CleanPolyData(actual, true, 0.0, true);
  ExpectSameEverything(expected, actual);
}

INSTANTIATE_TEST_SUITE_P(Meshes, CleanDirect, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// The generated scan holds what the table relies on: seam copies, unused vertices and triangles
// the filter turns into lines.
TEST(CleanDirect, RawScanHasCopiesUnusedPointsAndCollapsingTriangles) {
  Mesh scan = RawScan(12, 30, VTK_FLOAT, 3);
  Mesh cleaned = FilterOutput(scan, CollapseRules{});
  EXPECT_EQ(scan->GetNumberOfPoints(), 12 * (30 + 4) + 3);  // four seam columns stored twice
  EXPECT_EQ(cleaned->GetNumberOfPoints(), 12 * 30);
  EXPECT_EQ(cleaned->GetNumberOfLines(), 2 * 4);
  EXPECT_EQ(cleaned->GetNumberOfPolys(), 2 * 11 * 29);
}

// Cell lists that only the cleaned mesh holds are rewritten in place; a mesh sharing them keeps
// its own, whether the cells are only renumbered or some collapse.
TEST(CleanDirect, CellsSharedWithAnotherMeshStayAsTheyWere) {
  for (const Ids& extra : {Ids{2, 10, 9}, Ids{4, 9, 5}}) {
    Mesh mesh = Of(Grid(kCopies), GridWith({extra}));
    Mesh other = Mesh::New();
    other->ShallowCopy(mesh);
    const Ids before = Flat(other->GetPolys());
    Mesh expected = FilterOutput(mesh, CollapseRules{});
    RemoveNotPolysCells(expected);
    CleanPolyData(mesh, true, 0.0, true);
    ExpectSameEverything(expected, mesh);
    EXPECT_EQ(Flat(other->GetPolys()), before);
  }
}

}  // namespace
