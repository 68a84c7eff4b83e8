// ardentis-prepare convert: any mesh or cloud the loader reads, as binary PLY.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdio>
#include <string>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "core/io/load_poly_data.h"
#include "prepare/atomic_output.h"
#include "prepare/commands.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Prepare {
namespace {

const char* const kTool = "ardentis-prepare convert";

po::options_description convertOptions() {
  po::options_description options("convert options (IN OUT.ply)");
  // clang-format off
  options.add_options()
      ("help,h", "print the options and stop")
      ("version", Cli::kVersionOption)
      ("input", po::value<std::string>()->required(),
       "mesh or cloud: .ply .obj .vtk .off .vert/.tri .pcd (ascii, binary, binary_compressed)")
      ("output", po::value<std::string>()->required(), "binary little-endian PLY to write");
  // clang-format on
  return options;
}

}  // namespace

int runConvertCommand(int argc, char** argv) {
  Cli::CommandLine commandLine{
      kTool, "Usage: ardentis-prepare convert IN OUT.ply\n", convertOptions(), {}, {}};
  commandLine.positional.add("input", 1).add("output", 1);
  po::variables_map vm;
  const Cli::ParseOutcome outcome = Cli::parseCommandLine(commandLine, argc, argv, vm);
  if (outcome != Cli::ParseOutcome::run) return Cli::exitStatusOf(outcome);
  const std::string input = vm["input"].as<std::string>();
  const std::string output = vm["output"].as<std::string>();
  auto mesh = vtkSmartPointer<vtkPolyData>::Take(Core::Impl::LoadPolyData(input.c_str()));
  if (!mesh) {
    Cli::printError(kTool, "cannot read " + input);
    return Cli::kInputFailed;
  }
  const std::string problem = writePlyAtomically(mesh, output);
  if (!problem.empty()) {
    Cli::printError(kTool, problem);
    return Cli::kCannotWrite;
  }
  std::printf("%s: %lld points, %lld triangles\n", output.c_str(),
              static_cast<long long>(mesh->GetNumberOfPoints()),
              static_cast<long long>(mesh->GetNumberOfPolys()));
  return Cli::kDone;
}

}  // namespace Prepare
}  // namespace Ostrel
