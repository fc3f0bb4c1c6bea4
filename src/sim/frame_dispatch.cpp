#include <cstring>

#include "sim/fast_extended.h"
#include "sim/frame_variants.h"
#include "sim/frame_step.h"

FastOpCounts fastOpCounts{};  // declared in fast_extended.h

bool fastFramesSupported() {
#if defined(__x86_64__)
  // FMA instructions are VEX-encoded: the AVX state must be usable too.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma");
#elif defined(__aarch64__)
  return true;  // every arm64 CPU has a fused multiply-add
#else
  return false;
#endif
}

namespace {

using Frames = FramePath;

// Where the x87 unit does the exact model, it is the faster of the two on
// the machines measured (see docs/performance.md); the
// software model is several times slower than either fast path.
Frames automaticFrames() {
  if (RUNAUDIT_EXTENDED_IS_SOFTWARE == 0) return Frames::Exact;
  return fastFramesSupported() ? Frames::Fused : Frames::Split;
}

// A chain of speed updates beats the x87 unit on the fused path; without
// a fused multiply-add the unit keeps them unless the model is software.
Frames automaticChains() {
  if (fastFramesSupported()) return Frames::Fused;
  return RUNAUDIT_EXTENDED_IS_SOFTWARE != 0 ? Frames::Split : Frames::Exact;
}

// Set before main and by useFramePath only: a load and well-predicted
// branches per call.
Frames frames = automaticFrames();
Frames chains = automaticChains();

}  // namespace

void useFramePath(FramePath path) {
  // The fused path needs the CPU's fused multiply-add; split products are
  // the same binary64 path without it.
  if (path == FramePath::Fused && !fastFramesSupported()) path = FramePath::Split;
  frames = path == FramePath::Auto ? automaticFrames() : path;
  chains = path == FramePath::Auto ? automaticChains() : path;
}

FramePath framePathInUse() { return frames; }

bool framePathNamed(const char* name, FramePath& path) {
  if (name == nullptr) return false;
  static constexpr struct {
    const char* name;
    FramePath path;
  } NAMES[] = {{"auto", FramePath::Auto}, {"exact", FramePath::Exact}, {"fast", FramePath::Fused}, {"split", FramePath::Split}};
  for (const auto& entry : NAMES)
    if (std::strcmp(name, entry.name) == 0) {
      path = entry.path;
      return true;
    }
  return false;
}

bool fastFramesInUse() { return frames != Frames::Exact; }

#define RUNAUDIT_DISPATCH(choice, call) \
  ((choice) == Frames::Fused ? frame_fast::call : (choice) == Frames::Split ? frame_split::call : frame_exact::call)

double steerSpeed(double vx, std::uint8_t input) { return RUNAUDIT_DISPATCH(chains, steeredSpeed(vx, input)); }
double movePosition(double x, double vx) { return RUNAUDIT_DISPATCH(chains, movedPosition(x, vx)); }
void glide(double& x, double& vx) { RUNAUDIT_DISPATCH(chains, glide(x, vx)); }
double decaySpeedChain(double vx, std::uint64_t count, double stopBelow) {
  return RUNAUDIT_DISPATCH(chains, decayedSpeed(vx, count, stopBelow));
}
double bounceSpeedChain(double vx, std::uint8_t input, std::uint64_t count) {
  return RUNAUDIT_DISPATCH(chains, bouncedOnTheSpot(vx, input, count));
}
double bounceSpeed(double vx) { return RUNAUDIT_DISPATCH(chains, bouncedSpeed(vx)); }

void applyInput(GameState& s, std::uint8_t input) { RUNAUDIT_DISPATCH(frames, applyInput(s, input)); }
bool startJump(GameState& s) { return RUNAUDIT_DISPATCH(frames, startJump(s)); }
void integrateMotion(GameState& s) { RUNAUDIT_DISPATCH(frames, integrateMotion(s)); }
bool stepFrame(GameState& s, std::uint8_t input) { return RUNAUDIT_DISPATCH(frames, stepFrame(s, input)); }
