// Golden digests: a few long, varied games played by a deterministic script,
// with a hash of the complete state every STRIDE frames, recorded once from
// the reviewed model. Any change to the arithmetic, a bound, the generator
// or the landing shows up as the first stretch whose digest differs.
// RUNAUDIT_PRINT_GOLDEN=1 prints the table for a deliberate model change.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "climber.h"
#include "replay/replay_file.h"
#include "support/sim_helpers.h"

namespace {

constexpr std::uint32_t STRIDE = 1000;
constexpr std::uint32_t MAX_FRAMES = 60000;

// FNV-1a over every field, reals by their bit patterns.
struct Digest {
  std::uint64_t h = 0xcbf29ce484222325ull;
  void add(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) h = (h ^ ((v >> (8 * i)) & 0xFF)) * 0x100000001b3ull;
  }
  void add(std::int32_t v) { add(static_cast<std::uint64_t>(static_cast<std::uint32_t>(v))); }
};

std::uint64_t digestOf(const GameState& s) {
  Digest d;
  for (double v : {s.x, s.y, s.vx, s.vy}) d.add(bitsOf(v));
  for (std::int32_t v : {static_cast<std::int32_t>(s.jumpState), s.scrolled, s.speedLevel, s.speedTimer, s.halfStep,
                         s.rejump, s.jumpLatch, s.comboTimer, s.comboJumps, s.comboFloors, s.comboScore, s.lastFloor,
                         s.bestCombo, s.ringNext, s.floorCount, s.rowPhase})
    d.add(v);
  d.add(static_cast<std::uint64_t>(s.rngState));
  for (const FloorSlot& f : s.floors.slot) {
    d.add(f.left);
    d.add(f.right);
  }
  return d.h;
}

// The climber, alone (a fast climb to floors 30-40 with scrolling, combos
// and a death), or with spells of standing (the speed decays into the
// subnormals), pressing into a wall and random keys, which make long games
// of tens of thousands of frames low on the column; without rejump the jump
// key is let go for a frame after each landing.
struct Script {
  std::uint32_t seed;
  std::int32_t rejump;
  std::uint32_t standFirst;  // frames of no input before the first climb
  bool spells;               // false: the climber alone, to its death
};

struct Player {
  std::uint32_t rng;
  bool spells;
  int mode = 0;
  std::uint32_t left = 0;

  std::uint32_t draw(std::uint32_t n) {
    rng = rng * 1103515245u + 12345u;
    return (rng >> 8) % n;
  }

  std::uint8_t input(const GameState& s) {
    if (left == 0) {
      mode = !spells || draw(10) < 8 ? 0 : 1 + static_cast<int>(draw(4));
      left = mode == 0 ? 200 + draw(1200) : 3 + draw(25);
    }
    --left;
    std::uint8_t in = 0;
    switch (mode) {
      case 0: in = climbInput(s); break;
      case 1: in = static_cast<std::uint8_t>(draw(256)); break;
      case 2: in = INPUT_RIGHT | (draw(2) ? INPUT_JUMP : 0); break;
      case 3: in = INPUT_LEFT; break;
      default: in = 0; break;
    }
    in &= INPUT_LEFT | INPUT_RIGHT | INPUT_JUMP;
    if (s.rejump == 0 && s.jumpLatch != 0 && s.jumpState == JumpState::Grounded) in &= ~INPUT_JUMP;
    return in;
  }
};

struct Played {
  std::uint32_t frames;  // the fatal frame, or MAX_FRAMES
  std::vector<std::uint64_t> digests;
};

Played play(const Script& script) {
  GameState s = freshGame(script.seed, script.rejump);
  Player player{script.seed ^ 0x9E3779B9u, script.spells};
  Played out{0, {}};
  for (std::uint32_t frame = 1; frame <= MAX_FRAMES; ++frame) {
    const std::uint8_t in = frame <= script.standFirst ? 0 : player.input(s);
    const bool alive = stepFrame(s, in);
    if (frame % STRIDE == 0 || !alive) out.digests.push_back(digestOf(s));
    out.frames = frame;
    if (!alive) break;
    if (std::getenv("EXPLORE") && frame % 5000 == 0) std::printf("%u: floor %d level %d best %d score %d x %g\n", frame, s.lastFloor, s.speedLevel, s.bestCombo, s.comboScore, s.x);
  }
  return out;
}

struct Golden {
  Script script;
  std::uint32_t frames;
  std::vector<std::uint64_t> digests;
};

const std::vector<Golden>& goldenGames() {
  static const std::vector<Golden> games = {
#include "golden_frames.inc"
  };
  return games;
}

TEST(GoldenFrames, LongGamesMatchTheirRecordedDigests) {
  if (std::getenv("RUNAUDIT_PRINT_GOLDEN") != nullptr) {
    for (const Golden& g : goldenGames()) {
      const Played p = play(g.script);
      std::printf("    {{0x%08" PRIX32 "u, %" PRId32 ", %" PRIu32 ", %s}, %" PRIu32 ", {", g.script.seed,
                  g.script.rejump, g.script.standFirst, g.script.spells ? "true" : "false", p.frames);
      for (std::size_t i = 0; i < p.digests.size(); ++i)
        std::printf("%s0x%016" PRIX64 "u", i == 0 ? "\n        " : i % 3 == 0 ? ",\n        " : ", ", p.digests[i]);
      std::printf("}},\n");
    }
  }
  for (const Golden& g : goldenGames()) {
    const Played p = play(g.script);
    EXPECT_EQ(p.frames, g.frames) << "seed " << g.script.seed << ": the game ends at another frame";
    for (std::size_t i = 0; i < std::min(p.digests.size(), g.digests.size()); ++i)
      if (p.digests[i] != g.digests[i]) {
        ADD_FAILURE() << "seed " << g.script.seed << ": the state first differs within frames " << i * STRIDE + 1
                      << " to " << (i + 1) * STRIDE;
        break;
      }
    EXPECT_EQ(p.digests.size(), g.digests.size()) << "seed " << g.script.seed;
  }
}

}  // namespace
