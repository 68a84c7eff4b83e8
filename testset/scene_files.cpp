#include "testset/scene_files.h"

#include <chrono>
#include <filesystem>

#include "testset/naming.h"

namespace Ostrel {
namespace TestSet {

namespace fs = std::filesystem;

std::string noiseCommand(const std::string& configPath, const std::string& noise) {
  return "ardentis-prepare noise -C " + configPath + " -n " + noise;
}

std::string missingMeshAdvice(const std::string& meshPath, const std::string& configPath) {
  std::error_code error;
  if (fs::exists(meshPath, error)) return "";
  std::string advice =
      "paths in a test configuration are relative to ./data/ of the working "
      "directory (" +
      fs::current_path(error).string() + ")";
  const fs::path configDirectory = fs::path(configPath).parent_path();
  if (!configDirectory.empty() && fs::exists(configDirectory / meshPath, error)) {
    advice += "; it is in " + (configDirectory / kDataDirectory).lexically_normal().string() +
              ": run from " + configDirectory.string();
  }
  return advice;
}

std::string missingSceneAdvice(const std::string& configuredScene, const std::string& noise,
                               const std::string& configPath) {
  const std::string path = meshPathWithNoise(configuredScene, noise);
  std::error_code error;
  if (fs::exists(path, error)) return "";
  if (noise != "0" && fs::exists(meshPathWithNoise(configuredScene, "0"), error))
    return "make it with: " + noiseCommand(configPath, noise);
  return missingMeshAdvice(path, configPath);
}

std::string staleSceneWarning(const std::string& configuredScene, const std::string& noise,
                              const std::string& configPath) {
  if (noise == "0") return "";
  const std::string noisy = meshPathWithNoise(configuredScene, noise);
  const std::string clean = meshPathWithNoise(configuredScene, "0");
  std::error_code noisyError, cleanError;
  const auto noisyTime = fs::last_write_time(noisy, noisyError);
  const auto cleanTime = fs::last_write_time(clean, cleanError);
  // Files written together (a checkout, a copy) differ by milliseconds, in either order.
  if (noisyError || cleanError || !(noisyTime + std::chrono::seconds(2) < cleanTime)) return "";
  return noisy + " is older than " + clean +
         ", so it was made from an earlier scene; remake it: " + noiseCommand(configPath, noise);
}

}  // namespace TestSet
}  // namespace Ostrel
