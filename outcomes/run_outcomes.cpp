#include "outcomes/run_outcomes.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/directories.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "outcomes/draw_pictures.h"
#include "outcomes/keypoint_outcomes.h"
#include "outcomes/outcome_mesh.h"
#include "testset/mesh_file_writer.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Inspect {
namespace {

const char* const kTool = "ardentis-inspect";

po::options_description inspectOptions() {
  po::options_description options("Options");
  // clang-format off
  options.add_options()
      ("help,h", "print the options and stop")
      ("version", Cli::kVersionOption)
      ("configFile,C", po::value<std::string>()->required(),
       "test configuration file (INI); run from the directory that holds data/")
      ("savingPath,S", po::value<std::string>()->required(), "directory of the keypoint files")
      ("detectorID", po::value<std::string>()->required(), "detector name in the file names")
      ("radius,r", po::value<int>()->default_value(-1),
       "detector radius in the file names (when > 0)")
      ("sigmaSceneNoise,n", po::value<double>()->default_value(0.1, "0.1"), "scene noise level")
      ("repeatabilityTh,t", po::value<double>()->default_value(1.0, "1"),
       "matching and visibility radius, in mesh resolutions")
      ("output,o", po::value<std::string>()->required(),
       "directory of the meshes and pictures (created when missing)")
      ("view", po::value<std::vector<double>>()->multitoken(),
       "draw from the viewpoint X Y Z (scene units), not along the scene's principal axes")
      ("no-picture", "write the meshes and print the counts only");
  // clang-format on
  return options;
}

struct Options {
  InspectRequest request;
  std::string output;
  std::vector<double> view;  // empty, or X Y Z
  bool picture = true;
};

int refuse(const std::string& problem, int status) {
  Cli::printError(kTool, problem);
  return status;
}

int readOptions(const po::variables_map& vm, Options& options) {
  InspectRequest& request = options.request;
  request.configPath = vm["configFile"].as<std::string>();
  request.savingPath = vm["savingPath"].as<std::string>();
  request.detectorID = vm["detectorID"].as<std::string>();
  request.radius = vm["radius"].as<int>();
  request.noise = vm["sigmaSceneNoise"].as<double>();
  request.threshold = vm["repeatabilityTh"].as<double>();
  options.output = vm["output"].as<std::string>();
  options.picture = vm.count("no-picture") == 0;
  if (!(request.threshold > 0.0) || !std::isfinite(request.threshold))
    return refuse("repeatabilityTh must be a positive number", Cli::kBadUsage);
  if (!(request.noise >= 0.0) || !std::isfinite(request.noise))
    return refuse("sigmaSceneNoise must be 0 or more", Cli::kBadUsage);
  if (vm.count("view")) {
    options.view = vm["view"].as<std::vector<double>>();
    if (options.view.size() != 3) return refuse("--view takes three numbers X Y Z", Cli::kBadUsage);
  }
  return Cli::kDone;
}

// <output>/<model>.ply; a model configured twice gets its position in the configuration too.
std::string meshPath(const std::string& output, const InspectedModel& model, std::size_t index,
                     std::set<std::string>& used) {
  std::string name = model.name;
  if (!used.insert(name).second) name += "-" + std::to_string(index);
  return output + "/" + name + ".ply";
}

void printCounts(const InspectedModel& model, int sceneKeypoints, const std::string& path) {
  const double ratio = model.nonOccluded != 0 ? double(model.repeatable) / model.nonOccluded : 0.0;
  std::printf(
      "%s: %zu keypoints, %d non-occluded, %d repeatable (repeatability %f), "
      "%d scene keypoints: %s\n",
      model.name.c_str(), model.outcomes.size(), model.nonOccluded, model.repeatable, ratio,
      sceneKeypoints, path.c_str());
}

// Writes every model's mesh; returns the exit status.
int writeMeshes(const Options& options, const Inspection& inspection,
                std::vector<std::string>& paths) {
  const std::string problem = Cli::makeDirectories(options.output);
  if (!problem.empty()) return refuse(problem, Cli::kCannotWrite);
  std::set<std::string> used;
  for (std::size_t i = 0; i < inspection.models.size(); ++i) {
    const InspectedModel& model = inspection.models[i];
    MarkerCounts counts;
    const vtkSmartPointer<vtkPolyData> mesh = outcomeMesh(inspection, model, counts);
    const std::vector<std::string> comments =
        outcomeComments(options.request, inspection, model, counts,
                        options.view.empty() ? nullptr : &options.view[0]);
    paths.push_back(meshPath(options.output, model, i, used));
    const std::string written = TestSet::writeMeshFile(mesh, paths.back(), comments);
    if (!written.empty()) return refuse(written, Cli::kCannotWrite);
    printCounts(model, int(inspection.sceneKeypoints.size() / 3), paths.back());
  }
  return Cli::kDone;
}

}  // namespace

int runInspect(int argc, char** argv) {
  const Cli::CommandLine commandLine{
      kTool,
      "Usage: ardentis-inspect -C CONFIG -S DIR --detectorID ID [-r R] [-n SIGMA] [-t TH]\n"
      "                        -o OUT [--view X Y Z] [--no-picture]\n"
      "For each model, OUT/<model>.ply: the scene and the model's keypoints carried into it,\n"
      "repeatable green, non-occluded but not repeatable red, occluded dark grey, the scene's\n"
      "keypoints blue; OUT/<model>.png: the same as a picture. Prints the counts ardentis prints\n"
      "for the same options.\n",
      inspectOptions(),
      {},
      {}};
  po::variables_map vm;
  const Cli::ParseOutcome outcome = Cli::parseCommandLine(commandLine, argc, argv, vm);
  if (outcome != Cli::ParseOutcome::run) return Cli::exitStatusOf(outcome);
  Options options;
  if (const int status = readOptions(vm, options); status != Cli::kDone) return status;

  Inspection inspection;
  int status = Cli::kDone;
  const std::string problem = inspectRun(options.request, inspection, status);
  if (!problem.empty()) return refuse(problem, status);
  std::printf("Mean models' resolution: %f\n", inspection.meanResolution);
  if (inspection.scene->GetNumberOfPoints() == 0) {
    Cli::printWarning(kTool, "the scene " + inspection.sceneName +
                                 " has no points: every model keypoint counts as occluded");
  }
  std::vector<std::string> paths;
  status = writeMeshes(options, inspection, paths);
  if (status != Cli::kDone || !options.picture || paths.empty()) return status;
  const std::string drawn = drawPictures(reportLauncher(), paths);
  return drawn.empty() ? Cli::kDone : refuse(drawn + "; the meshes are written", Cli::kCannotWrite);
}

}  // namespace Inspect
}  // namespace Ostrel
