#include "verify/speed_decay.h"

#include "sim/extended.h"

namespace {

double decayStep(double vx) { return store(extMul(widen(vx), widen(k::C0_9))); }

}  // namespace

double decaySpeed(double vx, std::uint64_t frames) {
  for (std::uint64_t n = 0; n < frames; ++n) {
    const double next = decayStep(vx);
    // A value the decay maps to itself stays there: the rest is skipped.
    if (next == vx) break;
    vx = next;
  }
  return vx;
}

double decaySpeedForKey(double vx, std::uint64_t frames) {
  for (std::uint64_t n = 0; n < frames && !(vx < TINY_SPEED && vx > -TINY_SPEED); ++n) vx = decayStep(vx);
  return vx;
}
