#include <cstring>

#include "replay/replay_file.h"
#include "sim/fast_extended.h"
#include "sim/frame_variants.h"
#include "sim/frame_step.h"
#include "sim/soft_extended.h"

FastOpCounts fastOpCounts{};  // declared in fast_extended.h

bool agreesWithModel(const FastFramePath& path) {
  // The software model: integers only, whatever the compiler's options or
  // the unit's mode (a Windows process starts at 53 bits).
  const auto product = [](double a, double b) {
    return softext::toDouble(softext::mul(softext::fromDouble(a), softext::fromDouble(b)));
  };
  const auto sum = [](double a, double b) {
    return softext::toDouble(softext::add(softext::fromDouble(a), softext::fromDouble(b)));
  };
  const auto same = [](double a, double b) { return bitCast<std::uint64_t>(a) == bitCast<std::uint64_t>(b); };
  // A reversal's 0.7 product that a fused multiply-add with the 0.3 would
  // round differently, then products by 0.7, 0.9 and -0.9 that binary64
  // alone rounds differently from the model.
  static constexpr double SPEEDS[] = {0x1.db3d22126e686p-2, 0x1.c5fb49e0eeadcp-2, 0x1.804b18f2230d6p+2,
                                      0x1.3fdb702848927p+0, 0x1.ffa22d3e5e2a1p+1, 0x1.ffa9b9de8662dp+2};
  for (const double vx : SPEEDS) {
    if (!same(path.steer(vx, INPUT_LEFT), sum(product(vx, k::C0_7), -k::C0_3)) ||
        !same(path.steer(-vx, INPUT_RIGHT), sum(product(-vx, k::C0_7), k::C0_3)) ||
        !same(path.steer(vx, 0), product(vx, k::C0_9)) || !same(path.bounce(vx), product(vx, k::CM0_9)))
      return false;
  }
  // 1 + 2^-53 + 2^-75: binary64 rounds it up; at 64 bits it is 1 + 2^-53, a
  // binary64 tie that goes to the even 1.
  constexpr double NEAR_TIE = 0x1.000004p-53;
  return same(path.move(1.0, NEAR_TIE), sum(1.0, NEAR_TIE)) && same(path.move(-1.0, -NEAR_TIE), sum(-1.0, -NEAR_TIE));
}

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

// Each fast path only where it passes its self-test.
const bool fusedUsable = fastFramesSupported() &&
                         agreesWithModel({frame_fast::steeredSpeed, frame_fast::bouncedSpeed, frame_fast::movedPosition});
const bool splitUsable = agreesWithModel({frame_split::steeredSpeed, frame_split::bouncedSpeed, frame_split::movedPosition});

// Where the x87 unit does the exact model, it is the faster of the two on
// the machines measured (see docs/performance.md); the
// software model is several times slower than either fast path.
Frames automaticFrames() {
  if (RUNAUDIT_EXTENDED_IS_SOFTWARE == 0) return Frames::Exact;
  return fusedUsable ? Frames::Fused : splitUsable ? Frames::Split : Frames::Exact;
}

// A chain of speed updates beats the x87 unit on the fused path; without
// a fused multiply-add the unit keeps them unless the model is software.
Frames automaticChains() {
  if (fusedUsable) return Frames::Fused;
  return RUNAUDIT_EXTENDED_IS_SOFTWARE != 0 && splitUsable ? Frames::Split : Frames::Exact;
}

// Set before main and by useFramePath only: a load and well-predicted
// branches per call.
Frames frames = automaticFrames();
Frames chains = automaticChains();

}  // namespace

void useFramePath(FramePath path) {
  // The fused path needs the CPU's fused multiply-add; split products are
  // the same binary64 path without it.
  if (path == FramePath::Fused && !fusedUsable) path = FramePath::Split;
  // A path that fails its self-test is never used, even when asked for.
  if (path == FramePath::Split && !splitUsable) path = FramePath::Exact;
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
