#pragma once
// Writing meshes in the layout the evaluator's direct PLY reader takes, whole or not at all.

#include <string>
#include <vector>

class vtkPolyData;

namespace Ostrel {
namespace TestSet {

// Writes `mesh` to `path` (its directory must exist) as binary little-endian PLY with
// vtkPLYWriter: float or double x y z as the mesh stores them, uchar red green blue when the mesh
// has an "RGB" array, and a face element of uchar-counted int ids; each of `comments` is a
// "comment" line of the header. The file goes through a temporary name in the same directory,
// renamed over `path` once complete. Returns "", or what went wrong (naming the file).
std::string writeMeshFile(vtkPolyData* mesh, const std::string& path,
                          const std::vector<std::string>& comments = {});

}  // namespace TestSet
}  // namespace Ostrel
