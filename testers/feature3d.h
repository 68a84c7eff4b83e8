#pragma once
// The keypoint record shared by the testers and the evaluation: position and scale in the
// mesh's units, plus what the detector wrote about it.

namespace Ostrel {
namespace LocalFeatures {
namespace Impl {

// One keypoint a detector found on a mesh. Only the position and the scale are read by the
// evaluation; index, frame and score are carried as the detector wrote them.
struct Feature3D {
  float x = 0.0f;  // position, in the coordinates and units of the mesh
  float y = 0.0f;
  float z = 0.0f;
  float scale = 0.0f;
  int index = -1;  // -1 when the file gives none
  float frame[9] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  float score = 0.0f;
};

}  // namespace Impl
}  // namespace LocalFeatures
}  // namespace Ostrel
