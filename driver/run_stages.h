#pragma once
// The stages of one evaluation run, in the order runEvaluation calls them; the benchmark times
// the same functions. Every stage works on the run's records and prints the run's progress
// lines, except measureModels, which prints nothing.

#include <boost/program_options/variables_map.hpp>
#include <memory>
#include <vector>

#include "core/point_grid.h"
#include "driver/scene_prefetch.h"
#include "measure/repeatability.h"
#include "testers/detector_tester.h"
#include "testers/test_model.h"

// The records of one run. Meshes and keypoint arrays are not owned by their TestModel, so the
// records release them, tester first, on every way out of the run. With more than one thread,
// the scene is read, measured, cleaned and given its point grid by `scenePrefetch` meanwhile;
// its mesh reaches `scene` in prepareScene.
struct RunRecords {
  std::vector<TestModel> models;
  TestModel scene;
  std::unique_ptr<IDetectorTester> tester;
  std::unique_ptr<ScenePrefetch> scenePrefetch;
  std::unique_ptr<Ostrel::Core::Impl::PointGrid> sceneGrid;  // over the cleaned scene, or null
  int threads = 1;                                           // RunThreadCount, read once

  RunRecords() = default;
  RunRecords(const RunRecords&) = delete;
  RunRecords& operator=(const RunRecords&) = delete;
  ~RunRecords();
};

// Loads every configured model with its ground truth, then the scene, printing the loading
// lines; sets run.threads. With more than one thread the scene's work starts first, on a thread
// of its own. Returns 0, -2 when a model or its ground truth cannot be read, or -1 when the scene
// cannot (after "Problems loading scene").
int loadRunRecords(boost::program_options::variables_map& vm, RunRecords& run);

// The models' mean resolution as testset/evaluation_mesh.h measures it, over the records' meshes
// (each cleaned in place, up to `threads` at a time); `resolutions` receives each model's.
// Prints nothing.
double measureModels(std::vector<TestModel>& models, std::vector<double>& resolutions,
                     int threads = 1);

// Makes run.tester for radii.meanModelResolution; when the tester decimates, decimates the
// models and makes it again for their new mean resolution. Sets radii.decimationLevel and
// radii.meanResolution.
void prepareTester(boost::program_options::variables_map& vm, RunRecords& run,
                   RepeatabilityRadii& radii);

// Extracts the keypoints of every model, one progress line each.
void extractModelKeypoints(IDetectorTester& tester, std::vector<TestModel>& models);

// Prints the scene's mesh resolution, takes the threshold and the scene noise from `vm`,
// decimates the scene when the models were, and cleans it in place (or takes the mesh and
// point grid the prefetch made, the same).
void prepareScene(boost::program_options::variables_map& vm, RunRecords& run,
                  RepeatabilityRadii& radii);

// Extracts the scene's keypoints and prints their count.
void extractSceneKeypoints(IDetectorTester& tester, TestModel& scene);
