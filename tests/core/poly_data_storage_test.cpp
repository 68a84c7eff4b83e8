#include "core/poly_data_storage.h"

#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>

#include <vector>

using namespace Ostrel::Core::Impl;

namespace {

vtkSmartPointer<vtkPolyData> Owned(vtkPolyData* mesh) {
  vtkSmartPointer<vtkPolyData> owned;
  owned.TakeReference(mesh);
  return owned;
}

std::vector<vtkIdType> CellIds(vtkCellArray* cells, vtkIdType cell) {
  vtkNew<vtkIdList> ids;
  cells->GetCellAtId(cell, ids);
  return std::vector<vtkIdType>(ids->begin(), ids->end());
}

const float kFourPoints[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0.5f};

}  // namespace

TEST(CreatePolyData, PointsOnlyHasNoCellsAndNoPointData) {
  auto mesh = Owned(CreatePolyData(kFourPoints, 4, nullptr, nullptr, 7));
  EXPECT_EQ(mesh->GetNumberOfPoints(), 4);
  EXPECT_EQ(mesh->GetNumberOfCells(), 0);
  EXPECT_EQ(mesh->GetPointData()->GetNumberOfArrays(), 0);
  EXPECT_EQ(mesh->GetReferenceCount(), 1);
  double p[3];
  mesh->GetPoint(3, p);
  EXPECT_EQ(p[2], 0.5);
}

TEST(CreatePolyData, TrianglesAndColoursAreStoredAsGiven) {
  const int triangles[] = {0, 1, 2, 2, 1, 3};
  const unsigned char colours[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  auto mesh = Owned(CreatePolyData(kFourPoints, 4, colours, triangles, 2));
  ASSERT_EQ(mesh->GetNumberOfPolys(), 2);
  EXPECT_EQ(CellIds(mesh->GetPolys(), 0), (std::vector<vtkIdType>{0, 1, 2}));
  EXPECT_EQ(CellIds(mesh->GetPolys(), 1), (std::vector<vtkIdType>{2, 1, 3}));

  auto* rgb = vtkUnsignedCharArray::SafeDownCast(mesh->GetPointData()->GetArray("RGB"));
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ(mesh->GetPointData()->GetScalars(), rgb);
  EXPECT_EQ(std::vector<unsigned char>(rgb->GetPointer(0), rgb->GetPointer(0) + 12),
            std::vector<unsigned char>(colours, colours + 12));
}

TEST(CreatePolyData, ZeroTrianglesGiveAnEmptyPolygonList) {
  const int none[] = {0};
  auto mesh = Owned(CreatePolyData(kFourPoints, 4, nullptr, none, 0));
  EXPECT_EQ(mesh->GetNumberOfPolys(), 0);
  EXPECT_EQ(mesh->GetNumberOfCells(), 0);
}

// The mesh built through the fill-in-place buffer must be the one VTK itself builds.
TEST(AllocateTriangles, MatchesAMeshBuiltWithInsertNextCell) {
  const int triangles[] = {0, 1, 2, 2, 1, 3, 3, 0, 1};
  auto ours = Owned(CreatePolyData(kFourPoints, 4, nullptr, triangles, 3));

  vtkNew<vtkPolyData> reference;
  vtkNew<vtkPoints> points;
  for (int i = 0; i < 4; ++i) points->InsertNextPoint(kFourPoints + 3 * i);
  reference->SetPoints(points);
  vtkNew<vtkCellArray> polygons;
  for (int t = 0; t < 3; ++t) {
    const vtkIdType ids[3] = {triangles[3 * t], triangles[3 * t + 1], triangles[3 * t + 2]};
    polygons->InsertNextCell(3, ids);
  }
  reference->SetPolys(polygons);

  ASSERT_EQ(ours->GetNumberOfPoints(), reference->GetNumberOfPoints());
  for (vtkIdType i = 0; i < 4; ++i) {
    double a[3], b[3];
    ours->GetPoint(i, a);
    reference->GetPoint(i, b);
    EXPECT_EQ(std::vector<double>(a, a + 3), std::vector<double>(b, b + 3));
  }
  ASSERT_EQ(ours->GetNumberOfCells(), reference->GetNumberOfCells());
  for (vtkIdType c = 0; c < 3; ++c) {
    EXPECT_EQ(ours->GetCellType(c), reference->GetCellType(c));
    EXPECT_EQ(CellIds(ours->GetPolys(), c), CellIds(reference->GetPolys(), c));
  }
  EXPECT_EQ(ours->GetPolys()->GetNumberOfConnectivityIds(),
            reference->GetPolys()->GetNumberOfConnectivityIds());
  EXPECT_EQ(ours->GetPointData()->GetNumberOfArrays(),
            reference->GetPointData()->GetNumberOfArrays());
}

TEST(AllocateTriangles, WritesAfterTheCallReachTheMesh) {
  vtkNew<vtkPolyData> mesh;
  AllocatePoints(mesh, 4);
  vtkIdType* ids = AllocateTriangles(mesh, 2);
  // Everything below is written after allocation, through the returned buffer only.
  const vtkIdType written[] = {3, 2, 1, 0, 1, 3};
  std::copy(written, written + 6, ids);
  EXPECT_EQ(CellIds(mesh->GetPolys(), 0), (std::vector<vtkIdType>{3, 2, 1}));
  EXPECT_EQ(CellIds(mesh->GetPolys(), 1), (std::vector<vtkIdType>{0, 1, 3}));
  EXPECT_EQ(mesh->GetCell(1)->GetPointId(2), 3);
}

TEST(AllocatePoints, SecondAllocationReplacesTheStorage) {
  vtkNew<vtkPolyData> mesh;
  AllocatePoints(mesh, 3);
  float* second = AllocatePoints(mesh, 2);
  EXPECT_EQ(mesh->GetNumberOfPoints(), 2);
  second[3] = 7.5f;
  EXPECT_EQ(mesh->GetPoint(1)[0], 7.5);
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 1), second + 3);
}

