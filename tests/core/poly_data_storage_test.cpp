#include "core/poly_data_storage.h"

#include <gtest/gtest.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>

#include "test_meshes.h"

using namespace Ostrel::Core::Impl;
using namespace ardentis_core_test;

TEST(CreatePolyData, EqualsTheMeshVtkBuildsAndKeepsColours) {
  const float xyz[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0.5f};
  const int triangles[] = {0, 1, 2, 2, 1, 3, 3, 0, 1};
  const unsigned char colours[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Mesh bare = Mesh::Take(CreatePolyData(xyz, 4, nullptr, nullptr, 7));
  EXPECT_EQ(bare->GetNumberOfCells(), 0);
  EXPECT_EQ(bare->GetPointData()->GetNumberOfArrays(), 0);
  EXPECT_EQ(bare->GetReferenceCount(), 1);

  Mesh ours = Mesh::Take(CreatePolyData(xyz, 4, colours, triangles, 3));
  Mesh reference =
      MeshOf({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0.5}, {{0, 1, 2}, {2, 1, 3}, {3, 0, 1}});
  EXPECT_EQ(ours->GetPoint(3)[2], 0.5);
  EXPECT_EQ(Flat(ours->GetPolys()), Flat(reference->GetPolys()));
  EXPECT_EQ(ours->GetPolys()->GetNumberOfConnectivityIds(), 9);
  EXPECT_EQ(ours->GetCell(1)->GetPointId(2), 3);  // the random-access map is built
  auto* rgb = vtkUnsignedCharArray::SafeDownCast(ours->GetPointData()->GetScalars());
  ASSERT_NE(rgb, nullptr);
  EXPECT_STREQ(rgb->GetName(), "RGB");
  EXPECT_TRUE(std::equal(colours, colours + 12, rgb->GetPointer(0)));
}

TEST(AllocateTriangles, WritesAfterTheCallReachTheMesh) {
  vtkNew<vtkPolyData> mesh;
  AllocatePoints(mesh, 4);
  vtkIdType* ids = AllocateTriangles(mesh, 2);
  const vtkIdType written[] = {3, 2, 1, 0, 1, 3};
  std::copy(written, written + 6, ids);
  EXPECT_EQ(Flat(mesh->GetPolys()), (Ids{3, 3, 2, 1, 3, 0, 1, 3}));
  EXPECT_EQ(mesh->GetCell(1)->GetPointId(2), 3);
}

TEST(PointStorage, PointersFollowTheStorageAndAreNullOutsideIt) {
  vtkNew<vtkPolyData> mesh;
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 0), nullptr);  // no points object
  AllocatePoints(mesh, 3);
  float* second = AllocatePoints(mesh, 2);  // replaces the first storage
  EXPECT_EQ(mesh->GetNumberOfPoints(), 2);
  second[3] = 7.5f;
  EXPECT_EQ(mesh->GetPoint(1)[0], 7.5);
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 1), second + 3);
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 2), nullptr);

  double* values = AllocatePointsInDoubleFormat(mesh, 2);
  values[5] = 0.1;  // not representable as a float
  EXPECT_EQ(mesh->GetPoint(1)[2], 0.1);
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 0), nullptr);  // no float pointer into doubles
}

TEST(AllocateColors, MaskedPointsAreGrey) {
  vtkNew<vtkPolyData> mesh;
  AllocatePoints(mesh, 2);
  const unsigned char colour[] = {10, 20, 30};
  const bool mask[] = {true, false};
  unsigned char* bytes = AllocateColors(mesh, colour, mask);
  EXPECT_EQ(std::vector<int>(bytes, bytes + 6), (std::vector<int>{10, 20, 30, 200, 200, 200}));
  bytes = AllocateColors(mesh, colour, nullptr);
  EXPECT_EQ(std::vector<int>(bytes, bytes + 6), (std::vector<int>{10, 20, 30, 10, 20, 30}));
  EXPECT_STREQ(mesh->GetPointData()->GetScalars()->GetName(), "RGB");
}

TEST(ScaleArray, PointersStayInsideTheArray) {
  vtkNew<vtkPolyData> mesh;
  AllocatePoints(mesh, 5);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 0), nullptr);  // no "Scale" yet
  double* scales = AllocateScale(mesh);
  ASSERT_NE(scales, nullptr);
  EXPECT_EQ(mesh->GetPointData()->GetArray("Scale")->GetNumberOfTuples(), 5);
  EXPECT_EQ(mesh->GetPointData()->GetScalars(), nullptr);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 4), scales + 4);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 5), nullptr);
}
