#pragma once
// Structural check of a legacy VTK file before it reaches vtkPolyDataReader, which crashes on
// cell lists that end early or name points that do not exist, and sizes its arrays by the
// file's counts before reading.

#include "core/io/read_support.h"

namespace Ostrel {
namespace Core {
namespace Impl {

// For an ASCII file: walks the POINTS section and every VERTICES, LINES, POLYGONS and
// TRIANGLE_STRIPS section (classic count-prefixed lists and OFFSETS/CONNECTIVITY lists),
// requiring every value the counts promise and cell ids of existing points. Attribute data
// and binary files are left to the reader.
StructureCheck CheckLegacyVtkCells(const char* path);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
