#include "verify/speed_decay.h"

#include "sim/frame_variants.h"

double decaySpeed(double vx, std::uint64_t frames) { return decaySpeedChain(vx, frames, 0.0); }

// A frame's decay rounds |v| 0.9 twice, to 64 bits and to binary64, so it
// leaves at most |v| 0.9 (1 + 2^-64)(1 + 2^-53) < |v| 0.9000000000000002,
// as long as v is normal. That factor's 86th power is 2^-13.07: from a
// settled speed (at most 2^-45, see settledSpeedAt) 86 frames are sure to
// take it below TINY_SPEED, without walking them.
constexpr std::uint64_t FRAMES_BELOW_TINY = 86;
constexpr double SETTLED_AT_MOST = 0x1p-45;

double decaySpeedForKey(double vx, std::uint64_t frames) {
  if (frames >= FRAMES_BELOW_TINY && (vx < 0.0 ? -vx : vx) <= SETTLED_AT_MOST) return 0.0;
  return decaySpeedChain(vx, frames, TINY_SPEED);
}
