#pragma once
// Meshes written by the prepare commands: whole or not at all, by the test set's mesh writer
// (temporary file beside the final path, then rename), into directories made when missing.

#include <string>

class vtkPolyData;

namespace Ostrel {
namespace Prepare {

// Writes `mesh` to `path` (its directory created when missing) as testset/mesh_file_writer.h
// does: binary little-endian PLY in the layout the evaluator's direct reader takes. Returns an
// empty string, or what went wrong.
std::string writePlyAtomically(vtkPolyData* mesh, const std::string& path);

}  // namespace Prepare
}  // namespace Ostrel
