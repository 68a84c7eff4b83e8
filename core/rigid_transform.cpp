#include "core/rigid_transform.h"

namespace Ostrel {
namespace Core {
namespace Impl {

void Translate(float* points, int count, const float* translation) {
  for (int i = 0; i < count; ++i) {
    float* p = points + 3 * static_cast<long long>(i);
    p[0] += translation[0];
    p[1] += translation[1];
    p[2] += translation[2];
  }
}

void Rotate3x3(float* points, int count, const float* rotation) {
  const float* r = rotation;
  for (int i = 0; i < count; ++i) {
    float* p = points + 3 * static_cast<long long>(i);
    // All three inputs are read before any output is written.
    const float x = p[0];
    const float y = p[1];
    const float z = p[2];
    p[0] = (r[0] * x + r[1] * y) + r[2] * z;
    p[1] = (r[3] * x + r[4] * y) + r[5] * z;
    p[2] = (r[6] * x + r[7] * y) + r[8] * z;
  }
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
