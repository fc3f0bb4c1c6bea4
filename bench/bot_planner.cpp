#include "bot_planner.h"

#include "replay_writer.h"
#include "sim/frame_step.h"
#include "sim/game_state.h"
#include "verify/playback.h"

namespace {

constexpr std::uint8_t DIRECTIONS[] = {0, INPUT_LEFT, INPUT_RIGHT};
// Frames a plan may wait before its one switch of input, and frames it is
// followed after the switch while looking for its landing.
constexpr std::int32_t SWITCH_FRAMES = 48;
constexpr std::int32_t FLIGHT_FRAMES = 110;
// Frames played without a change of input before planning again.
constexpr std::int32_t MAX_HOLD = 8;
// After the cap: frames of no key allowed for the screen to carry the player off.
constexpr std::uint32_t MAX_FALL_FRAMES = 20000;

// `first` for frames [0, at), `second` from frame `at` on.
struct Plan {
  std::uint8_t first;
  std::uint8_t second;
  std::int32_t at;
};

bool landed(JumpState before, JumpState after) {
  return after == JumpState::Grounded && (before == JumpState::Falling || before == JumpState::Airborne);
}

// The plan's worth from `s` once it has played `played` frames of it: the
// floor of the first landing after the switch, the sooner the better; a
// death is worst, no landing within the flight next to worst.
std::int64_t flightScore(GameState s, const Plan& p, std::int32_t played) {
  for (std::int32_t t = played; t < p.at + FLIGHT_FRAMES; ++t) {
    const JumpState before = s.jumpState;
    if (!stepFrame(s, t < p.at ? p.first : p.second)) return -(std::int64_t{1} << 40);
    if (t >= p.at && landed(before, s.jumpState)) return std::int64_t{s.lastFloor} * 1024 - t;
  }
  return (std::int64_t{s.lastFloor} - 2) * 1024;
}

// The best plan from `s` while `held` is held. Standing: run or wait
// (jump key up), then press jump with a direction. In the air: keep the
// jump key as it is, steer one way, then perhaps the other. The prefix
// before the switch is stepped once and shared by all its switches.
Plan bestPlan(const GameState& s, std::uint8_t held) {
  const bool standing = s.jumpState == JumpState::Grounded;
  const std::uint8_t jumpBefore = standing ? 0 : static_cast<std::uint8_t>(held & INPUT_JUMP);
  const std::uint8_t jumpAfter = standing ? INPUT_JUMP : jumpBefore;
  Plan best{held, held, 0};
  std::int64_t bestScore = INT64_MIN;
  for (const std::uint8_t d1 : DIRECTIONS) {
    GameState prefix = s;
    bool alive = true;
    for (std::int32_t at = 0; at < SWITCH_FRAMES && alive; ++at) {
      for (const std::uint8_t d2 : DIRECTIONS) {
        const Plan p{static_cast<std::uint8_t>(d1 | jumpBefore), static_cast<std::uint8_t>(d2 | jumpAfter), at};
        if (p.first == p.second && at > 0) continue;  // the same plan as at 0
        const std::int64_t score = flightScore(prefix, p, at);
        if (score > bestScore) {
          bestScore = score;
          best = p;
        }
      }
      alive = stepFrame(prefix, static_cast<std::uint8_t>(d1 | jumpBefore));
    }
  }
  return best;
}

// A small generator of timing errors (splitmix64).
std::uint64_t nextRandom(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::int32_t timingError(std::uint64_t& state, std::int32_t spread) {
  if (spread <= 0) return 0;
  const auto span = static_cast<std::uint64_t>(2 * spread + 1);
  return static_cast<std::int32_t>(nextRandom(state) % span) - spread;
}

}  // namespace

BotGame playBot(const BotOptions& o) {
  BotGame g;
  g.game.seed = o.seed;
  g.rejump = o.rejump;
  GameState s;
  initGame(s, o.rejump, o.seed);
  std::uint64_t rng = o.errorSeed;
  std::uint8_t held = 0;
  const auto play = [&](std::uint8_t input) {
    g.game.inputs.push_back(input);
    held = input;
    if (!stepFrame(s, input)) g.died = true;
    return !g.died;
  };
  while (!g.died && g.game.inputs.size() < o.maxFrames) {
    ++g.decisions;
    const Plan p = bestPlan(s, held);
    // The plan's first change of input, if any.
    std::int32_t change = -1;
    if (p.first != held) {
      change = 0;
    } else if (p.second != p.first) {
      change = p.at;
    }
    if (change < 0 || change >= MAX_HOLD + 2 * o.timingError) {
      // Nothing to press soon: hold on and plan again.
      for (std::int32_t t = 0; t < MAX_HOLD && play(held) && g.game.inputs.size() < o.maxFrames; ++t) {
      }
      continue;
    }
    const std::uint8_t next = change < p.at ? p.first : p.second;
    std::int32_t lands = change + timingError(rng, o.timingError);
    if (lands < 0) lands = 0;  // no press lands before the decision to make it
    bool alive = true;
    for (std::int32_t t = 0; t < lands && alive; ++t) alive = play(held);
    if (alive) play(next);
  }
  g.plannedFrames = g.game.inputs.size();
  // The cap: let go of every key until the screen carries the player off.
  for (std::uint32_t t = 0; !g.died && t < MAX_FALL_FRAMES; ++t) play(0);
  return g;
}

std::vector<std::uint8_t> botReplayBytes(const BotGame& g) {
  const std::vector<InputRecord> records = climbRecords(g.game);
  std::vector<std::uint8_t> bytes = replayBytes(g.rejump, g.game.seed, records);
  // Claim what the game reached, as the game's recorder does.
  ReplayFile replay{};
  if (loadReplayBytes(bytes.data(), bytes.size(), replay) != nullptr) return bytes;
  const PlaybackOutcome out = playReplayOutcome(replay);
  ReplayHeader h = replay.header;
  h.floor = out.highestFloor;
  h.combo = out.finalState.bestCombo;
  h.score = out.highestFloor * 10;
  const ReplayFile claimed{h, bytes.data() + REPLAY_HEADER_SIZE, nullptr};
  h.checksum = replayChecksum(claimed);
  encodeHeader(h, bytes.data());
  return bytes;
}
