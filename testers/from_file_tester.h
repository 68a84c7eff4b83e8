#pragma once
// The tester that reads keypoints from files a detector wrote beforehand
// (<savingPath>/<detectorID>[_R-<radius>]_<mesh name>.feat); a file it cannot read ends the run.

#include <string>

#include "testers/detector_tester.h"

// Reads the keypoints a detector wrote beforehand, one file per mesh, found by the detector's
// name. Never asks for decimation.
class FromFileTester : public IDetectorTester {
 public:
  FromFileTester(const std::string& detectorID, std::string& savingPath, double meshResolution,
                 int radius);
  ~FromFileTester() override;

  bool IsScaleInvariant() override { return false; }
  int decimate() override { return -1; }
  std::string getDetectorNickname() override { return detectorID; }
  virtual bool IsVoxelBased() { return false; }
  virtual bool IsRangeMapBased() { return false; }

 private:
  std::string detectorID;
};
