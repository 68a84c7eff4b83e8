#include <malloc.h>

#include "driver/run_evaluation.h"

int main(int argc, char** argv) {
  // A run frees and allocates arrays of megabytes in turn (read buffers, cleaned points, maps).
  // Kept in the heap rather than handed back to the kernel, the freed memory serves the next
  // array without faulting its pages in again.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  // One heap for every thread: memory one thread frees then serves the others' arrays too (a
  // heap per thread kept each one's freed arrays to itself: +12 MB of peak on the raw-scan
  // benchmark). The threads allocate seldom and in large blocks, so they hardly wait on it.
  mallopt(M_ARENA_MAX, 1);
  return runEvaluation(argc, argv);
}
