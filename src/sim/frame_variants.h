// The frame step exists in three builds of the same code: on the exact
// model alone, and on the fast binary64 path with the exact model as
// fallback, its products' errors from a fused multiply-add (frame_fast) or
// from split products (frame_split, for CPUs without one). All give
// identical states bit for bit; stepFrame() and its parts (see
// frame_step.h) use the fastest one this build and CPU offer.
#pragma once

#include <cstdint>

struct GameState;

#define RUNAUDIT_DECLARE_FRAME_VARIANT(ns)                                     \
  namespace ns {                                                               \
  double steeredSpeed(double vx, std::uint8_t input);                          \
  double bouncedSpeed(double vx);                                              \
  double movedPosition(double x, double vx);                                   \
  void glide(double& x, double& vx);                                           \
  double decayedSpeed(double vx, std::uint64_t frames, double stopBelow);      \
  double bouncedOnTheSpot(double vx, std::uint8_t input, std::uint64_t frames); \
  void applyInput(GameState& state, std::uint8_t input);                       \
  bool startJump(GameState& state);                                            \
  void integrateMotion(GameState& state);                                      \
  bool stepFrame(GameState& state, std::uint8_t input);                        \
  }

RUNAUDIT_DECLARE_FRAME_VARIANT(frame_exact)
RUNAUDIT_DECLARE_FRAME_VARIANT(frame_fast)
RUNAUDIT_DECLARE_FRAME_VARIANT(frame_split)
// Counts operations and fallbacks into fastOpCounts: built for benchmarks only.
RUNAUDIT_DECLARE_FRAME_VARIANT(frame_fast_counted)

#undef RUNAUDIT_DECLARE_FRAME_VARIANT

// Whether this CPU and build can run frame_fast: it needs a fused
// multiply-add unit and binary64 arithmetic that keeps subnormals.
bool fastFramesSupported();

// A fast path's own speed updates, for its self-test.
struct FastFramePath {
  double (*steer)(double vx, std::uint8_t input);
  double (*bounce)(double vx);
  double (*move)(double x, double vx);
};
// Whether the path gives the software model's results on operands where a
// compiler that contracts a product into a sum, or reassociates a sum's
// exact error away (-ffp-contract=fast, -funsafe-math-optimizations with
// Clang, which no macro reveals), would not: one rounding where there are
// two, a product or sum whose double rounding differs from binary64's. A
// path that fails is never used; the exact model stands in.
bool agreesWithModel(const FastFramePath& path);
// Whether stepFrame() uses a fast path (frame_fast, else frame_split): by
// default where the exact model is the software one, on frame_fast where
// it is supported and on frame_split elsewhere; useFramePath changes it.
bool fastFramesInUse();

// The arithmetic of whole frames and of the shortcuts' chains, for the
// whole process. Auto: the fastest exact choice of this build and CPU (the
// default); Exact: the exact model alone (the x87 unit or the software
// model); Fused: the fast binary64 path on a fused multiply-add (on split
// products where the CPU has none); Split: on split products. All give the
// same states bit for bit. Not synchronised: choose before checks start.
// The library never reads the environment; the programs, tests and
// benchmarks pass on their RUNAUDIT_FRAMES (app/frames_option.h).
enum class FramePath { Auto, Exact, Fused, Split };
void useFramePath(FramePath path);
// The path whole frames take: Exact, Fused or Split, never Auto.
FramePath framePathInUse();
// "auto", "exact", "fast" (Fused) or "split"; false for anything else.
bool framePathNamed(const char* name, FramePath& path);

// The frame's own speed updates one at a time, for playback's shortcuts:
// applyInput's steering (the decay without a direction key), a wall's
// bounce, a move that meets no wall, and a glide: the decay, then the move.
// A long run of them is one dependent chain, where the fast path beats the
// x87 unit: they take it wherever it is supported, unless another
// FramePath is chosen.
double steerSpeed(double vx, std::uint8_t input);
double bounceSpeed(double vx);
double movePosition(double x, double vx);
void glide(double& x, double& vx);
// The decay without a direction key for `frames` frames, stopped early at a
// value it keeps or once |vx| < stopBelow (0: never).
double decaySpeedChain(double vx, std::uint64_t frames, double stopBelow);
// `frames` frames of steering by `input`, each followed by a wall's bounce.
double bounceSpeedChain(double vx, std::uint8_t input, std::uint64_t frames);
