#pragma once
// Writing keypoint files in the text form the evaluator reads: the count on the first line, then
// one line "x y z scale index score" per keypoint.

#include <string>
#include <vector>

#include "testers/feature3d.h"

namespace Ostrel {
namespace TestSet {

// Writes `keypoints` to `path` through a temporary file in the same directory, renamed over
// `path` once complete, so that `path` is never a partial file. Values are written with nine
// significant digits, which read back as the same floats. Returns "" or the problem (naming the
// file); no temporary file is left then.
std::string writeKeypointFile(const std::string& path,
                              const std::vector<LocalFeatures::Impl::Feature3D>& keypoints);

}  // namespace TestSet
}  // namespace Ostrel
