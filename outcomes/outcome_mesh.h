#pragma once
// The inspection of one model as a mesh any viewer shows as it is: the scene's surface in grey
// and every keypoint as a small octahedron (so that it is drawn as a surface, which MeshLab,
// CloudCompare and ParaView all do) in the colour of its outcome, as per-vertex colours.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <string>
#include <vector>

#include "outcomes/keypoint_outcomes.h"

namespace Ostrel {
namespace Inspect {

// Per-vertex colours (red, green, blue), the Okabe-Ito hues that colour-blind readers tell apart.
struct Colour {
  unsigned char r, g, b;
};
constexpr Colour kSceneColour{190, 190, 190};
constexpr Colour kRepeatableColour{0, 158, 115};     // bluish green
constexpr Colour kNonOccludedColour{213, 94, 0};     // vermillion: non-occluded, not repeatable
constexpr Colour kOccludedColour{64, 64, 64};        // dark grey
constexpr Colour kSceneKeypointColour{0, 114, 178};  // blue

// Vertices and triangles of one marker.
constexpr int kMarkerVertices = 6;
constexpr int kMarkerTriangles = 8;
// Marker radii in mesh resolutions: a scene keypoint's is smaller, so that both of a matched
// pair show where they do not coincide.
constexpr double kModelMarkerRadius = 1.0;
constexpr double kSceneMarkerRadius = 0.6;

// How many markers of each kind a mesh holds, in the order of its vertices after the scene's.
struct MarkerCounts {
  int scene = 0;        // scene keypoints
  int repeatable = 0;   // then the model's keypoints by outcome
  int nonOccluded = 0;  // non-occluded, not repeatable
  int occluded = 0;     // occluded keypoints with a finite position (others have no place)
};

// The mesh of `model`: the scene's points and polygons, then one marker per scene keypoint and
// one per model keypoint grouped by outcome (repeatable, non-occluded, occluded; file order
// within each), all as float points with the "RGB" array of the colours above. `counts`
// receives how many markers of each kind it holds. Marker radii are in scene units through mr.
vtkSmartPointer<vtkPolyData> outcomeMesh(const Inspection& inspection, const InspectedModel& model,
                                         MarkerCounts& counts);

// The header comments that let the mesh be read back and drawn (the report's `inspect`): one
// "<key> <value...>" per line, naming the run, the counts and the layout of the vertices.
// `view` is the viewpoint X Y Z, or null.
std::vector<std::string> outcomeComments(const InspectRequest& request,
                                         const Inspection& inspection, const InspectedModel& model,
                                         const MarkerCounts& counts, const double* view);

}  // namespace Inspect
}  // namespace Ostrel
