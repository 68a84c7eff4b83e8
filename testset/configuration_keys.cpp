#include "testset/configuration_keys.h"

std::string modelKey(int i) {
  return "MODELS.MODEL_" + std::to_string(i);
}

std::string groundTruthKey(int i) {
  return modelKey(i) + "_GROUNDTRUTH";
}
