#pragma once
// Writing keypoint files in the text form ardentis reads: the count on the first line, then one
// line "x y z scale index score" per keypoint.

#include <string>
#include <vector>

#include "testers/feature3d.h"

namespace Ostrel {
namespace Detect {

// Puts `keypoints` in the order files are written in: by vertex index, then by position (x, y,
// z) for keypoints that are not vertices (index -1), then by scale and score. The order does not
// depend on the order the detector found them in, so any thread count gives the same file.
void SortKeypoints(std::vector<LocalFeatures::Impl::Feature3D>& keypoints);

// Writes `keypoints` to `path` through a temporary file in the same directory, renamed over
// `path` once complete, so that `path` is never a partial file. Values are written with nine
// significant digits, which read back as the same floats. Returns false with a one-line reason
// in `error` (naming the file) when the file cannot be written; no temporary file is left then.
bool WriteKeypointFile(const std::string& path,
                       const std::vector<LocalFeatures::Impl::Feature3D>& keypoints,
                       std::string& error);

}  // namespace Detect
}  // namespace Ostrel
