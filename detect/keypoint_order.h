#pragma once
// The order ardentis-detect writes keypoints in, which does not depend on the order the detector
// found them in, so that any thread count gives the same file.

#include <vector>

#include "testers/feature3d.h"

namespace Ostrel {
namespace Detect {

// By vertex index, then by position (x, y, z) for keypoints that are not vertices (index -1),
// then by scale and score.
void sortKeypoints(std::vector<LocalFeatures::Impl::Feature3D>& keypoints);

}  // namespace Detect
}  // namespace Ostrel
