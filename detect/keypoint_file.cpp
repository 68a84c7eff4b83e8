#include "detect/keypoint_file.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "core/io/atomic_file.h"

namespace Ostrel {
namespace Detect {

using LocalFeatures::Impl::Feature3D;

namespace {

// The text form: the count, then one record per line, with nine significant digits, which read
// back as the same floats.
std::string fileText(const std::vector<Feature3D>& keypoints) {
  std::string text = std::to_string(keypoints.size()) + "\n";
  char record[160];
  for (const Feature3D& k : keypoints) {
    const int length = std::snprintf(record, sizeof record, "%.9g %.9g %.9g %.9g %d %.9g\n", k.x,
                                     k.y, k.z, k.scale, k.index, k.score);
    text.append(record, static_cast<std::size_t>(length));
  }
  return text;
}

}  // namespace

void SortKeypoints(std::vector<Feature3D>& keypoints) {
  std::sort(keypoints.begin(), keypoints.end(), [](const Feature3D& a, const Feature3D& b) {
    return std::tie(a.index, a.x, a.y, a.z, a.scale, a.score) <
           std::tie(b.index, b.x, b.y, b.z, b.scale, b.score);
  });
}

bool WriteKeypointFile(const std::string& path, const std::vector<Feature3D>& keypoints,
                       std::string& error) {
  error = Core::Impl::WriteFileAtomically(path, fileText(keypoints));
  return error.empty();
}

}  // namespace Detect
}  // namespace Ostrel
