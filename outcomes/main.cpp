#include "outcomes/run_outcomes.h"

int main(int argc, char** argv) {
  return Ostrel::Inspect::runInspect(argc, argv);
}
