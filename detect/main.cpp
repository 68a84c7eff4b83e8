#include "detect/run_detection.h"

int main(int argc, char** argv) {
  return Ostrel::Detect::runDetection(argc, argv);
}
