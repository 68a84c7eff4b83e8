#include "detect/keypoint_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <tuple>

namespace Ostrel {
namespace Detect {

using LocalFeatures::Impl::Feature3D;

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string reason(const std::string& path, const std::string& what) {
  return "cannot write " + path + ": " + what;
}

bool writeRecords(std::FILE* file, const std::vector<Feature3D>& keypoints) {
  if (std::fprintf(file, "%zu\n", keypoints.size()) < 0) return false;
  for (const Feature3D& k : keypoints) {
    if (std::fprintf(file, "%.9g %.9g %.9g %.9g %d %.9g\n", k.x, k.y, k.z, k.scale, k.index,
                     k.score) < 0) {
      return false;
    }
  }
  return true;
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
  // The process id keeps two runs writing the same file from sharing a temporary name.
  const std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(temporary.c_str(), "w"));
  if (!file) {
    error = reason(path, std::strerror(errno));
    return false;
  }
  bool written = writeRecords(file.get(), keypoints);
  written = std::fflush(file.get()) == 0 && written;
  const int savedErrno = errno;
  written = std::fclose(file.release()) == 0 && written;
  if (!written) {
    std::remove(temporary.c_str());
    error = reason(path, std::strerror(savedErrno ? savedErrno : EIO));
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = reason(path, std::strerror(errno));
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace Detect
}  // namespace Ostrel
