#include "core/poly_data_storage.h"

#include <gtest/gtest.h>
#include <vtkUnsignedCharArray.h>

#include "test_meshes.h"

using namespace Ostrel::Core::Impl;
using namespace ardentis_core_test;

// Writes through the returned pointers reach the mesh; the lookups are null outside storage.
TEST(PolyDataStorage, CreateAllocateAndLookUp) {
  const float xyz[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0.5f};
  const int triangles[] = {0, 1, 2, 2, 1, 3, 3, 0, 1};
  const unsigned char colours[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Mesh bare = Mesh::Take(CreatePolyData(xyz, 4, nullptr, nullptr, 7));
  EXPECT_EQ(bare->GetNumberOfCells() + bare->GetPointData()->GetNumberOfArrays(), 0);
  Mesh mesh = Mesh::Take(CreatePolyData(xyz, 4, colours, triangles, 3));
  EXPECT_EQ(Flat(mesh->GetPolys()), (Ids{3, 0, 1, 2, 3, 2, 1, 3, 3, 3, 0, 1}));
  EXPECT_EQ(mesh->GetPoint(3)[2], 0.5);
  EXPECT_EQ(mesh->GetCell(1)->GetPointId(2), 3);  // the random-access map is built
  auto* rgb = vtkUnsignedCharArray::SafeDownCast(mesh->GetPointData()->GetScalars());
  ASSERT_NE(rgb, nullptr);
  EXPECT_STREQ(rgb->GetName(), "RGB");
  EXPECT_EQ(std::vector<int>(rgb->GetPointer(0), rgb->GetPointer(12)),
            std::vector<int>(colours, colours + 12));
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 3)[1], 1.0f);
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 4), nullptr);
  float* points = AllocatePoints(mesh, 4);  // replaces the first storage
  points[3] = 7.5f;
  EXPECT_EQ(mesh->GetPoint(1)[0], 7.5);
  const vtkIdType written[] = {3, 2, 1, 0, 1, 3};
  std::copy(written, written + 6, AllocateTriangles(mesh, 2));
  EXPECT_EQ(Flat(mesh->GetPolys()), (Ids{3, 3, 2, 1, 3, 0, 1, 3}));
  EXPECT_EQ(mesh->GetCell(1)->GetPointId(2), 3);
  const unsigned char colour[] = {10, 20, 30};
  const bool mask[] = {true, false, false, true};
  unsigned char* bytes = AllocateColors(mesh, colour, mask);
  EXPECT_EQ(std::vector<int>(bytes, bytes + 6), (std::vector<int>{10, 20, 30, 200, 200, 200}));
  bytes = AllocateColors(mesh, colour, nullptr);
  EXPECT_EQ(std::vector<int>(bytes + 3, bytes + 6), (std::vector<int>{10, 20, 30}));
  EXPECT_STREQ(mesh->GetPointData()->GetScalars()->GetName(), "RGB");
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 0), nullptr);  // no "Scale" yet
  double* scales = AllocateScale(mesh);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 3), scales + 3);
  EXPECT_EQ(GetPolyDataScalePointer(mesh, 4), nullptr);
  double* values = AllocatePointsInDoubleFormat(mesh, 2);
  values[5] = 0.1;  // not representable as a float
  EXPECT_EQ(mesh->GetPoint(1)[2], 0.1);
  EXPECT_EQ(GetPolyDataPointsPointer(mesh, 0), nullptr);  // no float pointer into doubles
}
