#include "driver/keypoint_cloud.h"

#include <gtest/gtest.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <vector>

using Ostrel::LocalFeatures::Impl::Feature3D;
using Cloud = vtkSmartPointer<vtkPolyData>;

TEST(KeypointCloud, OnePointPerKeypointWithItsScaleAndNoCells) {
  std::vector<Feature3D> keypoints(3);
  for (int i = 0; i < 3; ++i) {
    keypoints[i].x = 1.5f * i;
    keypoints[i].y = -2.0f * i;
    keypoints[i].z = 0.25f + i;
    keypoints[i].scale = 0.1f * (i + 1);
  }
  Cloud cloud = Cloud::Take(createPolyDataWithKeypoints(keypoints.data(), 3));
  ASSERT_EQ(cloud->GetNumberOfPoints(), 3);
  EXPECT_EQ(cloud->GetNumberOfCells(), 0);
  vtkDataArray* scale = cloud->GetPointData()->GetArray("Scale");
  ASSERT_NE(scale, nullptr);
  EXPECT_EQ(cloud->GetPointData()->GetScalars(), nullptr);
  for (int i = 0; i < 3; ++i) {
    const double* p = cloud->GetPoint(i);
    EXPECT_EQ(std::vector<double>(p, p + 3),
              (std::vector<double>{keypoints[i].x, keypoints[i].y, keypoints[i].z}));
    EXPECT_EQ(scale->GetTuple1(i), double(keypoints[i].scale));  // widened, not rounded
  }
  // Empty sets give an empty cloud with an empty scale array.
  for (auto [keypoints, count] : {std::pair{&keypoints[0], 0}, {&keypoints[0], -4}, {nullptr, 5}}) {
    Cloud empty = Cloud::Take(createPolyDataWithKeypoints(keypoints, count));
    EXPECT_EQ(empty->GetNumberOfPoints(), 0) << count;
    ASSERT_NE(empty->GetPointData()->GetArray("Scale"), nullptr);
    EXPECT_EQ(empty->GetPointData()->GetArray("Scale")->GetNumberOfTuples(), 0);
  }
}
