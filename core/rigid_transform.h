#pragma once
// Rigid motions of packed single-precision points (x, y, z triples), in place.

namespace Ostrel {
namespace Core {
namespace Impl {

// points[i] += translation, for `count` points (nothing when count <= 0).
void Translate(float* points, int count, const float* translation);

// points[i] = R * points[i], R being 9 floats stored row by row, for `count` points.
void Rotate3x3(float* points, int count, const float* rotation);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
