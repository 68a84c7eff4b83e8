#pragma once
// Cleaning a mesh before it is measured: merging coincident points and dropping the cells that
// are not polygons, in place (vtkCleanPolyData's road; see clean_mesh_check.h for the skip).

class vtkPolyData;

namespace Ostrel {
namespace Core {
namespace Impl {

// Cleans `mesh` in place with vtkCleanPolyData: with `merge`, points closer than `tolerance`
// (an absolute distance in the mesh's units) become one. With `polygonsOnly` the mesh ends with
// polygon cells only. The mesh object stays the same; its arrays are replaced. Null: no-op.
void CleanPolyData(vtkPolyData* mesh, bool merge, double tolerance, bool polygonsOnly);

// Empties the line, strip and vertex cell lists of `mesh`, keeping its polygons, points and
// point data. Cell data keeps the polygons' tuples only, so it stays aligned with the cells.
// Null: no-op.
void RemoveNotPolysCells(vtkPolyData* mesh);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
