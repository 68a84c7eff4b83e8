#pragma once
// Output files that appear whole or not at all: each is written to a temporary name in its own
// directory (created when missing), then renamed over the final path. A failure leaves the
// final path as it was and removes the temporary file.

#include <string>

class vtkPolyData;

namespace Ostrel {
namespace Prepare {

// Writes `mesh` to `path` as binary little-endian PLY with vtkPLYWriter: float or double
// x y z as the mesh stores them, uchar red green blue when the mesh has an "RGB" array, and a
// face element of uchar-counted int ids. That is the layout the evaluator's direct PLY reader
// takes. Returns an empty string, or what went wrong.
std::string WritePlyAtomically(vtkPolyData* mesh, const std::string& path);

// Writes `content` to `path`; empty string or what went wrong.
std::string WriteTextAtomically(const std::string& content, const std::string& path);

}  // namespace Prepare
}  // namespace Ostrel
