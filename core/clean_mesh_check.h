#pragma once
// vtkCleanPolyData's result (point merging, tolerance 0) made without the filter for the meshes
// scanners and mesh writers produce: polygons only, exact copies of vertices, unused vertices and
// triangles that collapse when their corners merge.

class vtkPolyData;

namespace Ostrel {
namespace Core {
namespace Impl {

// What vtkCleanPolyData does with a triangle left with two or one distinct corners: a line when
// polysToLines, a vertex when linesToPoints (whatever polysToLines says), else nothing. The
// defaults are the filter's own.
struct CollapseRules {
  bool polysToLines = true;   // vtkCleanPolyData::ConvertPolysToLines
  bool linesToPoints = true;  // vtkCleanPolyData::ConvertLinesToPoints
};

// Gives `mesh` exactly what vtkCleanPolyData (point merging, tolerance 0, absolute tolerance,
// conversions as in `rules`) would make of it, without running the filter: the same points in
// the same order and precision (points at one position, -0 and 0 alike, become the first one
// met in the cells; unused points are dropped), the same vertex, line and polygon cells, and
// the same point and cell data. Covered: meshes with polygon cells only, stored with 64-bit ids,
// every polygon of 3 to 16 ids, a polygon of more than three ids keeping all of them distinct
// after merging, no coordinate NaN, fewer than 2^32 - 1 points, no field data, point and cell
// arrays plain numeric, named, one tuple per point or cell, no global or pedigree ids. Returns
// false, leaving the mesh untouched, in every other case; the caller then runs the filter.
bool CleanWithoutFilter(vtkPolyData* mesh, const CollapseRules& rules = {});

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
