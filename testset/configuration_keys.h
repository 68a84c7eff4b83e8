#pragma once
// Names of the per-model keys of a test configuration, as they stand in the parsed options
// (section name, '.', key name).

#include <string>

// "MODELS.MODEL_<i>": the mesh path of model `i` (0-based, plain decimal).
std::string modelKey(int i);

// "MODELS.MODEL_<i>_GROUNDTRUTH": the ground-truth path of model `i`.
std::string groundTruthKey(int i);
