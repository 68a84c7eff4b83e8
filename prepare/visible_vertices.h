#pragma once
// Which vertices of a mesh a range scanner at a viewpoint would see.
//
// The rule: a vertex is visible when the segment from the viewpoint to it meets no polygon other
// than those the vertex belongs to, except at the vertex itself (within a tolerance that covers
// rounding only, so that a neighbour grazed near the silhouette still hides it). A viewpoint on
// the vertex sees it.
//
// Two roads follow the rule:
// - VisibleVertices, the product's: one Embree occlusion ray per vertex, all vertices in
//   parallel. Embree works in single precision: each ray starts at the viewpoint rounded to float
//   and ends a fraction kRayEndTolerance (1e-5) of its length before its vertex, so a hit at the
//   vertex itself (a polygon that touches it without naming it, such as a duplicate of the
//   vertex) stays beyond the ray's end even at a slant where float rounding moves the hit by a
//   hundred times its usual error. Hits on the vertex's own polygons are discarded by a filter,
//   whatever their distance. Polygons that are not triangles are triangulated (ear cutting) for
//   the rays only; degenerate triangles are never hit.
// - VisibleVerticesByCellLocator, the reference the tests hold it to: VTK's
//   vtkStaticCellLocator::IntersectWithLine in double precision, one segment at a time. The
//   vertex is visible when the segment's first polygon from the viewpoint is one of its own or
//   lies within 1e-10 of the segment's length from the vertex.
// The roads differ only for rays that graze a polygon within their tolerances (near an edge of
// the polygon, or hitting it within 1e-5 of the ray's length before the vertex), and for
// polygons of no area across a ray, which VTK's locator may count as hits.

#include <vtkPolyData.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Ostrel {
namespace Prepare {

// Fraction of each ray's length before its vertex where the Embree road's ray ends.
constexpr float kRayEndTolerance = 1e-5f;

// Visibility of every point of `mesh` (polygons only; point coordinates in mesh units) from
// `viewpoint` (mesh units), by Embree on `threads` threads (>= 1). Fills `visible` with one
// entry per point, 1 when visible, 0 when not; the result does not depend on `threads`.
// Returns "" on success, else the problem (Embree could not start or build its index; the mesh
// has more points than 32-bit ids hold or a polygon naming a point it does not have), `visible`
// then being left empty.
std::string visibleVertices(vtkPolyData* mesh, const double viewpoint[3], int threads,
                            std::vector<std::uint8_t>& visible);

// The same by VTK's cell locator on one thread (see above); slower by an order of magnitude or
// two. Kept as the tests' reference.
std::vector<std::uint8_t> visibleVerticesByCellLocator(vtkPolyData* mesh,
                                                       const double viewpoint[3]);

}  // namespace Prepare
}  // namespace Ostrel
