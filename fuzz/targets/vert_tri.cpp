// LoadVertTri on an arbitrary pair of files: the input's first byte says how much of the rest
// (in 256ths) goes to the .vert file; the remainder is the .tri file.

#include <vtkPolyData.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/io/load_vert_tri.h"
#include "support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ardentis_fuzz::PrepareProcess();
  if (size == 0) return 0;
  const size_t body = size - 1;
  const size_t vertSize = body * data[0] / 255;
  const ardentis_fuzz::InputFile vert(data + 1, vertSize, ".vert");
  const ardentis_fuzz::InputFile tri(data + 1 + vertSize, body - vertSize, ".tri");
  std::string base = vert.path();
  base.resize(base.size() - 5);
  vtkPolyData* mesh = LoadVertTri(base.c_str());
  ardentis_fuzz::CheckLoadedMesh(mesh);
  if (mesh) mesh->Delete();
  return 0;
}
