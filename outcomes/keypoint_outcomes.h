#pragma once
// One evaluation run taken apart keypoint by keypoint: the test set read as ardentis reads it
// (meshes cleaned as it cleans them, mean models' resolution as it measures it, the same keypoint
// files), and every model keypoint's outcome from the evaluator's own measure.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <string>
#include <vector>

#include "measure/repeatability.h"
#include "testers/feature3d.h"

namespace Ostrel {
namespace Inspect {

// What to inspect: the evaluator's options of the same names.
struct InspectRequest {
  std::string configPath;  // -C
  std::string savingPath;  // -S
  std::string detectorID;  // --detectorID
  int radius = -1;         // -r: part of the keypoint file names when > 0
  double noise = 0.1;      // -n: the scene's noise level
  double threshold = 1.0;  // -t: matching and visibility radius, in mesh resolutions
};

// One model: its keypoints carried into the scene by its ground-truth pose (scene units) and
// what became of each, in keypoint file order.
struct InspectedModel {
  std::string name;                       // mesh name: bear_0
  std::vector<float> mappedKeypoints;     // x y z per keypoint; may be non-finite
  std::vector<KeypointOutcome> outcomes;  // one per keypoint
  int nonOccluded = 0;                    // the evaluator's counts
  int repeatable = 0;
  double bounds[6] = {0, 0, 0, 0, 0, 0};  // the model mesh carried into the scene: x, y, z ranges
};

struct Inspection {
  double meanResolution = 0.0;         // mr: the evaluator's "Mean models' resolution"
  std::string sceneName;               // scene_0.1
  vtkSmartPointer<vtkPolyData> scene;  // cleaned as the evaluation cleans it
  std::vector<float> sceneKeypoints;   // x y z per keypoint
  std::vector<InspectedModel> models;  // in configuration order
};

// Fills `inspection` for `request`, reading from the working directory's ./data/ as ardentis
// does. Returns "" and sets `status` to 0, or the problem (naming the file) with the exit status:
// 2 for a configuration that cannot be read, 1 for a mesh, ground truth or keypoint file.
std::string inspectRun(const InspectRequest& request, Inspection& inspection, int& status);

}  // namespace Inspect
}  // namespace Ostrel
