#include "grid/input_check.h"

#include <filesystem>
#include <set>

#include "testset/naming.h"
#include "testset/scene_files.h"

namespace Ostrel {
namespace Grid {

namespace {

// The mesh names whose keypoint files an evaluation of the grid reads: every model once, then
// every scene at every noise level.
std::vector<std::string> meshNames(const GridSettings& grid) {
  std::vector<std::string> names;
  for (const std::string& path : TestSet::modelMeshPaths(grid.configurations))
    names.push_back(TestSet::meshNameFromPath(path));
  for (const std::string& path : TestSet::sceneMeshPaths(grid.configurations, grid.noise))
    names.push_back(TestSet::meshNameFromPath(path));
  return names;
}

void checkPrecomputed(const GridSettings& grid, const DetectorEntry& entry, InputCheck& check) {
  const std::vector<std::string> names = meshNames(grid);
  for (const int radius : entry.radii.empty() ? std::vector<int>{-1} : entry.radii) {
    for (const std::string& name : names) {
      const std::string path = TestSet::keypointFilePath(grid.keypoints, entry.name, radius, name);
      std::error_code error;
      if (!std::filesystem::exists(path, error))
        check.missing.push_back(path + " ([" + entry.name + "] reads it: your detector writes it)");
    }
  }
}

void checkScenes(const GridSettings& grid, const TestSet::ConfigurationFile& file,
                 InputCheck& check) {
  const std::string& scene = file.configuration.scene;
  for (const std::string& noise : grid.noise) {
    const std::string advice = TestSet::missingSceneAdvice(scene, noise, file.path);
    if (!advice.empty())
      check.missing.push_back(TestSet::meshPathWithNoise(scene, noise) + " (" + advice + ")");
    const std::string stale = TestSet::staleSceneWarning(scene, noise, file.path);
    if (!stale.empty()) check.warnings.push_back(stale);
  }
}

}  // namespace

InputCheck checkInputs(const GridSettings& grid) {
  InputCheck check;
  for (const TestSet::ConfigurationFile& file : grid.configurations) checkScenes(grid, file, check);
  for (const DetectorEntry& entry : grid.detectors) {
    if (entry.precomputed()) checkPrecomputed(grid, entry, check);
  }
  return check;
}

}  // namespace Grid
}  // namespace Ostrel
