#pragma once
// Proof that vtkCleanPolyData (point merging, tolerance 0) would hand a mesh back unchanged,
// so the filter can be skipped for meshes that are already clean.

class vtkPolyData;

namespace Ostrel {
namespace Core {
namespace Impl {

// True only when `mesh` has polygon cells and nothing else, and the filter would return the
// same points in the same order, the same cells and the same point data: every polygon has at
// least three distinct point ids, points are first used in the order 0, 1, 2, ... and all of
// them are used, no two points share a position (-0 and 0 count as one), no coordinate is NaN,
// the cells are stored with 64-bit ids, and there is no cell or field data and no point array
// beyond plain numeric ones. Any doubt answers false, and the mesh then goes through the
// filter.
bool IsAlreadyClean(vtkPolyData* mesh);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
