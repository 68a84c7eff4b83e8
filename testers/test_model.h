#pragma once
// The record of one mesh under test (a model or the scene): its path, mesh, ground-truth pose
// and keypoints, filled by the loading stage and the tester.

#include <string>

#include "testers/feature3d.h"

class vtkPolyData;

// One mesh under test, a model or the scene. The record does not own `mesh` or `keypoints`: the
// run driver releases both at the end of the run.
struct TestModel {
  std::string meshPath;     // ./data/<configured path> with the noise suffix before the extension
  std::string name;         // set by the tester from meshPath's file name when empty
  double noiseSigma = 0.0;  // the scene's noise level; 0 for models
  vtkPolyData* mesh = nullptr;
  float rotation[9];     // ground-truth pose, row by row: scene point = R * p + t (models only)
  float translation[3];  // models only
  Ostrel::LocalFeatures::Impl::Feature3D* keypoints = nullptr;  // array, released with delete[]
  int numKeypoints = 0;
};
