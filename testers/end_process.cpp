#include "testers/end_process.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

void endProcessNow(int status) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::_Exit(status);
}
