#pragma once
// Ground-truth files: the pose of a model in the scene as the 3×4 matrix [R | t] written row by
// row (twelve numbers; a fourth row 0 0 0 1 may follow and is not read). A model point p lies at
// R · p + t in the scene, in single precision.

#include <string>

namespace Ostrel {
namespace TestSet {

// Reads the twelve numbers of the file at `path` into `rotation` (row by row) and
// `translation`; false, leaving both as they were, when the file cannot be opened or holds
// fewer than twelve numbers.
bool readGroundTruth(const std::string& path, float rotation[9], float translation[3]);

// The text of a ground-truth file for the pose (`rotation`, `translation`): three rows of four
// values written with nine significant digits, which read back as the same floats, then the
// row 0 0 0 1.
std::string groundTruthText(const float rotation[9], const float translation[3]);

}  // namespace TestSet
}  // namespace Ostrel
