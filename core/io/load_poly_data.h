#pragma once
// The one mesh loader of the system: picks the reader by the file's extension and refuses
// meshes that no later stage can measure. Returns a new mesh, or null after a message.

class vtkPolyData;

namespace Ostrel {
namespace Core {
namespace Impl {

// Loads a mesh, choosing the reader by the path's extension (from its last '.', compared
// case-insensitively): .ply, .obj, .vtk, .off, .vert/.tri (the pair sharing the path without
// extension) and .pcd. Returns a new mesh owned by the caller (release with Delete), exactly as
// the reader built it, or null after a message when the type is not supported or the reader
// fails.
vtkPolyData* LoadPolyData(const char* path);

// The mesh LoadPolyData(path) returns when it reads `path` by its direct PLY road, on which
// nothing is ever printed; null, having printed nothing, for every other file, which the caller
// then loads with LoadPolyData to get its messages. Safe to call from any thread.
vtkPolyData* LoadPolyDataSilently(const char* path);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
