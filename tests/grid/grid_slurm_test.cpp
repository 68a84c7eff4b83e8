#include <gtest/gtest.h>
TEST(GridOnSlurm, Placeholder) {}
