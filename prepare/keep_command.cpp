// ardentis-prepare keep: equal keypoint budgets for keypoint files a detector already wrote.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "prepare/commands.h"
#include "testers/keypoint_file.h"
#include "testset/evaluation_mesh.h"
#include "testset/keypoint_budget.h"
#include "testset/keypoint_file_writer.h"
#include "testset/naming.h"
#include "testset/test_configuration.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Prepare {
namespace {

const char* const kTool = "ardentis-prepare keep";

using LocalFeatures::Impl::Feature3D;

po::options_description keepOptions() {
  po::options_description options("keep options");
  // clang-format off
  options.add_options()
      ("help,h", "print the options and stop")
      ("version", Cli::kVersionOption)
      ("configFile,C", po::value<std::vector<std::string>>()->multitoken()->required(),
       "test configurations (INI), one or more; run from the directory that holds data/")
      ("savingPath,S", po::value<std::string>()->required(), "directory of the keypoint files")
      ("detectorID", po::value<std::string>()->required(), "detector name in the file names")
      ("radius,r", po::value<int>()->default_value(-1), "radius in the file names (when > 0)")
      ("sigmaSceneNoise,n", po::value<std::vector<double>>()->multitoken(),
       "scene noise levels (default 0.1)")
      ("keep", po::value<std::vector<std::string>>()->multitoken()->required(),
       "budgets, keypoints per 1,000 vertices of the cleaned mesh (one or more)")
      ("models-only", "the models' files only")
      ("scenes-only", "the scenes' files only");
  // clang-format on
  return options;
}

struct KeepRequest {
  std::string savingPath;
  std::string detectorID;
  int radius = -1;
  std::vector<std::string> budgets;  // written as in detector IDs
  std::vector<std::string> meshPaths;
};

int refuse(const std::string& problem, int status) {
  Cli::printError(kTool, problem);
  return status;
}

int readRequest(const po::variables_map& vm, KeepRequest& request) {
  request.savingPath = vm["savingPath"].as<std::string>();
  request.detectorID = vm["detectorID"].as<std::string>();
  request.radius = vm["radius"].as<int>();
  for (const std::string& text : vm["keep"].as<std::vector<std::string>>()) {
    std::string budget;
    const std::string problem = TestSet::parseBudget(text, budget);
    if (!problem.empty()) return refuse("--keep: " + problem, Cli::kBadUsage);
    request.budgets.push_back(budget);
  }
  std::vector<TestSet::ConfigurationFile> files;
  const std::string problem =
      TestSet::readConfigurationFiles(vm["configFile"].as<std::vector<std::string>>(), files);
  if (!problem.empty()) return refuse(problem, Cli::kBadUsage);
  if (!vm.count("scenes-only")) request.meshPaths = TestSet::modelMeshPaths(files);
  if (vm.count("models-only")) return Cli::kDone;
  std::vector<std::string> levels;
  for (const double level : vm.count("sigmaSceneNoise")
                                ? vm["sigmaSceneNoise"].as<std::vector<double>>()
                                : std::vector<double>{0.1}) {
    if (!(level >= 0.0)) return refuse("--sigmaSceneNoise must be 0 or more", Cli::kBadUsage);
    levels.push_back(TestSet::noiseLevelName(level));
  }
  for (const std::string& path : TestSet::sceneMeshPaths(files, levels))
    request.meshPaths.push_back(path);
  return Cli::kDone;
}

// The budgets of one mesh's keypoint file; returns the exit status.
int keepBudgets(const KeepRequest& request, const std::string& meshPath) {
  const std::string name = TestSet::meshNameFromPath(meshPath);
  const std::string source =
      TestSet::keypointFilePath(request.savingPath, request.detectorID, request.radius, name);
  Feature3D* read = nullptr;
  const int count = readKeypointFile(source.c_str(), read, false);
  const std::unique_ptr<Feature3D[]> owned(read);
  if (count <= 0) return refuse("cannot read keypoints from " + source, Cli::kInputFailed);
  const vtkSmartPointer<vtkPolyData> mesh = TestSet::loadCleanMesh(meshPath);
  if (!mesh) return refuse("cannot read the mesh " + meshPath, Cli::kInputFailed);
  const long long vertices = mesh->GetNumberOfPoints();
  std::printf("%s: %lld vertices, %d keypoints", name.c_str(), vertices, count);
  for (const std::string& keep : request.budgets) {
    std::vector<Feature3D> kept(read, read + count);
    TestSet::keepHighestScored(kept, TestSet::budgetCount(std::stod(keep), vertices));
    const std::string problem = TestSet::writeKeypointFile(
        TestSet::keypointFilePath(request.savingPath,
                                  TestSet::budgetedDetectorID(request.detectorID, keep),
                                  request.radius, name),
        kept);
    if (!problem.empty()) return refuse(problem, Cli::kCannotWrite);
    std::printf(", keep %s: %zu", keep.c_str(), kept.size());
  }
  std::printf("\n");
  std::fflush(stdout);
  return Cli::kDone;
}

}  // namespace

int runKeepCommand(int argc, char** argv) {
  const Cli::CommandLine commandLine{
      kTool,
      "Usage: ardentis-prepare keep -C CONFIG... -S DIR --detectorID ID [-r R] [-n SIGMA...]\n"
      "                             --keep K... [--models-only | --scenes-only]\n"
      "Writes <DIR>/<ID>_keep-<K>[_R-<R>]_<mesh>.feat: the K keypoints per 1,000 vertices of\n"
      "highest score of each file <DIR>/<ID>[_R-<R>]_<mesh>.feat (equal scores: the earlier).\n",
      keepOptions(),
      {},
      {}};
  po::variables_map vm;
  const Cli::ParseOutcome outcome = Cli::parseCommandLine(commandLine, argc, argv, vm);
  if (outcome != Cli::ParseOutcome::run) return Cli::exitStatusOf(outcome);
  KeepRequest request;
  if (const int status = readRequest(vm, request); status != Cli::kDone) return status;
  for (const std::string& meshPath : request.meshPaths) {
    const int status = keepBudgets(request, meshPath);
    if (status != Cli::kDone) return status;
  }
  return Cli::kDone;
}

}  // namespace Prepare
}  // namespace Ostrel
