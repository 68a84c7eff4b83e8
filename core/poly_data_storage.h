#pragma once
// Mesh layout and the allocators that create it. Storage is allocated at its final size and
// handed out as raw pointers into the mesh's own arrays, which callers fill directly.
//
//   points     vtkPoints over a 3-component vtkFloatArray (x, y, z packed, point i at 3i)
//   triangles  polygon vtkCellArray, every cell a triangle (see AllocateTriangles)
//   "RGB"      3-component vtkUnsignedCharArray in the point data, the active scalars
//   "Scale"    1-component vtkDoubleArray in the point data, not active
//
// Ownership: every array is owned by the mesh; pointers stay valid while the mesh lives and
// its array of that kind is not replaced (a second allocation of the same kind, or cleaning).

#include <vtkType.h>

class vtkPolyData;

// Gives `mesh` new float point storage for n points; returns its first of 3n floats
// (uninitialised). A negative n counts as 0; a null mesh gets nothing and null is returned, as
// by every allocator here.
float* AllocatePoints(vtkPolyData* mesh, int n);

// As AllocatePoints, with double storage; returns its first of 3n doubles.
double* AllocatePointsInDoubleFormat(vtkPolyData* mesh, int n);

// Gives `mesh` a new polygon cell list of n triangles and returns its first of 3n
// connectivity ids (uninitialised). The caller writes triangle t's point ids a, b, c at
// ids 3t, 3t+1, 3t+2. The cell offsets (0, 3, 6, ...) are set here, so every cell is a
// triangle; the returned buffer is the cell list's own connectivity storage, so writes made
// after the call are what the mesh holds.
vtkIdType* AllocateTriangles(vtkPolyData* mesh, int n);

// Gives `mesh` a new "RGB" array, one tuple per current point, and makes it the active
// scalars. With `colour` (3 bytes) every point gets it, or, when `mask` (one bool per point) is
// given, the points whose mask is false get grey (200, 200, 200). With `colour` null the bytes
// are left uninitialised and `mask` is not read. Returns the first of 3 bytes per point.
unsigned char* AllocateColors(vtkPolyData* mesh, const unsigned char* colour, const bool* mask);

namespace Ostrel {
namespace Core {
namespace Impl {

// Adds a "Scale" array (one double per current point, uninitialised, not made active) to
// `mesh`'s point data; returns its first value.
double* AllocateScale(vtkPolyData* mesh);

// Address of point `index`'s "Scale" value, or null when `mesh` has no double "Scale" array or
// `index` is past its end.
double* GetPolyDataScalePointer(vtkPolyData* mesh, unsigned int index);

// Address of point `index`'s first coordinate in `mesh`'s float point storage, or null when the
// mesh has no points object, its storage is not float, or it has no point `index`.
float* GetPolyDataPointsPointer(vtkPolyData* mesh, unsigned int index);

// New mesh (one reference, owned by the caller) with n points copied from `points` (3n
// floats), colours copied from `colours` (3n bytes) when not null, and, when `triangles` is not
// null, m triangles whose point ids are read from `triangles` (3m ints). Without triangles the
// mesh has no cells at all; without colours no point data.
vtkPolyData* CreatePolyData(const float* points, unsigned int n, const unsigned char* colours,
                            const int* triangles, unsigned int m);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
