// ardentis-prepare scene: a synthetic test (models, scene, ground truth, test configuration)
// from models, or a dataset of many such scenes drawn from a pool of models.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/directories.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "core/io/atomic_file.h"
#include "core/io/read_support.h"
#include "core/run_threads.h"
#include "prepare/atomic_output.h"
#include "prepare/commands.h"
#include "prepare/earlier_composition.h"
#include "prepare/scene_composition.h"
#include "prepare/visible_surface.h"
#include "testset/evaluation_mesh.h"
#include "testset/ground_truth.h"
#include "testset/naming.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Prepare {
namespace {

const char* const kTool = "ardentis-prepare scene";

po::options_description sceneOptions() {
  po::options_description options("scene options");
  // clang-format off
  options.add_options()
      ("help,h", "print the options and stop")
      ("version", Cli::kVersionOption)
      ("output,o", po::value<std::string>()->required(), "directory of the test (created)")
      ("model", po::value<std::vector<std::string>>()->required(),
       "model mesh, any format the loader reads (repeat for every model)")
      ("scenes", po::value<int>(),
       "a dataset of this many scenes, scene-001.ini ... (default: one scene, test.ini)")
      ("models-per-scene", po::value<int>(),
       "models drawn for each scene of a dataset (default: all)")
      ("seed", po::value<std::uint64_t>()->default_value(1),
       "seed of the random choices and rotations")
      ("view", po::value<std::vector<double>>()->multitoken(),
       "viewpoint X Y Z: keep only the surface visible from it")
      ("spacing", po::value<double>()->default_value(0.0),
       "gap between the models' bounding spheres, in model units")
      ("force", "replace an earlier composition in the output directory (its files only)");
  // clang-format on
  return options;
}

struct SceneRequest {
  std::string directory;
  std::vector<std::string> modelPaths;
  int scenes = 0;  // 0: one scene named "scene" with test.ini
  std::size_t modelsPerScene = 0;
  std::uint64_t seed = 1;
  double spacing = 0.0;
  bool hasView = false;
  double view[3] = {0, 0, 0};
  bool force = false;
};

int refuse(const std::string& problem, int status) {
  Cli::printError(kTool, problem);
  return status;
}

bool fail(const std::string& problem) {
  Cli::printError(kTool, problem);
  return false;
}

// The model names, from the file names; "" or why they cannot name files and keys.
std::string checkModelNames(const std::vector<std::string>& paths) {
  std::set<std::string> names;
  for (const std::string& path : paths) {
    const std::string name = TestSet::meshNameFromPath(path);
    if (!TestSet::isPlainName(name)) {
      return "model name '" + Core::Impl::PrintableText(name) +
             "' (from its file name) must be letters, digits, '.', '_', '-' or '+', and not "
             "begin with '.' or '-'";
    }
    if (!names.insert(name).second) return "two models are named " + name;
  }
  return "";
}

int readRequest(const po::variables_map& vm, SceneRequest& request) {
  request.directory = vm["output"].as<std::string>();
  request.modelPaths = vm["model"].as<std::vector<std::string>>();
  request.seed = vm["seed"].as<std::uint64_t>();
  request.spacing = vm["spacing"].as<double>();
  request.force = vm.count("force") != 0;
  request.hasView = vm.count("view") != 0;
  if (request.hasView) {
    const std::vector<double> view = vm["view"].as<std::vector<double>>();
    if (view.size() != 3) return refuse("--view takes three numbers X Y Z", Cli::kBadUsage);
    for (int k = 0; k < 3; ++k) request.view[k] = view[k];
  }
  if (!(request.spacing >= 0.0) || !std::isfinite(request.spacing))
    return refuse("--spacing must be a number >= 0", Cli::kBadUsage);
  const int pool = static_cast<int>(request.modelPaths.size());
  if (vm.count("scenes")) {
    request.scenes = vm["scenes"].as<int>();
    if (request.scenes < 1) return refuse("--scenes must be at least 1", Cli::kBadUsage);
  }
  const int perScene = vm.count("models-per-scene") ? vm["models-per-scene"].as<int>() : pool;
  if (vm.count("models-per-scene") && request.scenes == 0)
    return refuse("--models-per-scene needs --scenes", Cli::kBadUsage);
  if (perScene < 1 || perScene > pool) {
    return refuse(
        "--models-per-scene must be from 1 to the " + std::to_string(pool) + " models given",
        Cli::kBadUsage);
  }
  request.modelsPerScene = static_cast<std::size_t>(perScene);
  const std::string names = checkModelNames(request.modelPaths);
  if (!names.empty()) return refuse(names, Cli::kBadUsage);
  if (!request.force && holdsAnything(request.directory)) {
    return refuse(request.directory +
                      " is not empty; give --force to replace an earlier composition there "
                      "(its files only)",
                  Cli::kBadUsage);
  }
  return Cli::kDone;
}

// Every model, cleaned as the evaluator cleans its models, so that the scenes are made of what it
// measures; false after a message.
bool loadModels(const std::vector<std::string>& paths, std::vector<PlacedModel>& models) {
  for (const std::string& path : paths) {
    PlacedModel model;
    model.name = TestSet::meshNameFromPath(path);
    model.mesh = TestSet::loadCleanMesh(path);
    std::string problem;
    if (!model.mesh) problem = "cannot read the model " + path;
    if (model.mesh && model.mesh->GetNumberOfPolys() == 0)
      problem = "the model " + path + " has no polygons";
    if (!problem.empty()) return fail(problem);
    models.push_back(model);
    std::printf("model %s: %lld points\n", model.name.c_str(),
                static_cast<long long>(model.mesh->GetNumberOfPoints()));
  }
  return true;
}

// The name of scene `index` (1-based) of a dataset of `count`: scene-001, ..., with at least
// three digits so that names sort as numbers.
std::string datasetSceneName(int index, int count) {
  const int digits = std::max(3, static_cast<int>(std::to_string(count).size()));
  std::string number = std::to_string(index);
  return "scene-" + std::string(digits - number.size(), '0') + number;
}

// A scene of the test: its name, its configuration file, and the posed models it holds.
struct ComposedScene {
  std::string name;            // the scene mesh's name before its noise suffix
  std::string configFile;      // relative to the output directory
  std::string truthDirectory;  // of its ground-truth files, relative to data/
  std::vector<PlacedModel> models;
  vtkSmartPointer<vtkPolyData> mesh;
};

std::string testConfigurationText(const ComposedScene& scene) {
  std::string text = "[SCENE]\nPATH = scenes/" + scene.name +
                     ".ply\n[MODELS]\nNUMBER = " + std::to_string(scene.models.size()) + "\n";
  for (size_t i = 0; i < scene.models.size(); ++i) {
    const std::string key = "MODEL_" + std::to_string(i), name = scene.models[i].name;
    text += key + " = models/" + name + ".ply\n";
    text += key + "_GROUNDTRUTH = gt/" + scene.truthDirectory + name + ".txt\n";
  }
  return text;
}

// Writes one file, reporting it; false after a message.
bool written(const std::string& problem, const std::string& path) {
  if (!problem.empty()) return fail(problem);
  std::printf("wrote %s\n", path.c_str());
  std::fflush(stdout);
  return true;
}

// Text files of the composed test, in directories made on the way.
std::string writeTextFile(const std::string& path, const std::string& content) {
  const std::string problem = Cli::makeParentDirectories(path);
  return problem.empty() ? Core::Impl::WriteFileAtomically(path, content) : problem;
}

// The posed models of one scene, mapped into it and seen from the viewpoint when one is given;
// false after a message when the visibility cannot be computed.
bool composeScene(const SceneRequest& request, const std::vector<PlacedModel>& pool, int index,
                  ComposedScene& scene) {
  std::uint64_t poseSeed = request.seed;
  if (request.scenes == 0) {
    scene.name = "scene";
    scene.configFile = "test.ini";
    scene.models = pool;
  } else {
    scene.name = datasetSceneName(index, request.scenes);
    scene.configFile = scene.name + ".ini";
    scene.truthDirectory = scene.name + "/";
    const SceneDraw draw = drawScene(pool.size(), request.modelsPerScene, request.seed, index);
    for (const std::size_t m : draw.models) scene.models.push_back(pool[m]);
    poseSeed = draw.poseSeed;
  }
  placeModels(scene.models, poseSeed, request.spacing);
  scene.mesh = composeScene(scene.models);
  const long long points = scene.mesh->GetNumberOfPoints();
  if (request.hasView) {
    vtkSmartPointer<vtkPolyData> visible;
    const std::string problem = visibleSurface(scene.mesh, request.view, RunThreadCount(), visible);
    if (!problem.empty()) return fail(scene.name + ": " + problem);
    scene.mesh = visible;
  }
  std::printf("%s: %zu models, %lld points", scene.name.c_str(), scene.models.size(), points);
  if (request.hasView) {
    std::printf(", %lld visible from %g %g %g",
                static_cast<long long>(scene.mesh->GetNumberOfPoints()), request.view[0],
                request.view[1], request.view[2]);
  }
  std::printf("\n");
  std::fflush(stdout);
  return true;
}

bool writeScene(const std::string& directory, const ComposedScene& scene) {
  const std::string data = directory + "/data/";
  for (const PlacedModel& model : scene.models) {
    const std::string truthPath = data + "gt/" + scene.truthDirectory + model.name + ".txt";
    if (!written(
            writeTextFile(truthPath, TestSet::groundTruthText(model.rotation, model.translation)),
            truthPath)) {
      return false;
    }
  }
  const std::string scenePath = data + "scenes/" + scene.name + "_0.ply";
  const std::string configPath = directory + "/" + scene.configFile;
  return written(writePlyAtomically(scene.mesh, scenePath), scenePath) &&
         written(writeTextFile(configPath, testConfigurationText(scene)), configPath);
}

// Removes what an earlier composition wrote in `directory`, so that none of its noisy scenes or
// keypoint files is taken for the new composition's; false after a message.
bool removeEarlierComposition(const std::string& directory) {
  const std::vector<std::string> files = earlierCompositionFiles(directory);
  for (const std::string& file : files) {
    std::error_code error;
    if (!std::filesystem::remove(file, error) && error)
      return fail("cannot remove " + file + " of the earlier composition: " + error.message());
  }
  if (!files.empty()) {
    std::printf("removed %zu files of the earlier composition in %s\n", files.size(),
                directory.c_str());
  }
  return true;
}

}  // namespace

