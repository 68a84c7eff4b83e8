// The keypoint-file reader on arbitrary bytes, in the form the first byte selects: a count and
// records, never a crash, and never an allocation the file cannot justify.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/fuzz_input.h"
#include "testers/feature3d.h"
#include "testers/from_file_tester.h"

using Ostrel::LocalFeatures::Impl::Feature3D;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool binary = data[0] & 1;
  const ardentis_fuzz::InputFile input(data + 1, size - 1, ".feat");
  std::string savingPath = "/tmp";
  FromFileTester tester("FUZZ", savingPath, 1.0, -1);
  Feature3D* keypoints = nullptr;
  const int count = tester.load(input.path(), keypoints, binary);
  const bool consistent =
      count == 0 || (count > 0 && keypoints != nullptr && static_cast<size_t>(count) <= size);
  if (!consistent) {
    std::fprintf(stderr, "load returned %d for %zu bytes\n", count, size);
    std::abort();
  }
  // Reading every record proves the array is as long as the count says (ASan checks it).
  float sum = 0.0f;
  for (int i = 0; i < count; ++i) sum += keypoints[i].x + keypoints[i].frame[8];
  (void)sum;
  delete[] keypoints;
  return 0;
}
