// LoadPcd on arbitrary bytes, in every DATA mode (ascii, binary, binary_compressed with its LZF
// stream and size words): null or a consistent mesh, never a crash.

#include <vtkPolyData.h>

#include <cstddef>
#include <cstdint>

#include "core/io/load_pcd.h"
#include "support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ardentis_fuzz::PrepareProcess();
  const ardentis_fuzz::InputFile input(data, size, ".pcd");
  vtkPolyData* mesh = LoadPcd(input.path());
  ardentis_fuzz::CheckLoadedMesh(mesh);
  if (mesh) mesh->Delete();
  return 0;
}
