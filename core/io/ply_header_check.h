#pragma once
// Structural check of a PLY file before it reaches vtkPLYReader, which crashes on damaged
// binary files and sizes its arrays by the header's counts before reading any data.

#include "core/io/read_support.h"

namespace Ostrel {
namespace Core {
namespace Impl {

using PlyCheck = StructureCheck;

// Checks that `path` starts with a PLY header that parses ("ply", a known format, elements
// with properties of known types, "end_header"), that the counts fit in what the file can
// hold, and, for a binary file, that the body is exactly as long as the elements need: rows
// of fixed size are skipped in one step, rows with lists are walked reading only the list
// lengths and face ids. Ascii bodies are checked row by row (one line each, ending in a line
// break, with a word per value). Both need a vertex element with x, y and z, list lengths of
// at least 0 and face ids of existing vertices: the reader crashes without them.
PlyCheck CheckPlyStructure(const char* path);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
