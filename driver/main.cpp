#include <malloc.h>

#include "driver/run_evaluation.h"

int main(int argc, char** argv) {
  // A run frees and allocates arrays of megabytes in turn (read buffers, cleaned points, maps).
  // Kept in the heap rather than handed back to the kernel, the freed memory serves the next
  // array without faulting its pages in again.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  return runEvaluation(argc, argv);
}
