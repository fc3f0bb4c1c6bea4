// The scroll counter is a 32-bit integer that wraps: a game that scrolled
// 2^31 pixels goes on with a negative `scrolled`, where the automatic scroll
// stops (scrolled + d > 100 no longer holds), the floors' surfaces move by
// the remainder's sign and new rows come at the other edge of each 16. No
// recording gets there in reasonable time, so the games start from
// climbing states moved up to just short of the wrap (by a multiple of 16,
// which keeps every floor where it was): there the fast frame steps and
// the playback shortcuts must still give exactly the frame-by-frame model.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "climber.h"
#include "sim/fpu_mode.h"
#include "sim/frame_variants.h"
#include "support/replay_builder.h"
#include "support/sim_helpers.h"
#include "verify/playback.h"

namespace {

// A state of a climbing game, standing on a floor at least 60 frames before
// the climber's end (the `pick`th such, counting from the last), its scroll
// moved to `beforeWrap` pixels (about) short of the wrap.
GameState nearTheWrap(std::uint32_t seed, std::uint32_t pick, std::int32_t beforeWrap) {
  const ScriptedGame game = scriptClimb(seed, 20000);
  GameState s = freshGame(game.seed, 1);
  std::vector<GameState> standing{s};
  for (std::size_t f = 0; f + 60 < game.inputs.size(); ++f) {
    stepFrame(s, game.inputs[f]);
    if (s.jumpState == JumpState::Grounded && s.scrolled > 100) standing.push_back(s);
  }
  s = standing[standing.size() - 1 - pick % standing.size()];
  const std::int32_t target = INT32_MAX - beforeWrap;
  s.scrolled = target - (target % 16 - s.scrolled % 16 + 16) % 16;
  return s;
}

struct WrapRun {
  PlaybackOutcome outcome;
  bool crossed;  // some frame went from a non-negative scroll to a negative one
  int shortcutsAfterTheWrap[SHORTCUT_KINDS];  // taken from a state of negative scroll
};

WrapRun play(const GameState& start, const std::vector<InputRecord>& records, bool fastForward) {
  ReplayFixture fixture;
  fixture.records = records;
  ReplayFile file = buildReplay(fixture);
  struct Watch {
    std::int32_t last;
    bool crossed;
  } watch{start.scrolled, false};
  PlaybackOptions options;
  options.start = &start;
  options.fastForward = fastForward;
  if (!fastForward) {
    options.context = &watch;
    options.observer = [](void* context, const FrameReport& r) {
      auto& w = *static_cast<Watch*>(context);
      w.crossed = w.crossed || (w.last >= 0 && r.state->scrolled < 0);
      w.last = r.state->scrolled;
      return true;
    };
  }
  WrapRun run{};
  options.shortcutContext = &run;
  options.shortcutObserver = [](void* context, const ShortcutReport& r) {
    if (r.before->scrolled < 0) ++static_cast<WrapRun*>(context)->shortcutsAfterTheWrap[static_cast<int>(r.kind)];
  };
  run.outcome = playReplayOutcome(file, options);
  run.crossed = watch.crossed;
  releaseReplay(file);
  return run;
}

TEST(ScrollWrap, PlaybackShortcutsMatchFrameByFrameAcrossTheWrap) {
  // Standing, walking, jumping on the spot, into a wall, and mixed records:
  // long ones, where the shortcuts (repeats, coasting, the settled speed,
  // the jump shortcuts) have room once the scroll has stopped.
  const std::vector<std::vector<InputRecord>> patterns = {
      {{20000, 0x00}, {0, 0x80}},
      {{30, 0x02}, {20000, 0x00}, {0, 0x80}},
      {{20000, 0x10}, {0, 0x80}},
      {{40, 0x01}, {9000, 0x11}, {9000, 0x10}, {0, 0x80}},
      {{5000, 0x12}, {300, 0x01}, {12000, 0x00}, {0, 0x80}},
      {{3, 0x10}, {7, 0x02}, {4000, 0x00}, {64, 0x10}, {65, 0x10}, {4000, 0x13}, {0, 0x80}},
  };
  std::mt19937 rng(20261210);
  int crossed = 0, runs = 0, died = 0, shortcuts[SHORTCUT_KINDS] = {};
  for (std::uint32_t seed = 0; seed < 6; ++seed)
    for (const std::int32_t beforeWrap : {0, 1, 15, 16, 17, 40}) {
      const GameState start = nearTheWrap(seed * 7919, rng() % 200, beforeWrap);
      for (std::size_t p = 0; p < patterns.size(); ++p) {
        const WrapRun slow = play(start, patterns[p], false);
        const WrapRun fast = play(start, patterns[p], true);
        const std::string what = "seed " + std::to_string(seed) + ", " + std::to_string(beforeWrap) +
                                 " before the wrap, pattern " + std::to_string(p);
        EXPECT_EQ(slow.outcome.died, fast.outcome.died) << what;
        EXPECT_EQ(slow.outcome.frames, fast.outcome.frames) << what;
        EXPECT_EQ(slow.outcome.recordsPlayed, fast.outcome.recordsPlayed) << what;
        EXPECT_EQ(slow.outcome.highestFloor, fast.outcome.highestFloor) << what;
        EXPECT_TRUE(sameState(slow.outcome.finalState, fast.outcome.finalState)) << what;
        for (int k = 0; k < SHORTCUT_KINDS; ++k) shortcuts[k] += fast.shortcutsAfterTheWrap[k];
        crossed += slow.crossed;
        died += slow.outcome.died;
        ++runs;
      }
    }
  // Most games cross the wrap alive; the rest die on the way, as they may.
  EXPECT_GT(crossed, runs / 2);
  EXPECT_GT(runs - died, runs / 4);
  // Past the wrap the scroll stops, and the shortcuts of a still screen apply.
  for (const Shortcut kind : {Shortcut::Cycle, Shortcut::SettledSpeed, Shortcut::Coasting, Shortcut::DriftingJumps})
    EXPECT_GT(shortcuts[static_cast<int>(kind)], 0) << "shortcut " << static_cast<int>(kind);
  std::printf("%d runs, %d crossed the wrap, %d died; shortcuts after it:", runs, crossed, died);
  for (const int n : shortcuts) std::printf(" %d", n);
  std::printf("\n");
}

TEST(ScrollWrap, FastAndExactFramesAgreeOnEveryFrameAcrossTheWrap) {
  resetFloatingPointUnit();
  const bool fused = fastFramesSupported();
  std::mt19937 rng(20261211);
  int crossed = 0;
  for (std::uint32_t seed = 0; seed < 24; ++seed) {
    GameState exact = nearTheWrap(seed * 104729, rng() % 200, static_cast<std::int32_t>(rng() % 64));
    GameState split = exact, fast = exact;
    // The climber's own inputs across the wrap, then random records.
    bool wrapped = false;
    for (int frame = 0; frame < 6000; ++frame) {
      const std::uint8_t input = frame < 400 ? climbInput(exact) : static_cast<std::uint8_t>(0x10 * (frame / 97 % 2) | (frame / 131 % 3));
      const bool alive = frame_exact::stepFrame(exact, input);
      ASSERT_EQ(frame_split::stepFrame(split, input), alive) << "seed " << seed << " frame " << frame;
      ASSERT_TRUE(sameState(split, exact)) << "seed " << seed << " frame " << frame;
      if (fused) {
        ASSERT_EQ(frame_fast::stepFrame(fast, input), alive) << "seed " << seed << " frame " << frame;
        ASSERT_TRUE(sameState(fast, exact)) << "seed " << seed << " frame " << frame;
      }
      wrapped = wrapped || exact.scrolled < 0;
      if (!alive) break;
    }
    crossed += wrapped;
  }
  EXPECT_GT(crossed, 12);
}

}  // namespace
