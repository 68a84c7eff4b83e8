// LoadVtk on arbitrary bytes: null or a consistent mesh, never a crash.

#include <vtkPolyData.h>

#include <cstddef>
#include <cstdint>

#include "core/io/library_readers.h"
#include "support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ardentis_fuzz::PrepareProcess();
  const ardentis_fuzz::InputFile input(data, size, ".vtk");
  vtkPolyData* mesh = LoadVtk(input.path());
  ardentis_fuzz::CheckLoadedMesh(mesh);
  if (mesh) mesh->Delete();
  return 0;
}
