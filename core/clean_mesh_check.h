#pragma once
// Proof that vtkCleanPolyData (point merging, tolerance 0) would hand a mesh back unchanged,
// so the filter can be skipped for meshes that are already clean.

class vtkPolyData;

namespace Ostrel {
namespace Core {
namespace Impl {

// Gives `mesh` what vtkCleanPolyData (point merging, tolerance 0) would make of it, without
// running the filter, when that result is provable in one pass: the mesh has polygon cells
// only, every polygon has at least three distinct point ids, every point is used, no two
// points share a position (-0 and 0 count as one), no coordinate is NaN, the cells are stored
// with 64-bit ids, and there is no cell or field data and no point array beyond plain numeric
// ones. The filter then only renumbers the points by their first use in the cells, which is
// done here (nothing changes when they are numbered so already). Returns false, leaving the
// mesh untouched, in every other case; the caller then runs the filter.
bool CleanWithoutFilter(vtkPolyData* mesh);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
