#include "measure/keypoint_cloud.h"

#include <vtkPolyData.h>

#include <cstddef>
#include <vector>

#include "core/poly_data_storage.h"

using Ostrel::LocalFeatures::Impl::Feature3D;

vtkPolyData* createPolyDataWithKeypoints(Feature3D* keypoints, int count) {
  // A missing array or a negative count is an empty set: the cloud then has no points.
  const std::size_t points = (keypoints != nullptr && count > 0) ? std::size_t(count) : 0;

  // Never hand a null buffer to the copy, even for an empty cloud.
  std::vector<float> positions(3 * points + 3, 0.0f);
  for (std::size_t i = 0; i < points; ++i) {
    positions[3 * i] = keypoints[i].x;
    positions[3 * i + 1] = keypoints[i].y;
    positions[3 * i + 2] = keypoints[i].z;
  }

  vtkPolyData* cloud = Ostrel::Core::Impl::CreatePolyData(
      positions.data(), static_cast<unsigned int>(points), nullptr, nullptr, 0);
  double* scales = Ostrel::Core::Impl::AllocateScale(cloud);
  for (std::size_t i = 0; i < points; ++i) scales[i] = keypoints[i].scale;
  return cloud;
}
