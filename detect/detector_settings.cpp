#include "detect/detector_settings.h"

namespace Ostrel {
namespace Detect {

const std::vector<std::string>& KnownDetectors() {
  static const std::vector<std::string> names = {"iss", "harris3d", "sift3d", "uniform"};
  return names;
}

std::string CanonicalDetectorID(const std::string& detector) {
  if (detector == "iss") return "ISS3D";
  if (detector == "harris3d") return "HARRIS3D";
  if (detector == "sift3d") return "SIFT3D";
  if (detector == "uniform") return "UNIFORM";
  return "";
}

const std::vector<std::string>& KnownHarrisMethods() {
  static const std::vector<std::string> names = {"harris", "noble", "lowe", "tomasi", "curvature"};
  return names;
}

}  // namespace Detect
}  // namespace Ostrel
