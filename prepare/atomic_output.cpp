#include "prepare/atomic_output.h"

#include "cli/directories.h"
#include "testset/mesh_file_writer.h"

namespace Ostrel {
namespace Prepare {

std::string writePlyAtomically(vtkPolyData* mesh, const std::string& path) {
  const std::string problem = Cli::makeParentDirectories(path);
  if (!problem.empty()) return problem;
  return TestSet::writeMeshFile(mesh, path);
}

}  // namespace Prepare
}  // namespace Ostrel
