#include "verify/speed_decay.h"

#include "sim/frame_variants.h"

double decaySpeed(double vx, std::uint64_t frames) { return decaySpeedChain(vx, frames, 0.0); }

double decaySpeedForKey(double vx, std::uint64_t frames) { return decaySpeedChain(vx, frames, TINY_SPEED); }
