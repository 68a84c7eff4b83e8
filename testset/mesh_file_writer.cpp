#include "testset/mesh_file_writer.h"

#include <vtkPLYWriter.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include "core/io/atomic_file.h"

namespace Ostrel {
namespace TestSet {

std::string writeMeshFile(vtkPolyData* mesh, const std::string& path,
                          const std::vector<std::string>& comments) {
  // vtkPLYWriter adds ".ply" to a name without it, so the temporary name ends with it.
  return Core::Impl::ReplaceFileAtomically(path, ".ply", [&](const std::string& temporary) {
    auto writer = vtkSmartPointer<vtkPLYWriter>::New();
    writer->SetInputData(mesh);
    writer->SetFileName(temporary.c_str());
    writer->SetFileTypeToBinary();
    writer->SetDataByteOrderToLittleEndian();
    writer->SetArrayName("RGB");  // colours only from the loaders' colour array
    for (const std::string& comment : comments) writer->AddComment(comment);
    return writer->Write() == 1 && writer->GetErrorCode() == 0;
  });
}

}  // namespace TestSet
}  // namespace Ostrel
