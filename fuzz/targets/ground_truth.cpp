// The ground-truth reader on arbitrary bytes: accepted or refused, never a crash.

#include "testset/ground_truth.h"

#include <cstddef>
#include <cstdint>

#include "support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ardentis_fuzz::PrepareProcess();
  const ardentis_fuzz::InputFile input(data, size, ".txt");
  float rotation[9], translation[3];
  Ostrel::TestSet::readGroundTruth(input.path(), rotation, translation);
  return 0;
}
