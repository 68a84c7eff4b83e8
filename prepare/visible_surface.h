#pragma once
// The part of a mesh's surface seen from a viewpoint, as a range scanner there would see it.
//
// A vertex is visible when the segment from the viewpoint to it meets no polygon other than
// those the vertex belongs to: vtkStaticCellLocator::IntersectWithLine finds the segment's
// first polygon from the viewpoint, and the vertex is visible when there is none, when that
// polygon is one of the vertex's own, or when the hit lies at the vertex itself (within
// 1e-10 of the segment's length: rounding only, so that a neighbour grazed near the
// silhouette still hides it). A polygon is kept when all its vertices are visible.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

namespace Ostrel {
namespace Prepare {

// New mesh with the polygons of `mesh` that are visible from `viewpoint` (mesh units) and the
// points they use, in their original order and with their coordinates unchanged; point data
// is not kept. `mesh` must hold polygons only.
vtkSmartPointer<vtkPolyData> VisibleSurface(vtkPolyData* mesh, const double viewpoint[3]);

}  // namespace Prepare
}  // namespace Ostrel
