// ardentis-prepare scene: a synthetic test (models, scene, ground truth, test.ini) from models.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/io/atomic_file.h"
#include "core/io/create_parent_directory.h"
#include "core/io/read_support.h"
#include "prepare/atomic_output.h"
#include "prepare/command_line.h"
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

const char* const kCommand = "scene";

po::options_description SceneOptions() {
  po::options_description options("scene options");
  // clang-format off
  options.add_options()
      ("help", "print the options and stop")
      ("output,o", po::value<std::string>()->required(), "directory of the test (created)")
      ("model", po::value<std::vector<std::string>>()->required(),
       "model mesh, any format the loader reads (repeat for every model)")
      ("seed", po::value<std::uint64_t>()->default_value(1), "seed of the random rotations")
      ("view", po::value<std::vector<double>>()->multitoken(),
       "viewpoint X Y Z: keep only the surface visible from it")
      ("spacing", po::value<double>()->default_value(0.0),
       "gap between the models' bounding spheres, in model units")
      ("force", "replace an earlier composition in the output directory (its files only)");
  // clang-format on
  return options;
}

std::string LoadModels(const std::vector<std::string>& paths, std::vector<PlacedModel>& models) {
  std::set<std::string> names;
  for (const std::string& path : paths) {
    PlacedModel model;
    model.name = TestSet::meshNameFromPath(path);
    if (!TestSet::isPlainName(model.name)) {
      return "model name '" + Core::Impl::PrintableText(model.name) +
             "' (from its file name) must be letters, digits, '.', '_', '-' or '+', and not "
             "begin with '.' or '-'";
    }
    if (!names.insert(model.name).second) return "two models are named " + model.name;
    // Cleaned as the evaluator cleans its models, so that the scene is made of what it measures.
    model.mesh = TestSet::loadCleanMesh(path);
    if (!model.mesh) return "cannot read the model " + path;
    if (model.mesh->GetNumberOfPolys() == 0) return "the model " + path + " has no polygons";
    models.push_back(model);
    std::printf("model %s: %lld points\n", model.name.c_str(),
                static_cast<long long>(model.mesh->GetNumberOfPoints()));
  }
  return "";
}

std::string TestConfigurationText(const std::vector<PlacedModel>& models) {
  std::string text =
      "[SCENE]\nPATH = scenes/scene.ply\n[MODELS]\nNUMBER = " + std::to_string(models.size()) +
      "\n";
  for (size_t i = 0; i < models.size(); ++i) {
    const std::string key = "MODEL_" + std::to_string(i);
    text += key + " = models/" + models[i].name + ".ply\n";
    text += key + "_GROUNDTRUTH = gt/" + models[i].name + ".txt\n";
  }
  return text;
}

// Writes one file, reporting it; false after a message.
bool Written(const std::string& problem, const std::string& path) {
  if (!problem.empty()) {
    ReportProblem(kCommand, problem);
    return false;
  }
  std::printf("wrote %s\n", path.c_str());
  std::fflush(stdout);
  return true;
}

// Text files of the composed test, in directories made on the way.
std::string WriteTextFile(const std::string& path, const std::string& content) {
  Core::Impl::CreateParentDirectory(path.c_str());
  return Core::Impl::WriteFileAtomically(path, content);
}

// Removes what an earlier composition wrote in `directory`, so that none of its noisy scenes or
// keypoint files is taken for the new composition's; false after a message.
bool RemoveEarlierComposition(const std::string& directory) {
  const std::vector<std::string> files = EarlierCompositionFiles(directory);
  for (const std::string& file : files) {
    std::error_code error;
    if (!std::filesystem::remove(file, error) && error) {
      ReportProblem(kCommand,
                    "cannot remove " + file + " of the earlier composition: " + error.message());
      return false;
    }
  }
  if (!files.empty()) {
    std::printf("removed %zu files of the earlier composition in %s\n", files.size(),
                directory.c_str());
  }
  return true;
}

int WriteTest(const std::string& directory, const std::vector<PlacedModel>& models,
              vtkPolyData* scene) {
  const std::string data = directory + "/data/";
  for (const PlacedModel& model : models) {
    const std::string meshPath = data + "models/" + model.name + "_0.ply";
    const std::string truthPath = data + "gt/" + model.name + ".txt";
    if (!Written(WritePlyAtomically(model.mesh, meshPath), meshPath) ||
        !Written(
            WriteTextFile(truthPath, TestSet::groundTruthText(model.rotation, model.translation)),
            truthPath)) {
      return 1;
    }
  }
  const std::string scenePath = data + "scenes/scene_0.ply";
  const std::string iniPath = directory + "/test.ini";
  if (!Written(WritePlyAtomically(scene, scenePath), scenePath) ||
      !Written(WriteTextFile(iniPath, TestConfigurationText(models)), iniPath)) {
    return 1;
  }
  return 0;
}

}  // namespace

int RunSceneCommand(int argc, char** argv) {
  po::variables_map vm;
  bool usageError = false;
  if (!ParseCommandLine(argc, argv, kCommand, SceneOptions(), po::positional_options_description(),
                        vm, usageError)) {
    return usageError ? 2 : 0;
  }
  const double spacing = vm["spacing"].as<double>();
  const bool hasView = vm.count("view") != 0;
  if (hasView && vm["view"].as<std::vector<double>>().size() != 3) {
    ReportProblem(kCommand, "--view takes three numbers X Y Z");
    return 2;
  }
  if (!(spacing >= 0.0) || !std::isfinite(spacing)) {
    ReportProblem(kCommand, "--spacing must be a number >= 0");
    return 2;
  }
  const std::string directory = vm["output"].as<std::string>();
  const bool force = vm.count("force") != 0;
  if (!force && HoldsAnything(directory)) {
    ReportProblem(kCommand, directory +
                                " is not empty; give --force to replace an earlier composition "
                                "there (its files only)");
    return 2;
  }
  std::vector<PlacedModel> models;
  const std::string problem = LoadModels(vm["model"].as<std::vector<std::string>>(), models);
  if (!problem.empty()) {
    ReportProblem(kCommand, problem);
    return 1;
  }
  PlaceModels(models, vm["seed"].as<std::uint64_t>(), spacing);
  vtkSmartPointer<vtkPolyData> scene = ComposeScene(models);
  if (hasView) {
    const std::vector<double> view = vm["view"].as<std::vector<double>>();
    std::printf("visibility of %lld points (about a minute per million)...\n",
                static_cast<long long>(scene->GetNumberOfPoints()));
    std::fflush(stdout);
    scene = VisibleSurface(scene, view.data());
    std::printf("visible from %g %g %g: %lld points\n", view[0], view[1], view[2],
                static_cast<long long>(scene->GetNumberOfPoints()));
  }
  if (force && !RemoveEarlierComposition(directory)) return 1;
  return WriteTest(directory, models, scene);
}

}  // namespace Prepare
}  // namespace Ostrel
