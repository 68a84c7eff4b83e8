#pragma once
// What one run of ardentis-detect detects with: the detector and its option values, the
// support radius and the threads. Lengths are in mesh resolutions (mr): the caller multiplies
// them by the models' mean resolution before use.

#include "detect/detector_table.h"

namespace Ostrel {
namespace Detect {

struct DetectorSettings {
  DetectorSetting detector;
  double radius = 6.0;   // support radius (iss: salient radius; harris3d: radius; uniform: leaf)
  unsigned threads = 1;  // threads given to the detectors that run in parallel
};

// The detector named `detector` (which detectorSpecs() must hold) with every option at its
// default.
inline DetectorSettings settingsFor(const std::string& detector, double radius = 6.0,
                                    unsigned threads = 1) {
  return {defaultSetting(*findDetector(detector)), radius, threads};
}

}  // namespace Detect
}  // namespace Ostrel
