// ardentis-prepare scene: a synthetic test (models, scene, ground truth, test.ini) from models.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/clean_poly_data.h"
#include "core/io/atomic_file.h"
#include "core/io/create_parent_directory.h"
#include "core/io/load_poly_data.h"
#include "core/io/read_support.h"
#include "driver/run_threads.h"
#include "prepare/atomic_output.h"
#include "prepare/command_line.h"
#include "prepare/commands.h"
#include "prepare/scene_composition.h"
#include "prepare/visible_surface.h"

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
       "gap between the models' bounding spheres, in model units");
  // clang-format on
  return options;
}

// The file name without directory and extension; names are used in paths and test.ini.
std::string ModelName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  return name.substr(0, name.rfind('.'));
}

bool IsSafeName(const std::string& name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::string LoadModels(const std::vector<std::string>& paths, std::vector<PlacedModel>& models) {
  std::set<std::string> names;
  for (const std::string& path : paths) {
    PlacedModel model;
    model.name = ModelName(path);
    if (!IsSafeName(model.name)) {
      return "model name '" + Core::Impl::PrintableText(model.name) +
             "' (from its file name) must be letters, digits, '_', '-' or '.'";
    }
    if (!names.insert(model.name).second) return "two models are named " + model.name;
    model.mesh = vtkSmartPointer<vtkPolyData>::Take(Core::Impl::LoadPolyData(path.c_str()));
    if (!model.mesh) return "cannot read the model " + path;
    // As the evaluator cleans its models, so that the scene is made of what it measures.
    Core::Impl::CleanPolyData(model.mesh, true, 0.0, true);
    if (model.mesh->GetNumberOfPolys() == 0) return "the model " + path + " has no polygons";
    models.push_back(model);
    std::printf("model %s: %lld points\n", model.name.c_str(),
                static_cast<long long>(model.mesh->GetNumberOfPoints()));
  }
  return "";
}

std::string GroundTruthText(const PlacedModel& model) {
  char text[512];
  const float* r = model.rotation;
  const float* t = model.translation;
  // %.9g gives every float back exactly.
  std::snprintf(text, sizeof text,
                "%.9g %.9g %.9g %.9g\n%.9g %.9g %.9g %.9g\n%.9g %.9g %.9g %.9g\n0 0 0 1\n", r[0],
                r[1], r[2], t[0], r[3], r[4], r[5], t[1], r[6], r[7], r[8], t[2]);
  return text;
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

int WriteTest(const std::string& directory, const std::vector<PlacedModel>& models,
              vtkPolyData* scene) {
  const std::string data = directory + "/data/";
  for (const PlacedModel& model : models) {
    const std::string meshPath = data + "models/" + model.name + "_0.ply";
    const std::string truthPath = data + "gt/" + model.name + ".txt";
    if (!Written(WritePlyAtomically(model.mesh, meshPath), meshPath) ||
        !Written(WriteTextFile(truthPath, GroundTruthText(model)), truthPath)) {
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
    const int threads = RunThreadCount();
    std::printf("visibility of %lld points on %d threads (about a second per million)...\n",
                static_cast<long long>(scene->GetNumberOfPoints()), threads);
    std::fflush(stdout);
    vtkSmartPointer<vtkPolyData> visible;
    const std::string visibilityProblem = VisibleSurface(scene, view.data(), threads, visible);
    if (!visibilityProblem.empty()) {
      ReportProblem(kCommand, visibilityProblem);
      return 1;
    }
    scene = visible;
    std::printf("visible from %g %g %g: %lld points\n", view[0], view[1], view[2],
                static_cast<long long>(scene->GetNumberOfPoints()));
  }
  return WriteTest(vm["output"].as<std::string>(), models, scene);
}

}  // namespace Prepare
}  // namespace Ostrel
