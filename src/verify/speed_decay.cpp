#include "verify/speed_decay.h"

#include "sim/extended.h"

double decaySpeed(double vx, std::uint64_t frames) {
  for (std::uint64_t n = 0; n < frames; ++n) {
    const double next = store(extMul(widen(vx), widen(k::C0_9)));
    // A value the decay maps to itself stays there: the rest is skipped.
    if (next == vx) break;
    vx = next;
  }
  return vx;
}
