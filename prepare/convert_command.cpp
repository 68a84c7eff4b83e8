// ardentis-prepare convert: any mesh or cloud the loader reads, as binary PLY.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdio>
#include <string>

#include "core/io/load_poly_data.h"
#include "prepare/atomic_output.h"
#include "prepare/command_line.h"
#include "prepare/commands.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Prepare {
namespace {

const char* const kCommand = "convert";

po::options_description ConvertOptions() {
  po::options_description options("convert options (IN OUT.ply)");
  // clang-format off
  options.add_options()
      ("help", "print the options and stop")
      ("input", po::value<std::string>()->required(),
       "mesh or cloud: .ply .obj .vtk .off .vert/.tri .pcd (ascii, binary, binary_compressed)")
      ("output", po::value<std::string>()->required(), "binary little-endian PLY to write");
  // clang-format on
  return options;
}

}  // namespace

int RunConvertCommand(int argc, char** argv) {
  po::positional_options_description positional;
  positional.add("input", 1).add("output", 1);
  po::variables_map vm;
  bool usageError = false;
  if (!ParseCommandLine(argc, argv, kCommand, ConvertOptions(), positional, vm, usageError)) {
    return usageError ? 2 : 0;
  }
  const std::string input = vm["input"].as<std::string>();
  const std::string output = vm["output"].as<std::string>();
  auto mesh = vtkSmartPointer<vtkPolyData>::Take(Core::Impl::LoadPolyData(input.c_str()));
  if (!mesh) {
    ReportProblem(kCommand, "cannot read " + input);
    return 1;
  }
  const std::string problem = WritePlyAtomically(mesh, output);
  if (!problem.empty()) {
    ReportProblem(kCommand, problem);
    return 1;
  }
  std::printf("%s: %lld points, %lld triangles\n", output.c_str(),
              static_cast<long long>(mesh->GetNumberOfPoints()),
              static_cast<long long>(mesh->GetNumberOfPolys()));
  return 0;
}

}  // namespace Prepare
}  // namespace Ostrel
