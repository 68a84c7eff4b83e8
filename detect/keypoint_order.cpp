#include "detect/keypoint_order.h"

#include <algorithm>
#include <tuple>

namespace Ostrel {
namespace Detect {

using LocalFeatures::Impl::Feature3D;

void sortKeypoints(std::vector<Feature3D>& keypoints) {
  std::sort(keypoints.begin(), keypoints.end(), [](const Feature3D& a, const Feature3D& b) {
    return std::tie(a.index, a.x, a.y, a.z, a.scale, a.score) <
           std::tie(b.index, b.x, b.y, b.z, b.scale, b.score);
  });
}

}  // namespace Detect
}  // namespace Ostrel
