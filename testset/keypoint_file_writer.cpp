#include "testset/keypoint_file_writer.h"

#include <cstdio>

#include "core/io/atomic_file.h"

namespace Ostrel {
namespace TestSet {

using LocalFeatures::Impl::Feature3D;

std::string writeKeypointFile(const std::string& path, const std::vector<Feature3D>& keypoints) {
  std::string text = std::to_string(keypoints.size()) + "\n";
  char record[160];
  for (const Feature3D& k : keypoints) {
    const int length = std::snprintf(record, sizeof record, "%.9g %.9g %.9g %.9g %d %.9g\n", k.x,
                                     k.y, k.z, k.scale, k.index, k.score);
    text.append(record, static_cast<std::size_t>(length));
  }
  return Core::Impl::WriteFileAtomically(path, text);
}

}  // namespace TestSet
}  // namespace Ostrel
