#pragma once
// The benchmark's input: a scene made of several posed, partly cut away, noisy torus-like
// models, written once as binary PLY with keypoint files, ground truth and a test .ini.

#include <string>

namespace ardentis_bench {

struct WorkloadShape {
  int models;            // number of models in the scene
  int ringSteps;         // grid rows around the big circle of each model
  int tubeSteps;         // grid columns around the tube; vertices per model = ringSteps * tubeSteps
  int keypoints;         // keypoints per model
  bool rawScan = false;  // meshes written as a range scanner leaves them (see workload.cpp)
};

// Writes the workload into `directory` unless a previous run finished writing it there.
// Layout: data/models/m<i>_0.ply, data/gt/m<i>.txt, data/scenes/scene_0.1.ply, feats/*.feat,
// test.ini. Returns false (after a message on standard error) when a file cannot be written.
bool EnsureWorkload(const std::string& directory, const WorkloadShape& shape);

// The detector name the keypoint files are written for, and the scene noise level.
constexpr const char* kDetectorName = "Bench";
constexpr const char* kSceneNoise = "0.1";

}  // namespace ardentis_bench
