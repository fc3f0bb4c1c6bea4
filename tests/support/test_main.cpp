#include <gtest/gtest.h>

#include "app/frames_option.h"
#include "sim/fpu_mode.h"

int main(int argc, char** argv) {
  resetFloatingPointUnit();  // as the program does, before any game runs
  useFramePathFromEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