TEST(AllocatePointsInDoubleFormat, StoresDoubles) {
  vtkNew<vtkPolyData> mesh;
  double* values = AllocatePointsInDoubleFormat(mesh, 2);
  values[5] = 0.1;  // not representable as a float
  EXPECT_EQ(mesh->GetPoints()->GetDataType(), VTK_DOUBLE);
  EXPECT_EQ(mesh->GetPoint(1)[2], 0.1);
  // Float readers get no pointer into double storage.
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 0), nullptr);
}

TEST(AllocateColors, ColourWithMaskGreysOutMaskedPoints) {
  vtkNew<vtkPolyData> mesh;
  AllocatePoints(mesh, 2);
  const unsigned char colour[] = {10, 20, 30};
  const bool mask[] = {true, false};
  unsigned char* bytes = AllocateColors(mesh, colour, mask);
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 6),
            (std::vector<unsigned char>{10, 20, 30, 200, 200, 200}));
  EXPECT_STREQ(mesh->GetPointData()->GetScalars()->GetName(), "RGB");
}

TEST(AllocateColors, ColourWithoutMaskColoursEveryPoint) {
  vtkNew<vtkPolyData> mesh;
  AllocatePoints(mesh, 2);
  const unsigned char colour[] = {1, 2, 3};
  unsigned char* bytes = AllocateColors(mesh, colour, nullptr);
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 6),
            (std::vector<unsigned char>{1, 2, 3, 1, 2, 3}));
}

TEST(ScaleArray, PointerArithmeticAndLookUp) {
  vtkNew<vtkPolyData> mesh;
  AllocatePoints(mesh, 5);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 0), nullptr);  // no "Scale" yet

  double* scales = AllocateScale(mesh);
  ASSERT_NE(scales, nullptr);
  EXPECT_EQ(mesh->GetPointData()->GetArray("Scale")->GetNumberOfTuples(), 5);
  EXPECT_EQ(mesh->GetPointData()->GetScalars(), nullptr);  // not made active
  double* third = GetPolyDataScalePointer(mesh, 2);
  EXPECT_EQ(reinterpret_cast<char*>(third) - reinterpret_cast<char*>(scales), 16);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 4), scales + 4);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 5), nullptr);  // past the array
}

TEST(GetPolyDataPointsPointer, NullWithoutStoredPoints) {
  vtkNew<vtkPolyData> noPointsObject;
  EXPECT_EQ(GetPolyDataPointsPointer(noPointsObject, 0), nullptr);
  vtkNew<vtkPolyData> empty;
  AllocatePoints(empty, 0);
  EXPECT_EQ(GetPolyDataPointsPointer(empty, 0), nullptr);
  vtkNew<vtkPolyData> two;
  float* first = AllocatePoints(two, 2);
  EXPECT_EQ(GetPolyDataPointsPointer(two, 1), first + 3);
  EXPECT_EQ(GetPolyDataPointsPointer(two, 2), nullptr);
}
