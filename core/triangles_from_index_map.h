#pragma once
// Triangles over an organised point grid (a range image or an organised PCD cloud), from the map
// of grid positions to point ids; returns the triangles as id records the caller owns.

namespace Ostrel {
namespace Core {
namespace Impl {

// Triangulates an organised grid. `indexMap` holds width * height point ids row by row (-1 where
// the grid has no point). Every square of neighbouring positions yields two triangles when all
// four corners hold points, one when exactly three do. Allocates `triangles` with new[]
// (8 * width * height values, none for a grid under 2 x 2; the caller releases it with delete[])
// and writes each triangle as the record 3, a, b, c. Returns the number of triangles written.
int CreateTrianglesFromIndexMap(const int* indexMap, int width, int height, long long*& triangles);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
