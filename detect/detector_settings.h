#pragma once
// The detector a run of ardentis-detect uses and its parameters. Lengths are in mesh
// resolutions (mr): the caller multiplies them by the models' mean resolution before use.

#include <string>
#include <vector>

namespace Ostrel {
namespace Detect {

struct DetectorSettings {
  std::string detector;  // iss, harris3d, sift3d or uniform
  double radius = 6.0;   // support radius (iss: salient radius; harris3d: radius; uniform: leaf)
  unsigned threads = 1;  // threads given to the detectors that run in parallel
  // iss
  double nonMaxRadius = 4.0;
  double gamma21 = 0.975;
  double gamma32 = 0.975;
  int minNeighbors = 5;
  // harris3d
  std::string method = "harris";  // harris, noble, lowe, tomasi or curvature
  double threshold = 1e-6;        // smallest response kept; 0 would keep the float noise of flats
  // sift3d
  double normalRadius = 4.0;  // radius of the normals whose curvature SIFT works on
  double minScale = 2.0;
  int octaves = 3;
  int scalesPerOctave = 4;
  // A curvature difference (no unit). Smooth surfaces have low contrast: at 0.001 SIFT finds
  // nothing on a smooth torus, while scans keep about the same keypoints at 0.0001.
  double minContrast = 0.0001;
};

// The detectors known, in the order the help lists them, and the name each writes its files
// under by default.
const std::vector<std::string>& KnownDetectors();
// ISS3D, HARRIS3D, SIFT3D or UNIFORM for a known detector; "" otherwise.
std::string CanonicalDetectorID(const std::string& detector);
// The response methods harris3d accepts.
const std::vector<std::string>& KnownHarrisMethods();

}  // namespace Detect
}  // namespace Ostrel
