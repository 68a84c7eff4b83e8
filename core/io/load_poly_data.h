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

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
