#include "verify/speed_decay.h"

#include "sim/frame_step.h"

namespace {

// The frame's own decay, on the fastest exact arithmetic the frame step has:
// with no key and rejump on, applyInput changes vx alone.
struct Decay {
  GameState scratch{};
  Decay() { scratch.rejump = 1; }
  double step(double vx) {
    scratch.vx = vx;
    applyInput(scratch, 0);
    return scratch.vx;
  }
};

}  // namespace

double decaySpeed(double vx, std::uint64_t frames) {
  Decay decay;
  for (std::uint64_t n = 0; n < frames; ++n) {
    const double next = decay.step(vx);
    // A value the decay maps to itself stays there: the rest is skipped.
    if (next == vx) break;
    vx = next;
  }
  return vx;
}

double decaySpeedForKey(double vx, std::uint64_t frames) {
  Decay decay;
  for (std::uint64_t n = 0; n < frames && !(vx < TINY_SPEED && vx > -TINY_SPEED); ++n) vx = decay.step(vx);
  return vx;
}
