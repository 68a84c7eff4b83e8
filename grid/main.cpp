#include "grid/run_grid.h"

int main(int argc, char** argv) {
  return Ostrel::Grid::runGrid(argc, argv);
}
