#include "driver/run_evaluation.h"

int main(int argc, char** argv) {
  return runEvaluation(argc, argv);
}
