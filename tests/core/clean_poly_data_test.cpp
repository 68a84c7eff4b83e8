#include "core/clean_poly_data.h"

#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkIdList.h>
#include <vtkIntArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <initializer_list>
#include <set>
#include <vector>

using namespace Ostrel::Core::Impl;

namespace {

vtkSmartPointer<vtkCellArray> CellsOf(std::initializer_list<std::vector<vtkIdType>> cells) {
  auto list = vtkSmartPointer<vtkCellArray>::New();
  for (const auto& ids : cells)
    list->InsertNextCell(static_cast<vtkIdType>(ids.size()), ids.data());
  return list;
}

vtkSmartPointer<vtkPolyData> MeshOf(const std::vector<float>& coordinates,
                                    std::initializer_list<std::vector<vtkIdType>> triangles) {
  auto mesh = vtkSmartPointer<vtkPolyData>::New();
  vtkNew<vtkPoints> points;
  for (size_t i = 0; i + 2 < coordinates.size(); i += 3) {
    points->InsertNextPoint(coordinates[i], coordinates[i + 1], coordinates[i + 2]);
  }
  mesh->SetPoints(points);
  mesh->SetPolys(CellsOf(triangles));
  return mesh;
}

std::vector<vtkIdType> PolygonIds(vtkPolyData* mesh, vtkIdType cell) {
  vtkNew<vtkIdList> ids;
  mesh->GetPolys()->GetCellAtId(cell, ids);
  return std::vector<vtkIdType>(ids->begin(), ids->end());
}

void ExpectPolygonsOnly(vtkPolyData* mesh) {
  EXPECT_EQ(mesh->GetNumberOfVerts(), 0);
  EXPECT_EQ(mesh->GetNumberOfLines(), 0);
  EXPECT_EQ(mesh->GetNumberOfStrips(), 0);
  EXPECT_EQ(mesh->GetNumberOfCells(), mesh->GetNumberOfPolys());
}

// Two triangles over a square, the shared edge's corners stored twice (points 3 and 4 repeat
// points 1 and 2).
const std::vector<float> kSplitSquareWithCopies = {0, 0, 0, 1, 0, 0, 0, 1, 0,
                                                   1, 0, 0, 0, 1, 0, 1, 1, 0};

}  // namespace

TEST(CleanPolyData, MergesDuplicatedPositions) {
  auto mesh = MeshOf(kSplitSquareWithCopies, {{0, 1, 2}, {3, 5, 4}});
  vtkPolyData* const sameObject = mesh;
  CleanPolyData(mesh, true, 0.0, true);
  EXPECT_EQ(mesh.GetPointer(), sameObject);
  ASSERT_EQ(mesh->GetNumberOfPoints(), 4);
  ASSERT_EQ(mesh->GetNumberOfPolys(), 2);
  const auto first = PolygonIds(mesh, 0);
  const auto second = PolygonIds(mesh, 1);
  EXPECT_EQ(second[0], first[1]);  // former points 1 and 3
  EXPECT_EQ(second[2], first[2]);  // former points 2 and 4
  ExpectPolygonsOnly(mesh);
}

TEST(CleanPolyData, WithoutMergingKeepsCopies) {
  auto mesh = MeshOf(kSplitSquareWithCopies, {{0, 1, 2}, {3, 5, 4}});
  CleanPolyData(mesh, false, 0.0, true);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 6);
}

TEST(CleanPolyData, ToleranceIsAnAbsoluteDistance) {
  // Bounding box about 1000 wide: as a fraction of it, 0.01 would merge everything.
  auto mesh = MeshOf({0, 0, 0, 1000, 0, 0, 0, 1000, 0, 1000.005f, 0, 0, 1000, 1000, 0},
                     {{0, 1, 2}, {3, 4, 2}});
  CleanPolyData(mesh, true, 0.01, true);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 4);
  EXPECT_EQ(mesh->GetNumberOfPolys(), 2);
}

TEST(CleanPolyData, CollapsedTrianglesAndUnusedPointsGo) {
  // Point 3 repeats point 1; point 4 is used by no cell.
  auto mesh = MeshOf({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 5, 5, 5},
                     {{0, 1, 2}, {1, 3, 2}, {1, 3, 1}, {0, 0, 0}});
  CleanPolyData(mesh, true, 0.0, true);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 3);
  EXPECT_EQ(mesh->GetNumberOfPolys(), 1);
  ExpectPolygonsOnly(mesh);
}

TEST(CleanPolyData, DropsOtherCellKindsAndKeepsPointData) {
  auto mesh = MeshOf(kSplitSquareWithCopies, {{0, 1, 2}, {3, 5, 4}});
  mesh->SetVerts(CellsOf({{0}, {5}}));
  mesh->SetLines(CellsOf({{0, 5}}));
  vtkNew<vtkIntArray> tags;
  tags->SetName("Tag");
  for (int i = 0; i < 6; ++i) tags->InsertNextValue(10 * i);
  mesh->GetPointData()->AddArray(tags);

  CleanPolyData(mesh, true, 0.0, true);
  ExpectPolygonsOnly(mesh);
  EXPECT_EQ(mesh->GetNumberOfPolys(), 2);
  auto* kept = vtkIntArray::SafeDownCast(mesh->GetPointData()->GetArray("Tag"));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->GetNumberOfTuples(), mesh->GetNumberOfPoints());
}

TEST(CleanPolyData, NullEmptyAndPointlessMeshesAreHarmless) {
  CleanPolyData(nullptr, true, 0.0, true);
  vtkNew<vtkPolyData> bare;
  CleanPolyData(bare, true, 0.0, true);
  EXPECT_EQ(bare->GetNumberOfCells(), 0);
  auto empty = MeshOf({}, {});
  CleanPolyData(empty, true, 0.0, true);
  EXPECT_EQ(empty->GetNumberOfPoints(), 0);
}

TEST(RemoveNotPolysCells, KeepsPolygonsAndTheirCellData) {
  auto mesh = MeshOf(kSplitSquareWithCopies, {{0, 1, 2}, {3, 5, 4}});
  mesh->SetVerts(CellsOf({{0}}));
  mesh->SetLines(CellsOf({{0, 5}, {1, 2}}));
  mesh->SetStrips(CellsOf({{0, 1, 2, 5}}));
  // Cell order is verts, lines, polygons, strips: the polygons carry 30 and 40.
  vtkNew<vtkIntArray> ids;
  ids->SetName("CellTag");
  for (int value : {0, 10, 20, 30, 40, 50}) ids->InsertNextValue(value);
  mesh->GetCellData()->AddArray(ids);
  mesh->BuildCells();

  RemoveNotPolysCells(mesh);
  ExpectPolygonsOnly(mesh);
  ASSERT_EQ(mesh->GetNumberOfPolys(), 2);
  EXPECT_EQ(PolygonIds(mesh, 1), (std::vector<vtkIdType>{3, 5, 4}));
  EXPECT_EQ(mesh->GetCell(1)->GetPointId(1), 5);  // the random-access map follows the change
  auto* tags = vtkIntArray::SafeDownCast(mesh->GetCellData()->GetArray("CellTag"));
  ASSERT_NE(tags, nullptr);
  ASSERT_EQ(tags->GetNumberOfTuples(), 2);
  EXPECT_EQ(tags->GetValue(0), 30);
  EXPECT_EQ(tags->GetValue(1), 40);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 6);
}
