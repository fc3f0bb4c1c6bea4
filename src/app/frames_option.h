// RUNAUDIT_FRAMES=auto|exact|fast|split: a switch of the programs, tests
// and benchmarks, to compare and time the library's arithmetic paths. The
// library reads no environment of its own; anything else in the variable
// leaves the automatic choice.
#pragma once

#include <cstdlib>

#include "sim/frame_variants.h"

inline void useFramePathFromEnvironment() {
  FramePath path = FramePath::Auto;
  if (framePathNamed(std::getenv("RUNAUDIT_FRAMES"), path)) useFramePath(path);
}
