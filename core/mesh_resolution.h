#pragma once
// Mesh resolution: the mean edge length of a mesh's polygons, in the mesh's units. Every radius
// of the evaluation is a multiple of it.

class vtkPolyData;

namespace Ostrel {
namespace Core {
namespace Impl {

// Mean length of a mesh's polygon edges, polygon by polygon, each polygon closed on itself (an
// edge shared by two polygons counts twice). Only polygon cells are measured. Lengths are in
// the mesh's units, summed and divided in double precision. 0.0 for a null mesh or one without
// polygons. Point ids are taken as their low 32 bits; a polygon naming a point the mesh does not
// have is left out of the mean.
double compute_mesh_resolution(vtkPolyData* mesh);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
