#include "verify/speed_decay.h"

#include "sim/frame_variants.h"

double decaySpeed(double vx, std::uint64_t frames) {
  for (std::uint64_t n = 0; n < frames; ++n) {
    const double next = steerSpeed(vx, 0);
    // A value the decay maps to itself stays there: the rest is skipped.
    if (next == vx) break;
    vx = next;
  }
  return vx;
}

double decaySpeedForKey(double vx, std::uint64_t frames) {
  for (std::uint64_t n = 0; n < frames && !(vx < TINY_SPEED && vx > -TINY_SPEED); ++n) vx = steerSpeed(vx, 0);
  return vx;
}
