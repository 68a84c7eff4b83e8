#include "prepare/atomic_output.h"

#include <vtkPLYWriter.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include "core/io/atomic_file.h"
#include "core/io/create_parent_directory.h"

namespace Ostrel {
namespace Prepare {

std::string WritePlyAtomically(vtkPolyData* mesh, const std::string& path) {
  Core::Impl::CreateParentDirectory(path.c_str());
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
