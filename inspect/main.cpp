#include "inspect/run_inspect.h"

int main(int argc, char** argv) {
  return Ostrel::Inspect::runInspect(argc, argv);
}
