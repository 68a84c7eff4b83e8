#pragma once
// The source of keypoints for a mesh, and the namer of the results table.

#include <boost/program_options/variables_map.hpp>
#include <string>

#include "testers/feature3d.h"
#include "testers/test_model.h"

class IDetectorTester {
 public:
  IDetectorTester(std::string& savingPath, double meshResolution, int radius);

  // "outputPath" + "/" + nickname + ".csv"; creates the missing directories on the way.
  virtual std::string getOutputFilename(boost::program_options::variables_map& vm);
  virtual ~IDetectorTester();
  virtual bool IsScaleInvariant() = 0;
  // Vertices a mesh of "maxVertexesInDataset" vertices keeps after decimation; < 1: none.
  virtual int decimate() = 0;
  // Reads the keypoints of `model` from its keypoint file (sets `name` first when empty). Ends
  // the process with status -100 when the file holds no keypoints or cannot be read.
  virtual void extract(TestModel& model);
  virtual std::string getDetectorNickname() = 0;
  // Reads a keypoint file (text, or binary when `binary`) into a new array stored in
  // `keypoints` and returns the count. Returns 0, allocating nothing and leaving the pointer
  // untouched, when the file cannot be opened or its count is missing, 0, negative or more than
  // the file can hold (text: more records than bytes; binary: shorter than 4 + 60 * count).
  // Text records the file lacks, and fields that do not parse, keep their defaults.
  virtual int load(const char* path, Ostrel::LocalFeatures::Impl::Feature3D*& keypoints,
                   bool binary);

  // New tester built from the options, owned by the caller. Ends the process with status -100
  // when no detector name was given.
  static IDetectorTester* getDetector(boost::program_options::variables_map& vm,
                                      double meshResolution);

 protected:
  double meshResolution;
  int radius;
  std::string savingPath;
};