int runSceneCommand(int argc, char** argv) {
  const Cli::CommandLine commandLine{
      kTool,
      "Usage: ardentis-prepare scene -o DIR --model MESH... [--scenes N [--models-per-scene K]]\n"
      "                              [--seed N] [--view X Y Z] [--spacing S] [--force]\n",
      sceneOptions(),
      {},
      {}};
  po::variables_map vm;
  const Cli::ParseOutcome outcome = Cli::parseCommandLine(commandLine, argc, argv, vm);
  if (outcome != Cli::ParseOutcome::run) return Cli::exitStatusOf(outcome);
  SceneRequest request;
  if (const int status = readRequest(vm, request); status != Cli::kDone) return status;
  std::vector<PlacedModel> pool;
  if (!loadModels(request.modelPaths, pool)) return Cli::kInputFailed;
  if (request.force && !removeEarlierComposition(request.directory)) return Cli::kCannotWrite;
  for (const PlacedModel& model : pool) {
    const std::string path = request.directory + "/data/models/" + model.name + "_0.ply";
    if (!written(writePlyAtomically(model.mesh, path), path)) return Cli::kCannotWrite;
  }
  // One scene at a time: a dataset of large scans need not fit in memory at once.
  for (int index = 1; index <= std::max(request.scenes, 1); ++index) {
    ComposedScene scene;
    if (!composeScene(request, pool, index, scene)) return Cli::kInputFailed;
    if (!writeScene(request.directory, scene)) return Cli::kCannotWrite;
  }
  return Cli::kDone;
}

}  // namespace Prepare
}  // namespace Ostrel
