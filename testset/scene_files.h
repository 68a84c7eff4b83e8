#pragma once
// Advice on a test set's mesh files for the tools' messages: where a path that does not open
// was looked for and where to run from, which command makes a missing noise level, and whether
// a noisy scene was made from an earlier scene than the one now beside it. Nothing is printed.

#include <string>

namespace Ostrel {
namespace TestSet {

// The command that makes the scene of the configuration at `configPath` at noise level `noise`:
// "ardentis-prepare noise -C <configPath> -n <noise>".
std::string noiseCommand(const std::string& configPath, const std::string& noise);

// "" when the file at `meshPath` (./data/..., from the configuration at `configPath`) exists;
// otherwise advice to follow the message that it cannot be read: paths in a test configuration
// are relative to ./data/ of the working directory, and, when the file lies below the
// configuration's own directory, the directory to run from.
std::string missingMeshAdvice(const std::string& meshPath, const std::string& configPath);

// As missingMeshAdvice for the scene `configuredScene` at noise level `noise`; when only that
// level is missing (the noise-0 scene exists), the command that makes it.
std::string missingSceneAdvice(const std::string& configuredScene, const std::string& noise,
                               const std::string& configPath);

// "" unless the scene `configuredScene` at noise `noise` (not 0) is older than the same scene at
// noise 0 (by more than two seconds), and so was made from an earlier scene: then a warning
// naming both files and the command that remakes it.
std::string staleSceneWarning(const std::string& configuredScene, const std::string& noise,
                              const std::string& configPath);

}  // namespace TestSet
}  // namespace Ostrel
