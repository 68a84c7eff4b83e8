#pragma once
// Builds the scene and model records from the test configuration. Paths are "./data/" plus the
// configured value, double quotes removed, with "_<noise>" inserted before the last '.'
// (testset/naming.h).

#include <boost/program_options/variables_map.hpp>
#include <string>
#include <vector>

#include "testers/test_model.h"

class ScenePrefetch;

// The scene's mesh path from "SCENE.PATH" and "sigmaSceneNoise" when it is one the run loads
// (a ".ply" path); else empty. Prints nothing.
std::string plyScenePath(boost::program_options::variables_map& vm);

// Fills `scene` (a new record) from "SCENE.PATH" and "sigmaSceneNoise"; false when no mesh
// was loaded. When `prefetch` has read the scene, its point count is printed and the mesh is
// left to it (scene.mesh stays null until prepareScene takes it); else the mesh is loaded here,
// once the prefetch has finished.
bool loadScene(boost::program_options::variables_map& vm, TestModel& scene,
               ScenePrefetch* prefetch = nullptr);

// Appends one record per configured model, with its mesh and ground-truth pose; false at the
// first model or ground truth that cannot be read. A mesh that needs the loader's general road
// is read only once `prefetch` (when given) has finished.
bool loadModelsAndGroundTruth(boost::program_options::variables_map& vm,
                              std::vector<TestModel>& models, ScenePrefetch* prefetch = nullptr);
