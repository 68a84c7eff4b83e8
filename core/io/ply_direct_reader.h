#pragma once
// Direct reader for the PLY layout that scanners and mesh tools write most: binary little
// endian, a vertex element of float or double x y z (optionally float nx ny nz, then uchar
// red green blue [alpha]) and an optional face element holding only a uchar-counted list of
// int vertex ids (types under either of their names: float or float32, uchar or uint8, ...).
// It builds the mesh vtkPLYReader builds for such a file, without its per-value overhead, and
// checks the structure as it goes (exact length, ids of existing vertices). The header is read
// by the shared parser (ply_header.h).

class vtkPolyData;

namespace Ostrel {
namespace Core {
namespace Impl {

// New mesh (one reference, owned by the caller) read from `path`, or null when the file is not
// of the layout above or is damaged in any way; the caller then takes the general road, which
// reports what is wrong. Prints nothing.
vtkPolyData* ReadSimpleBinaryPly(const char* path);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
