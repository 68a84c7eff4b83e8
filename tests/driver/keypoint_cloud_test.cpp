#include "driver/keypoint_cloud.h"

#include <gtest/gtest.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <vector>

namespace {

using Ostrel::LocalFeatures::Impl::Feature3D;

vtkSmartPointer<vtkPolyData> cloudOf(Feature3D* keypoints, int count) {
  vtkSmartPointer<vtkPolyData> cloud;
  cloud.TakeReference(createPolyDataWithKeypoints(keypoints, count));
  return cloud;
}

TEST(KeypointCloud, OnePointPerKeypointWithItsScaleAndNoCells) {
  std::vector<Feature3D> keypoints(3);
  for (int i = 0; i < 3; ++i) {
    keypoints[i].x = 1.5f * i;
    keypoints[i].y = -2.0f * i;
    keypoints[i].z = 0.25f + i;
    keypoints[i].scale = 0.1f * (i + 1);
  }
  auto cloud = cloudOf(keypoints.data(), 3);
  ASSERT_EQ(cloud->GetNumberOfPoints(), 3);
  EXPECT_EQ(cloud->GetNumberOfCells(), 0);
  vtkDataArray* scale = cloud->GetPointData()->GetArray("Scale");
  ASSERT_NE(scale, nullptr);
  EXPECT_EQ(cloud->GetPointData()->GetScalars(), nullptr);
  for (int i = 0; i < 3; ++i) {
    double p[3];
    cloud->GetPoint(i, p);
    EXPECT_EQ(p[0], keypoints[i].x);
    EXPECT_EQ(p[1], keypoints[i].y);
    EXPECT_EQ(p[2], keypoints[i].z);
    EXPECT_EQ(scale->GetTuple1(i), double(keypoints[i].scale));  // widened, not rounded
  }
}

TEST(KeypointCloud, EmptySetsGiveAnEmptyCloudWithAnEmptyScaleArray) {
  Feature3D one;
  for (auto [keypoints, count] : {std::pair<Feature3D*, int>{&one, 0}, {&one, -4}, {nullptr, 5}}) {
    auto cloud = cloudOf(keypoints, count);
    EXPECT_EQ(cloud->GetNumberOfPoints(), 0) << count;
    ASSERT_NE(cloud->GetPointData()->GetArray("Scale"), nullptr);
    EXPECT_EQ(cloud->GetPointData()->GetArray("Scale")->GetNumberOfTuples(), 0);
  }
}

}  // namespace
