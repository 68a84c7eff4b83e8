#include "testset/ground_truth.h"

#include <cstdio>
#include <fstream>

namespace Ostrel {
namespace TestSet {

bool readGroundTruth(const std::string& path, float rotation[9], float translation[3]) {
  std::ifstream in(path);
  if (!in.is_open()) return false;
  // File order is [R | t] row by row: three rotation values, then one translation value.
  float* const targets[12] = {&rotation[0], &rotation[1], &rotation[2], &translation[0],
                              &rotation[3], &rotation[4], &rotation[5], &translation[1],
                              &rotation[6], &rotation[7], &rotation[8], &translation[2]};
  float values[12];
  for (float& value : values) {
    if (!(in >> value)) return false;  // a pose with undefined entries must not be evaluated
  }
  for (int k = 0; k < 12; ++k) *targets[k] = values[k];
  return true;
}

std::string groundTruthText(const float rotation[9], const float translation[3]) {
  char text[512];
  const float* r = rotation;
  const float* t = translation;
  std::snprintf(text, sizeof text,
                "%.9g %.9g %.9g %.9g\n%.9g %.9g %.9g %.9g\n%.9g %.9g %.9g %.9g\n0 0 0 1\n", r[0],
                r[1], r[2], t[0], r[3], r[4], r[5], t[1], r[6], r[7], r[8], t[2]);
  return text;
}

}  // namespace TestSet
}  // namespace Ostrel
