#include "core/clean_poly_data.h"

#include <gtest/gtest.h>
#include <vtkCellData.h>
#include <vtkIntArray.h>
#include <vtkPointData.h>

#include "test_meshes.h"

using namespace Ostrel::Core::Impl;
using namespace ardentis_core_test;

namespace {

// Two triangles over a square; points 3 and 4 repeat points 1 and 2.
Mesh SplitSquareWithCopies() {
  return MeshOf({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {{0, 1, 2}, {3, 5, 4}});
}

void ExpectPolygonsOnly(vtkPolyData* mesh) {
  EXPECT_EQ(mesh->GetNumberOfCells(), mesh->GetNumberOfPolys());
}

}  // namespace

TEST(CleanPolyData, MergesInPlaceOnlyWhenAsked) {
  Mesh mesh = SplitSquareWithCopies();
  vtkPolyData* const sameObject = mesh;
  CleanPolyData(mesh, false, 0.0, true);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 6);
  CleanPolyData(mesh, true, 0.0, true);
  EXPECT_EQ(mesh.GetPointer(), sameObject);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 4);
  EXPECT_EQ(mesh->GetNumberOfPolys(), 2);
}

TEST(CleanPolyData, ToleranceIsAnAbsoluteDistance) {
  // Bounding box about 1000 wide: as a fraction of it, 0.01 would merge everything.
  Mesh mesh = MeshOf({0, 0, 0, 1000, 0, 0, 0, 1000, 0, 1000.005, 0, 0, 1000, 1000, 0},
                     {{0, 1, 2}, {3, 4, 2}});
  CleanPolyData(mesh, true, 0.01, true);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 4);
  EXPECT_EQ(mesh->GetNumberOfPolys(), 2);
}

TEST(CleanPolyData, DropsOtherCellKindsKeepsPointDataAndSurvivesEmptyMeshes) {
  Mesh mesh = SplitSquareWithCopies();
  mesh->SetVerts(CellsOf({{0}, {5}}));
  mesh->SetLines(CellsOf({{0, 5}}));
  vtkNew<vtkIntArray> tags;
  tags->SetName("Tag");
  for (int i = 0; i < 6; ++i) tags->InsertNextValue(10 * i);
  mesh->GetPointData()->AddArray(tags);
  CleanPolyData(mesh, true, 0.0, true);
  ExpectPolygonsOnly(mesh);
  EXPECT_EQ(mesh->GetNumberOfPolys(), 2);
  ASSERT_NE(mesh->GetPointData()->GetArray("Tag"), nullptr);
  EXPECT_EQ(mesh->GetPointData()->GetArray("Tag")->GetNumberOfTuples(), 4);

  CleanPolyData(nullptr, true, 0.0, true);
  vtkNew<vtkPolyData> bare;
  CleanPolyData(bare, true, 0.0, true);
  Mesh empty = MeshOf({});
  CleanPolyData(empty, true, 0.0, true);
  EXPECT_EQ(empty->GetNumberOfPoints(), 0);
}

TEST(RemoveNotPolysCells, KeepsPolygonsAndTheirCellData) {
  Mesh mesh = SplitSquareWithCopies();
  mesh->SetVerts(CellsOf({{0}}));
  mesh->SetLines(CellsOf({{0, 5}, {1, 2}}));
  mesh->SetStrips(CellsOf({{0, 1, 2, 5}}));
  // Cell order is verts, lines, polygons, strips: the polygons carry 30 and 40.
  vtkNew<vtkIntArray> tags;
  tags->SetName("CellTag");
  for (int value : {0, 10, 20, 30, 40, 50}) tags->InsertNextValue(value);
  mesh->GetCellData()->AddArray(tags);
  mesh->BuildCells();

  RemoveNotPolysCells(mesh);
  ExpectPolygonsOnly(mesh);
  EXPECT_EQ(Flat(mesh->GetPolys()), (Ids{3, 0, 1, 2, 3, 3, 5, 4}));
  EXPECT_EQ(mesh->GetCell(1)->GetPointId(1), 5);  // the random-access map follows the change
  auto* kept = vtkIntArray::SafeDownCast(mesh->GetCellData()->GetArray("CellTag"));
  ASSERT_NE(kept, nullptr);
  ASSERT_EQ(kept->GetNumberOfTuples(), 2);
  EXPECT_EQ(kept->GetValue(0), 30);
  EXPECT_EQ(kept->GetValue(1), 40);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 6);
}
