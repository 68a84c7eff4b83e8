#include "prepare/earlier_composition.h"

#include <cmath>
#include <filesystem>
#include <set>

#include "cli/numbers.h"
#include "testset/naming.h"
#include "testset/test_configuration.h"

namespace Ostrel {
namespace Prepare {

namespace {

namespace fs = std::filesystem;

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The scene files of every noise level: <stem>_<level><extension> beside the noise-0 file, the
// level written as the evaluator names it.
std::vector<fs::path> sceneFiles(const fs::path& cleanScene) {
  std::vector<fs::path> found;
  const std::string name = cleanScene.filename().string();
  const std::string::size_type cut = name.rfind("_0");
  if (cut == std::string::npos) return found;
  const std::string stem = name.substr(0, cut + 1), extension = name.substr(cut + 2);
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(cleanScene.parent_path(), error)) {
    const std::string file = entry.path().filename().string();
    if (file.size() <= stem.size() + extension.size() || file.compare(0, stem.size(), stem) != 0 ||
        !endsWith(file, extension)) {
      continue;
    }
    const std::string level =
        file.substr(stem.size(), file.size() - stem.size() - extension.size());
    double sigma = 0.0;
    if (Cli::parseFiniteNumber(level, sigma) && TestSet::noiseLevelName(sigma) == level)
      found.push_back(entry.path());
  }
  return found;
}

// The test configurations a composition writes: test.ini, or scene-<number>.ini for a dataset.
std::vector<fs::path> compositionConfigurations(const fs::path& root) {
  std::vector<fs::path> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(root, error)) {
    const std::string name = entry.path().filename().string();
    const bool dataset = name.rfind("scene-", 0) == 0 && endsWith(name, ".ini") &&
                         name.size() > 10 &&
                         name.find_first_not_of("0123456789", 6) == name.size() - 4;
    if (name == "test.ini" || dataset) found.push_back(entry.path());
  }
  return found;
}

// The files of one configuration's composition; the names of its meshes go to `meshNames`.
void configurationFiles(const fs::path& root, const fs::path& config, std::set<std::string>& files,
                        std::set<std::string>& meshNames) {
  TestSet::TestConfiguration configuration;
  if (!TestSet::readTestConfiguration(config.string(), configuration).empty()) return;
  files.insert(config.lexically_normal().string());
  for (const TestSet::ModelEntry& model : configuration.models) {
    const std::string mesh = TestSet::meshPathWithNoise(model.mesh, "0");
    files.insert((root / mesh).lexically_normal().string());
    files.insert((root / TestSet::groundTruthPath(model.groundTruth)).lexically_normal().string());
    meshNames.insert(TestSet::meshNameFromPath(mesh));
  }
  for (const fs::path& scene :
       sceneFiles(root / TestSet::meshPathWithNoise(configuration.scene, "0"))) {
    files.insert(scene.lexically_normal().string());
    meshNames.insert(TestSet::meshNameFromPath(scene.string()));
  }
}

}  // namespace

std::vector<std::string> earlierCompositionFiles(const std::string& directory) {
  const fs::path root(directory);
  std::set<std::string> files, meshNames;
  for (const fs::path& config : compositionConfigurations(root))
    configurationFiles(root, config, files, meshNames);
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(root / "feats", error)) {
    for (const std::string& mesh : meshNames) {
      if (endsWith(entry.path().filename().string(), "_" + mesh + ".feat"))
        files.insert(entry.path().lexically_normal().string());
    }
  }
  std::vector<std::string> existing;
  for (const std::string& file : files) {
    if (fs::is_regular_file(file, error)) existing.push_back(file);
  }
  return existing;
}

bool holdsAnything(const std::string& directory) {
  std::error_code error;
  return fs::is_directory(directory, error) && !fs::is_empty(directory, error);
}

}  // namespace Prepare
}  // namespace Ostrel
