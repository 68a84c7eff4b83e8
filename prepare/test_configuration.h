#pragma once
// The parts of an evaluator test configuration (INI) that preparing data needs: the scene and
// model mesh paths, each as the evaluator loads it (./data/ + configured path + _<noise>).

#include <string>
#include <vector>

namespace Ostrel {
namespace Prepare {

struct TestConfiguration {
  std::string scenePath;                // SCENE.PATH as configured
  std::vector<std::string> modelPaths;  // MODELS.MODEL_0 ... MODEL_<NUMBER-1> as configured
};

// Reads `path`. Unknown keys are ignored; SCENE.PATH is required, MODELS.NUMBER may be absent
// (no models), each counted model key is required. Returns an empty string or the problem.
std::string ReadTestConfiguration(const std::string& path, TestConfiguration& configuration);

}  // namespace Prepare
}  // namespace Ostrel
