// ardentis-prepare measure: the vertex count of every mesh of a test set, cleaned as the
// evaluation cleans it, for keypoint densities (keypoints per 1,000 vertices).

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/directories.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "core/io/atomic_file.h"
#include "prepare/commands.h"
#include "testset/evaluation_mesh.h"
#include "testset/naming.h"
#include "testset/test_configuration.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Prepare {
namespace {

const char* const kTool = "ardentis-prepare measure";

po::options_description measureOptions() {
  po::options_description options("measure options");
  // clang-format off
  options.add_options()
      ("help,h", "print the options and stop")
      ("version", Cli::kVersionOption)
      ("configFile,C", po::value<std::vector<std::string>>()->multitoken()->required(),
       "test configurations (INI), one or more; run from the directory that holds data/")
      ("sigmaSceneNoise,n", po::value<std::vector<double>>()->multitoken(),
       "scene noise levels (default 0.1)")
      ("output,o", po::value<std::string>(), "file of the table (default: standard output)");
  // clang-format on
  return options;
}

// The meshes of the configurations: every model once, then each scene at each noise level.
int meshPaths(const po::variables_map& vm, std::vector<std::string>& paths) {
  std::vector<TestSet::ConfigurationFile> files;
  const std::string problem =
      TestSet::readConfigurationFiles(vm["configFile"].as<std::vector<std::string>>(), files);
  if (!problem.empty()) {
    Cli::printError(kTool, problem);
    return Cli::kBadUsage;
  }
  paths = TestSet::modelMeshPaths(files);
  std::vector<std::string> levels;
  for (const double level : vm.count("sigmaSceneNoise")
                                ? vm["sigmaSceneNoise"].as<std::vector<double>>()
                                : std::vector<double>{0.1})
    levels.push_back(TestSet::noiseLevelName(level));
  for (const std::string& path : TestSet::sceneMeshPaths(files, levels)) paths.push_back(path);
  return Cli::kDone;
}

}  // namespace

int runMeasureCommand(int argc, char** argv) {
  const Cli::CommandLine commandLine{
      kTool,
      "Usage: ardentis-prepare measure -C CONFIG... [-n SIGMA...] [-o FILE]\n"
      "Writes Mesh;Vertices, the vertex count of each model and scene after cleaning.\n",
      measureOptions(),
      {},
      {}};
  po::variables_map vm;
  const Cli::ParseOutcome outcome = Cli::parseCommandLine(commandLine, argc, argv, vm);
  if (outcome != Cli::ParseOutcome::run) return Cli::exitStatusOf(outcome);
  std::vector<std::string> paths;
  if (const int status = meshPaths(vm, paths); status != Cli::kDone) return status;
  std::string table = "Mesh;Vertices\n";
  for (const std::string& path : paths) {
    const vtkSmartPointer<vtkPolyData> mesh = TestSet::loadCleanMesh(path);
    if (!mesh) {
      Cli::printError(kTool, "cannot read the mesh " + path);
      return Cli::kInputFailed;
    }
    table += TestSet::meshNameFromPath(path) + ";" +
             std::to_string(static_cast<long long>(mesh->GetNumberOfPoints())) + "\n";
  }
  if (!vm.count("output")) {
    std::fputs(table.c_str(), stdout);
    return Cli::kDone;
  }
  const std::string output = vm["output"].as<std::string>();
  std::string problem = Cli::makeParentDirectories(output);
  if (problem.empty()) problem = Core::Impl::WriteFileAtomically(output, table);
  if (problem.empty()) return Cli::kDone;
  Cli::printError(kTool, problem);
  return Cli::kCannotWrite;
}

}  // namespace Prepare
}  // namespace Ostrel
