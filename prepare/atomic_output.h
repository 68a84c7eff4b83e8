#pragma once
// Meshes written by the prepare commands: whole or not at all, through the loaders' atomic file
// writer (temporary file beside the final path, then rename).

#include <string>

class vtkPolyData;

namespace Ostrel {
namespace Prepare {

// Writes `mesh` to `path` (its directory created when missing) as binary little-endian PLY with
// vtkPLYWriter: float or double x y z as the mesh stores them, uchar red green blue when the mesh
// has an "RGB" array, and a face element of uchar-counted int ids. That is the layout the
// evaluator's direct PLY reader takes. Returns an empty string, or what went wrong.
std::string writePlyAtomically(vtkPolyData* mesh, const std::string& path);

}  // namespace Prepare
}  // namespace Ostrel
