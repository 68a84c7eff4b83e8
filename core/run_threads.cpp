#include "core/run_threads.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

int RunThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  const int fallback = cores > 0 ? static_cast<int>(cores) : 1;
  const char* text = std::getenv("ARDENTIS_THREADS");
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno == 0 && *end == '\0' && value > 0 && value <= 1024) return static_cast<int>(value);
  std::fprintf(stderr, "ARDENTIS_THREADS: '%s' is not a thread count from 1 to 1024; using %d\n",
               text, fallback);
  return fallback;
}
