#pragma once
// A test configuration (INI): the scene and the models with their ground truth, every path as
// configured (relative to ./data/, before the noise suffix). One reader for the evaluator and
// every tool, with the evaluator's rules: [MODELS] NUMBER is required, the file is read twice
// (the second time with the keys of models 0 to NUMBER - 1 registered), SCENE.PATH and every
// counted model's MODEL_<i> and MODEL_<i>_GROUNDTRUTH are required, unknown keys are skipped,
// a key given twice is an error. It prints nothing: the caller reports the problem it returns.

#include <boost/program_options/variables_map.hpp>
#include <string>
#include <vector>

namespace Ostrel {
namespace TestSet {

struct ModelEntry {
  std::string mesh;         // MODELS.MODEL_<i>
  std::string groundTruth;  // MODELS.MODEL_<i>_GROUNDTRUTH
};

struct TestConfiguration {
  std::string scene;               // SCENE.PATH
  std::vector<ModelEntry> models;  // in model order
};

struct ConfigurationProblem {
  enum class Kind { none, cannotOpen, unreadable, missingKey };
  Kind kind = Kind::none;
  // unreadable: the option parser's message (as it words it, no line end); missingKey: the key.
  std::string detail;
  // unreadable: the file holds one of the parser's message placeholders (%value%, ...), whose
  // message would never finish building; `detail` is then empty.
  bool placeholder = false;

  explicit operator bool() const { return kind != Kind::none; }
};

// Reads the file at `path` into `vm` (the keys as the evaluator's stages read them, stored and
// notified) and into `configuration`. Returns the first problem met, or none.
ConfigurationProblem readTestConfiguration(const std::string& path,
                                           boost::program_options::variables_map& vm,
                                           TestConfiguration& configuration);

// The problem as a tool reports it, naming the file: "test.ini: no key SCENE.PATH".
std::string describeProblem(const ConfigurationProblem& problem, const std::string& path);

// Reads the file at `path` into `configuration`; returns "" or the described problem.
std::string readTestConfiguration(const std::string& path, TestConfiguration& configuration);

// A test configuration and the path it was read from: a dataset is several of them.
struct ConfigurationFile {
  std::string path;
  TestConfiguration configuration;
};

// Reads every file of `paths` into `files` (replaced), in order; returns "" or the first
// described problem.
std::string readConfigurationFiles(const std::vector<std::string>& paths,
                                   std::vector<ConfigurationFile>& files);

// The noise-0 mesh paths of the models of `files`, each once, in order: a dataset's pool.
std::vector<std::string> modelMeshPaths(const std::vector<ConfigurationFile>& files);

// The scene paths of `files` at each noise level of `noise` (named as files carry them),
// configuration after configuration.
std::vector<std::string> sceneMeshPaths(const std::vector<ConfigurationFile>& files,
                                        const std::vector<std::string>& noise);

}  // namespace TestSet
}  // namespace Ostrel
