#pragma once
// Runs one of PCL's keypoint detectors over the vertices of a mesh (ISS, Harris and SIFT by our
// own roads to the same keypoints).
//
// Input: a cleaned mesh (its vertices are the detector's points; cells are not used), the
// settings (lengths in mesh resolutions) and the mesh resolution `mr` in model units that turns
// them into lengths. Output: `keypoints` (caller-owned, replaced) in the text form's fields:
// position and scale in model units, the vertex id where the keypoint is a vertex of the mesh
// (else -1), a score where the detector ranks its keypoints (higher: more salient; else 0). The
// order is the detector's; SortKeypoints (keypoint_order.h) gives the order files are written in.
// Returns false with a one-line reason in `error` when the detector cannot run on this mesh.

#include <string>
#include <vector>

#include "detect/detector_settings.h"
#include "testers/feature3d.h"

class vtkPolyData;

namespace Ostrel {
namespace Detect {

// True when `spec` (of detectorSpecs()) has a function that runs it here.
bool canRun(const DetectorSpec& spec);

bool detectKeypoints(vtkPolyData* mesh, const DetectorSettings& settings, double mr,
                     std::vector<LocalFeatures::Impl::Feature3D>& keypoints, std::string& error);

}  // namespace Detect
}  // namespace Ostrel
