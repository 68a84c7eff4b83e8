#pragma once
// The part of a mesh's surface seen from a viewpoint, as a range scanner there would see it:
// the polygons all of whose vertices are visible (visible_vertices.h gives the rule).

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Ostrel {
namespace Prepare {

// New mesh with the polygons of `mesh` whose points are all marked in `visible` (one entry per
// point, nonzero when visible) and the points they use, in their original order and with their
// coordinates unchanged; point data is not kept.
vtkSmartPointer<vtkPolyData> visiblePolygons(vtkPolyData* mesh,
                                             const std::vector<std::uint8_t>& visible);

// Sets `surface` to the visible polygons of `mesh` (polygons only) from `viewpoint` (mesh
// units), the vertices' visibility found by Embree on `threads` threads (>= 1); the surface does
// not depend on `threads`. Returns "" on success, else the problem (and `surface` is unchanged).
std::string visibleSurface(vtkPolyData* mesh, const double viewpoint[3], int threads,
                           vtkSmartPointer<vtkPolyData>& surface);

}  // namespace Prepare
}  // namespace Ostrel
