// The ground-truth reader on arbitrary bytes: accepted or refused, never a crash.

#include <cstddef>
#include <cstdint>

#include "driver/scene_and_models.h"
#include "support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ardentis_fuzz::PrepareProcess();
  const ardentis_fuzz::InputFile input(data, size, ".txt");
  TestModel model;
  readGroundTruth(input.path(), model);
  return 0;
}
