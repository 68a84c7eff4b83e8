#include "prepare/atomic_output.h"

#include <vtkPLYWriter.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include "cli/directories.h"
#include "core/io/atomic_file.h"

namespace Ostrel {
namespace Prepare {

std::string writePlyAtomically(vtkPolyData* mesh, const std::string& path) {
  const std::string problem = Cli::makeParentDirectories(path);
  if (!problem.empty()) return problem;
  // vtkPLYWriter adds ".ply" to a name without it, so the temporary name ends with it.
  return Core::Impl::ReplaceFileAtomically(path, ".ply", [mesh](const std::string& temporary) {
    auto writer = vtkSmartPointer<vtkPLYWriter>::New();
    writer->SetInputData(mesh);
    writer->SetFileName(temporary.c_str());
    writer->SetFileTypeToBinary();
    writer->SetDataByteOrderToLittleEndian();
    writer->SetArrayName("RGB");  // colours only from the loaders' colour array
    return writer->Write() == 1 && writer->GetErrorCode() == 0;
  });
}

}  // namespace Prepare
}  // namespace Ostrel
