// Fast-forward must give exactly what frame-by-frame playback gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "sim/extended.h"
#include "sim/frame_step.h"
#include "sim/frame_variants.h"
#include "support/replay_builder.h"
#include "support/sim_helpers.h"
#include "verify/coasting.h"
#include "verify/combo_countdown.h"
#include "verify/drifting_jumps.h"
#include "verify/pinned_at_wall.h"
#include "verify/speed_decay.h"
#include "verify/playback.h"

namespace {

void expectSameOutcome(const ReplayFixture& fixture, const char* what) {
  ReplayFile file = buildReplay(fixture);
  PlaybackOptions slow;
  slow.fastForward = false;
  std::int32_t highest = 0;  // the highest floor landed on, frame by frame
  slow.context = &highest;
  slow.observer = [](void* context, const FrameReport& r) {
    auto& floor = *static_cast<std::int32_t*>(context);
    floor = std::max(floor, r.state->lastFloor);
    return true;
  };
  const PlaybackOutcome a = playReplayOutcome(file, slow);
  EXPECT_EQ(a.highestFloor, highest) << what;
  const PlaybackOutcome b = playReplayOutcome(file);
  releaseReplay(file);
  EXPECT_EQ(a.valid, b.valid) << what;
  EXPECT_EQ(a.died, b.died) << what;
  EXPECT_EQ(a.frames, b.frames) << what;
  EXPECT_EQ(a.recordsPlayed, b.recordsPlayed) << what;
  EXPECT_EQ(a.markerFollows, b.markerFollows) << what;
  EXPECT_EQ(a.highestFloor, b.highestFloor) << what;
  EXPECT_TRUE(sameState(a.finalState, b.finalState)) << what;
}

ReplayFixture game(std::int32_t rejump, std::uint32_t seed, std::vector<InputRecord> records) {
  ReplayFixture fixture;
  fixture.rejump = rejump;
  fixture.seed = seed;
  fixture.records = std::move(records);
  return fixture;
}

TEST(FastForward, CyclingGamesMatchFrameByFrame) {
  expectSameOutcome(game(0, 0, {{200000, 0x00}, {0, 0x80}}), "standing: vx settles in the subnormals");
  expectSameOutcome(game(0, 0, {{70000, 0x02}, {33333, 0x01}, {0, 0x80}}), "walking into either wall");
  expectSameOutcome(game(1, 0, {{100000, 0x10}, {0, 0x80}}), "jumping on the spot with rejump");
  expectSameOutcome(game(0, 0, {{100000, 0x10}, {5, 0x00}, {77777, 0x12}}), "held jump: the latch");
  expectSameOutcome(game(1, 3, {{99999, 0x12}, {99999, 0x11}}), "jumping into the walls");
  expectSameOutcome(game(0, 9, {{65, 0x00}, {64, 0x00}, {63, 0x00}, {1000, 0x03}}), "records at the threshold");
}

TEST(FastForward, RandomGamesMatchFrameByFrame) {
  std::mt19937 rng(20261207);
  const std::uint8_t inputs[] = {0x00, 0x01, 0x02, 0x10, 0x11, 0x12, 0x13, 0x03};
  for (int game_ = 0; game_ < 300; ++game_) {
    ReplayFixture fixture;
    fixture.rejump = static_cast<std::int32_t>(rng() % 2);
    fixture.seed = rng();
    const int records = 1 + static_cast<int>(rng() % 40);
    for (int r = 0; r < records; ++r) {
      const std::int32_t repeat = rng() % 4 == 0 ? static_cast<std::int32_t>(rng() % 3000) : static_cast<std::int32_t>(rng() % 40) - 2;
      fixture.records.push_back({repeat, inputs[rng() % 8]});
    }
    if (rng() % 2) fixture.records.push_back({0, 0x80});
    expectSameOutcome(fixture, ("random game " + std::to_string(game_)).c_str());
  }
}

// Frames after which a record of `input` that follows `lead` takes the speed
// out of the state: the first frame whose state has |vx| below the limit.
std::uint32_t settleFrame(std::int32_t rejump, std::vector<InputRecord> lead, std::uint8_t input) {
  GameState s;
  initGame(s, rejump, 0);
  for (const InputRecord& r : lead)
    for (std::int32_t n = 0; n <= r.repeat; ++n) stepFrame(s, r.input);
  std::uint32_t frames = 0;
  while (!speedIsSettled(s, input)) {
    stepFrame(s, input);
    ++frames;
  }
  return frames;
}

TEST(FastForward, SettledSpeedShortcutMatchesFrameByFrameAtEveryBound) {
  // After a full-speed run the speed decays for thousands of frames: records
  // ending just before, at and after the frame where the speed is taken out,
  // where the decay reaches its fixed point, and where a jump cycle repeats.
  const std::vector<InputRecord> run = {{60, 0x02}};
  for (const auto& [rejump, input] : {std::pair{0, 0x00}, std::pair{1, 0x10}, std::pair{0, 0x10}, std::pair{1, 0x04}}) {
    const std::uint32_t settle = settleFrame(rejump, run, static_cast<std::uint8_t>(input));
    ASSERT_GT(settle, 250u);
    for (const std::uint32_t at : {settle, settle + 32, settle + 64, settle + 6700, settle + 6900})
      for (std::uint32_t frames = at - 3; frames <= at + 3; ++frames) {
        std::vector<InputRecord> records = run;
        records.push_back({static_cast<std::int32_t>(frames) - 1, static_cast<std::uint8_t>(input)});
        // The owed decay must not change a direction key's frame, nor the end state.
        records.push_back({70, static_cast<std::uint8_t>(frames % 2 ? 0x01 : 0x12)});
        records.push_back({static_cast<std::int32_t>(frames), 0x00});
        expectSameOutcome(game(rejump, 0, records), ("settled, length " + std::to_string(frames)).c_str());
      }
  }
}

TEST(FastForward, DriftingJumpsMatchFrameByFrameAtEveryLength) {
  // Jumping on the spot after a bounce off the left wall: x creeps right
  // within a pixel and lands back on the same whole number, so whole jumps
  // are skipped while vx decays. Every record length up to the settled
  // speed and beyond covers the first repeat, each remainder of a jump, the
  // settling on the way and the decay's fixed point; the key records after
  // it check the decayed speed itself.
  std::uint64_t speedSteps = 0;
  // Leads into the right wall leave a negative speed: a pixel left per jump.
  // Without the jump key the player stands and slides instead.
  for (const auto& [lead, key] : {std::pair{20, 0x11}, std::pair{80, 0x11}, std::pair{200, 0x11}, std::pair{60, 0x12}, std::pair{150, 0x12}, std::pair{35, 0x01}, std::pair{120, 0x02}})
    for (std::int32_t frames = 1; frames <= 760; frames += frames < 700 ? 1 : 7) {
      const auto drift = static_cast<std::uint8_t>(key & 0x10);
      const std::vector<InputRecord> records = {{lead, static_cast<std::uint8_t>(key)}, {frames - 1, drift}, {3, static_cast<std::uint8_t>(frames % 2 ? 0x12 : 0x00)}, {0, 0x80}};
      expectSameOutcome(game(1, static_cast<std::uint32_t>(frames), records), ("drifting, lead " + std::to_string(lead) + ", length " + std::to_string(frames)).c_str());
      ReplayFile file = buildReplay(game(1, static_cast<std::uint32_t>(frames), records));
      speedSteps += playReplayOutcome(file).speedSteps;
      releaseReplay(file);
    }
  EXPECT_GT(speedSteps, 100000u) << "the drifting jumps were skipped";
  for (const std::uint32_t frames : {6800u, 7100u, 1000000u})
    for (const std::uint8_t key : {0x11, 0x12})
      expectSameOutcome(game(1, 4, {{80, key}, {static_cast<std::int32_t>(frames), 0x10}, {40, 0x02}}), "drifting to the fixed point");
}

TEST(FastForward, DriftingJumpsOnHigherFloorsMatchFrameByFrame) {
  // The same from wherever a climb left the player, and standing there:
  // floor edges and floors above limit how far the stepping jumps may be
  // skipped, and where a standing player's speed can be run alone.
  std::mt19937 rng(20261212);
  std::uint64_t speedSteps = 0;
  for (int g = 0; g < 1500; ++g) {
    std::vector<InputRecord> records;
    for (int r = static_cast<int>(rng() % 12); r > 0; --r)
      records.push_back({static_cast<std::int32_t>(rng() % 40), static_cast<std::uint8_t>(0x10 | (1 + rng() % 2))});
    if (g % 4 == 0) {
      // Away from the left wall and back towards it: stepping into the wall.
      records.push_back({200, 0x11});
      records.push_back({static_cast<std::int32_t>(rng() % 6), 0x12});
      records.push_back({static_cast<std::int32_t>(rng() % 6), 0x11});
    } else {
      records.push_back({static_cast<std::int32_t>(rng() % 8), static_cast<std::uint8_t>(rng() % 2 ? 0x12 : 0x11)});
    }
    // Jumping on the spot, or standing (rejump off with the jump held, the latch set).
    const bool standing = g % 3 == 1;
    records.push_back({static_cast<std::int32_t>(200 + rng() % 600), static_cast<std::uint8_t>(standing && g % 2 ? 0x00 : 0x10)});
    records.push_back({0, 0x80});
    const ReplayFixture fixture = game(standing ? 0 : 1, rng(), records);
    expectSameOutcome(fixture, ("drifting after a climb, game " + std::to_string(g)).c_str());
    ReplayFile file = buildReplay(fixture);
    speedSteps += playReplayOutcome(file).speedSteps;
    releaseReplay(file);
  }
  EXPECT_GT(speedSteps, 10000u);
}

TEST(FastForward, DriftingJumpsRepeatFromAnySmallerSpeed) {
  // The claim behind the shortcut, tried directly: once two landings differ
  // in vx alone, the jump from the later one, given any smaller positive
  // speed, ends on the same state but for vx, whose decay it is.
  std::mt19937 rng(20261210);
  int tried = 0;
  for (const std::int32_t lead : {20, 35, 60, 80, 120, 200, 300}) {
    GameState s = freshGame(rng(), 1);
    for (std::int32_t f = 0; f <= lead; ++f) stepFrame(s, 0x11);
    GameState landing{};
    std::uint32_t since = 0;
    bool landed = false;
    for (int f = 0; f < 600; ++f) {
      const JumpState before = s.jumpState;
      stepFrame(s, 0x10);
      ++since;
      if (before == JumpState::Grounded || s.jumpState != JumpState::Grounded) continue;
      if (landed && jumpsRepeatWhileSpeedDecays(landing, s, since, 0x10)) {
        for (const double scale : {1.0, 0.5, 0x1p-20, std::ldexp(1.0, -static_cast<int>(rng() % 1000)), 0x1p-1074 / s.vx}) {
          GameState jump = s;
          jump.vx = std::max(s.vx * scale, 0x1p-1074);
          const double vx = decaySpeed(jump.vx, since);
          for (std::uint32_t n = 0; n < since; ++n) ASSERT_TRUE(stepFrame(jump, 0x10));
          ASSERT_EQ(bitsOf(jump.vx), bitsOf(vx));
          jump.vx = s.vx;
          ASSERT_TRUE(sameState(jump, s)) << "lead " << lead << " scale " << scale;
          ++tried;
        }
      }
      landed = true;
      landing = s;
      since = 0;
    }
  }
  EXPECT_GT(tried, 50);
}

TEST(FastForward, PlayersPinnedAtAWallMatchFrameByFrameAtEveryLength) {
  // Runs into either wall, jumping or not, at every length from before the
  // wall to long after the speed's limit: the pin, the frames before the
  // limit (where the true speed is recomputed) and after it, the cycles.
  // Each lead leaves a different speed at the wall; the records after it
  // check the speed left by the pin.
  std::uint64_t speedSteps = 0;
  for (const auto& [lead, input] : {std::pair{0, 0x12}, std::pair{30, 0x11}, std::pair{3, 0x02}, std::pair{90, 0x13}, std::pair{9, 0x01}})
    for (std::int32_t frames = 1; frames <= 420; frames += frames < 360 ? 1 : 13) {
      const auto in = static_cast<std::uint8_t>(input);
      const std::vector<InputRecord> records = {{lead, static_cast<std::uint8_t>(in ^ 0x03)}, {frames - 1, in}, {4, static_cast<std::uint8_t>(frames % 3 == 0 ? 0x10 : frames % 3 == 1 ? 0x03 : in ^ 0x03)}, {0, 0x80}};
      const ReplayFixture fixture = game(frames % 2, static_cast<std::uint32_t>(lead), records);
      expectSameOutcome(fixture, ("pinned, input " + std::to_string(input) + ", length " + std::to_string(frames)).c_str());
      ReplayFile file = buildReplay(fixture);
      speedSteps += playReplayOutcome(file).speedSteps;
      releaseReplay(file);
    }
  EXPECT_GT(speedSteps, 50000u) << "the pinned speeds were taken to their limit";
}

TEST(FastForward, APinnedSpeedChangesNothingButItself) {
  // The claim behind the shortcut, tried directly: from states of random
  // games put on a wall with speeds across the pinned range, every later
  // frame of the key keeps x on the wall and the rest of the state as it is
  // with another speed of the range, and vx follows pinnedSpeed; the speed
  // repeats from its limit on.
  std::mt19937 rng(20261211);
  int accepted = 0;
  for (int g = 0; g < 120; ++g) {
    GameState base = freshGame(rng(), static_cast<std::int32_t>(rng() % 2));
    for (int f = static_cast<int>(rng() % 400); f > 0 && stepFrame(base, static_cast<std::uint8_t>(rng() % 20)); --f) {
    }
    const bool right = rng() % 2 != 0;
    const auto input = static_cast<std::uint8_t>((right ? INPUT_RIGHT : INPUT_LEFT | (rng() % 2 ? INPUT_RIGHT : 0)) | (rng() % 2 ? INPUT_JUMP : 0));
    const double sign = right ? 1.0 : -1.0;
    GameState pinned = base, other = base;
    pinned.x = other.x = right ? 555.0 : 85.0;
    // Speeds drawn beyond the range too: whatever the test accepts must hold.
    const double edges[] = {-0.4, 0.1, 0.0, -0.0, -0x1p-1074, 0.0999999999999999, -0.3999999999999999};
    pinned.vx = sign * (g < 7 ? edges[g] : std::uniform_real_distribution<double>(-0.6, 0.3)(rng));
    other.vx = sign * std::uniform_real_distribution<double>(-0.4, 0.1)(rng);
    ASSERT_TRUE(pinnedAtWall(other, input));
    if (!pinnedAtWall(pinned, input)) continue;
    ++accepted;
    const double from = pinned.vx;
    for (int frame = 1; frame <= 300; ++frame) {
      const bool alive = stepFrame(pinned, input);
      ASSERT_EQ(alive, stepFrame(other, input));
      ASSERT_EQ(bitsOf(pinned.vx), bitsOf(pinnedSpeed(from, input, static_cast<std::uint64_t>(frame)))) << "game " << g;
      GameState same = other;
      same.vx = pinned.vx;
      ASSERT_TRUE(sameState(same, pinned)) << "game " << g << ", frame " << frame;
      ASSERT_TRUE(pinnedAtWall(pinned, input));
      if (!alive) break;
    }
    const PinnedLimit limit = pinnedLimit(from, input, 4096);
    ASSERT_EQ(limit.frames % 2, 0u);
    ASSERT_EQ(bitsOf(limit.speed), bitsOf(pinnedSpeed(from, input, limit.frames)));
    for (const std::uint64_t n : {2u, 4u, 1000u}) ASSERT_EQ(bitsOf(pinnedSpeed(limit.speed, input, n)), bitsOf(limit.speed));
  }
  EXPECT_GT(accepted, 40);
}

TEST(FastForward, CombosRunningOutAtAWallMatchFrameByFrameAtEveryLength) {
  // A jump to a floor two up starts a combo; held against the wall the
  // player then repeats its jumps while the timer runs out. Every length
  // from before the repeat is seen to well after the combo has scored.
  int skipped = 0;
  for (const auto& [toWall, runAndJump] : {std::pair{0x01, 0x12}, std::pair{0x02, 0x11}})
    for (std::uint32_t seed : {13u, 5u, 21u})
      for (std::int32_t frames = 100; frames <= 300; ++frames) {
        const ReplayFixture f = game(1, seed, {{165, static_cast<std::uint8_t>(toWall)}, {frames, static_cast<std::uint8_t>(runAndJump)}, {0, 0x80}});
        expectSameOutcome(f, ("seed " + std::to_string(seed) + ", " + std::to_string(frames) + " frames").c_str());
        ReplayFile file = buildReplay(f);
        const PlaybackOutcome o = playReplayOutcome(file);
        releaseReplay(file);
        skipped += o.framesSimulated + 40 < o.frames;
      }
  EXPECT_GT(skipped, 300) << "the countdown was skipped";
}

TEST(FastForward, JumpsDriftingWhileAComboRunsOutMatchFrameByFrameAtEveryLength) {
  // Blocks the worst-case search found: a jump of two floors starts a combo
  // and the player then drifts or steps on the spot (next to the right wall,
  // or towards a floor's end) while the timer runs out.
  const std::vector<std::pair<std::uint32_t, std::vector<InputRecord>>> blocks = {
      {4, {{5000, 0x10}, {165, 0x01}, {81, 0x12}}},
      {23, {{45, 0x01}, {16951, 0x10}, {5000, 0x12}}},
  };
  for (const auto& [seed, block] : blocks)
    for (std::int32_t frames = 0; frames <= 420; frames += 1) {
      std::vector<InputRecord> records = block;
      records.insert(records.end(), block.begin(), block.end());
      records.push_back({frames, 0x10});
      records.push_back({0, 0x80});
      expectSameOutcome(game(1, seed, records), ("seed " + std::to_string(seed) + ", " + std::to_string(frames) + " frames").c_str());
    }
}

TEST(FastForward, AComboRunningOutAtAWallScoresOnceAsItsFrames) {
  // The claim behind the countdown shortcut, tried on the jumps at the wall
  // above with every timer and combo: whole periods later the state is the
  // landing's but for the timer, and the combo scored once it ran out.
  GameState s = freshGame(13, 1);
  for (int f = 0; f < 166; ++f) stepFrame(s, 0x01);
  GameState landing{};
  std::uint32_t period = 0;
  for (std::uint32_t f = 0, since = 0; f < 320; ++f, ++since) {
    const JumpState before = s.jumpState;
    ASSERT_TRUE(stepFrame(s, 0x12));
    if (before == JumpState::Grounded || s.jumpState != JumpState::Grounded) continue;
    if (sameState(landing, s)) period = since;
    landing = s;
    since = 0;
  }
  ASSERT_GT(period, 0u) << "the jumps at the wall repeat";
  for (std::int32_t jumps : {1, 2, 3})
    for (std::int32_t timer = 0; timer <= 100; ++timer)
      for (std::uint32_t periods = 1; periods <= 4; ++periods) {
        GameState start = landing;
        start.comboTimer = static_cast<std::int32_t>(timer + period);
        start.comboJumps = jumps;
        start.comboFloors = 2 * jumps;
        start.comboScore = 7;
        GameState end = start;
        for (std::uint32_t f = 0; f < period; ++f) ASSERT_TRUE(stepFrame(end, 0x12));
        // A timer that ran out within the period has scored already; from
        // there on the jumps repeat outright, and skipping them scores nothing.
        ASSERT_EQ(jumpsRepeatWhileComboRunsOut(start, end, period), timer != 0) << timer;
        GameState framed = end, skipped = end;
        for (std::uint32_t f = 0; f < periods * period; ++f) ASSERT_TRUE(stepFrame(framed, 0x12));
        runComboDown(skipped, periods * period);
        ASSERT_TRUE(sameState(framed, skipped)) << jumps << " jumps, timer " << timer << ", " << periods << " periods";
      }
}

TEST(FastForward, SteppingJumpsRepeatAsFarAsTheFloorsAllow) {
  // The claim behind the stepping shortcut, tried directly near floor
  // edges: once two landings differ by a pixel left and in vx, the jump
  // from any position as many pixels further left as the room playback
  // computes (up to the wall) ends one pixel left of its start, the rest
  // of the state unchanged, while the first move registers.
  std::mt19937 rng(20261213);
  int tried = 0, bound = 0;
  for (int g = 0; g < 300; ++g) {
    GameState s = freshGame(rng(), 1);
    for (int f = static_cast<int>(rng() % 500); f > 0 && stepFrame(s, static_cast<std::uint8_t>(0x10 | (1 + rng() % 2)));) --f;
    for (int f = 0; f < 60 && s.jumpState != JumpState::Grounded; ++f) stepFrame(s, 0x10);
    // Near the left end of the floor below or just right of the one above.
    const FloorBand below = findFloorBand(s, static_cast<std::int32_t>(s.y));
    const FloorBand above = findFloorBand(s, static_cast<std::int32_t>(s.y) - 80);
    if (s.jumpState != JumpState::Grounded || !below.found || !above.found) continue;
    const std::int32_t edge = g % 2 ? below.leftPx + 11 : above.rightPx + 12;
    s.x = std::clamp<double>(edge + static_cast<int>(rng() % 14), 87.0, 555.0);
    s.vx = -0.0234 * std::uniform_real_distribution<double>(0.05, 1.0)(rng);
    GameState landing = s;
    std::uint32_t since = 0;
    StepRoom room;
    for (int f = 0; f < 200; ++f) {
      const double yBefore = s.y;
      const JumpState before = s.jumpState;
      if (!stepFrame(s, 0x10)) break;
      ++since;
      limitStepRoomByFrame(room, s, yBefore, static_cast<std::int32_t>(landing.x) - 1);
      if (before == JumpState::Grounded || s.jumpState != JumpState::Grounded) continue;
      if (jumpsStepLeftWhileSpeedDecays(landing, s, since, 0x10) && steerSpeed(s.vx, 0) <= -0x1p-43) {
        const auto reach = std::min<std::int32_t>(room.pixels, static_cast<std::int32_t>(landing.x) - 86);
        bound += reach < 20;
        for (std::int32_t n = 1; n <= std::min(reach, 20); ++n) {
          GameState jump = s;
          jump.x = landing.x - n;
          const double vx = decaySpeed(s.vx, since);
          for (std::uint32_t k = 0; k < since; ++k) ASSERT_TRUE(stepFrame(jump, 0x10));
          ASSERT_EQ(bitsOf(jump.vx), bitsOf(vx));
          jump.vx = s.vx;
          jump.x += n;
          ASSERT_TRUE(sameState(jump, s)) << "game " << g << ", " << n << " pixels left of " << landing.x;
          ++tried;
        }
      }
      landing = s;
      since = 0;
      room = StepRoom{};
    }
  }
  EXPECT_GT(tried, 200);
  EXPECT_GT(bound, 10) << "floor edges bounded the room";
}

TEST(FastForward, StepRoomSamplesMeetEveryBandTheRowsMeet) {
  // The room is gathered from a few sampled rows; row by row must give the
  // same, for falls and landings of any height and near the rows the
  // landing check never looks at.
  std::mt19937 rng(20261209);
  for (int g = 0; g < 2000; ++g) {
    GameState s = freshGame(rng(), 1);
    s.rowPhase = static_cast<std::int32_t>(rng() % 5);
    s.scrolled = static_cast<std::int32_t>(rng() % 64);
    for (FloorSlot& slot : s.floors.slot) {
      slot.left = static_cast<std::int32_t>(rng() % 20);
      slot.right = slot.left + static_cast<std::int32_t>(rng() % 12);
    }
    s.jumpState = g % 2 ? JumpState::Falling : JumpState::Grounded;
    const std::int32_t before = -60 + static_cast<std::int32_t>(rng() % 560);
    s.y = before + static_cast<std::int32_t>(rng() % 41) - 20 + 0.25;
    const std::int32_t x = 86 + static_cast<std::int32_t>(rng() % 470);
    StepRoom sampled;
    limitStepRoomByFrame(sampled, s, before, x);
    StepRoom everyRow;
    const auto rows = [&](std::int32_t from, std::int32_t to) {
      for (std::int32_t y = std::min(from, to); y <= std::max(from, to); ++y)
        if (const FloorBand band = findFloorBand(s, y); band.found) limitStepRoom(everyRow, band, x);
    };
    rows(before, static_cast<std::int32_t>(s.y));  // truncated, as the landing check does
    if (s.jumpState == JumpState::Grounded) rows(before, before + 14);
    ASSERT_EQ(sampled.pixels, everyRow.pixels) << "game " << g << ", rows from " << before << " to " << s.y;
  }
}

TEST(FastForward, AStandingPlayerCoastsExactlyAsItsFrames) {
  // From states of random early climbs (combos running, the screen
  // following, latches set), put near floor edges and walls with speeds
  // up to and beyond the bound: the frames run on x and vx alone are
  // exactly the frames.
  std::mt19937 rng(20261214);
  int coasted = 0;
  for (int g = 0; g < 3000; ++g) {
    GameState s = freshGame(rng(), static_cast<std::int32_t>(rng() % 2));
    for (int f = static_cast<int>(rng() % 300); f > 0 && stepFrame(s, static_cast<std::uint8_t>(rng() % 3 ? 0x10 | (rng() % 3) : rng() % 3));) --f;
    for (int f = 0; f < 80 && s.jumpState != JumpState::Grounded; ++f) stepFrame(s, 0x00);
    const FloorBand band = findFloorBand(s, static_cast<std::int32_t>(s.y));
    if (s.jumpState != JumpState::Grounded || !band.found || s.y > 540.0) continue;
    // Where the last foot leaves the floor, where the first does, the walls.
    const double near[] = {band.leftPx - 11.0, band.rightPx + 11.0, band.leftPx + 11.0, band.rightPx - 11.0, 85.0, 555.0, s.x};
    s.x = std::clamp(near[rng() % 7] + std::uniform_real_distribution<double>(-3.0, 3.0)(rng), 85.0, 555.0);
    s.vx = std::uniform_real_distribution<double>(-1.1, 1.1)(rng) * (g % 3 ? 1.0 : 12.0);
    if (g % 4 == 0) s.jumpLatch = 1;
    if (g % 8 == 1) {
      s.comboTimer = 1 + static_cast<std::int32_t>(rng() % 100);
      s.comboJumps = static_cast<std::int32_t>(rng() % 3);
      s.comboFloors = static_cast<std::int32_t>(rng() % 9);
    }
    const std::uint8_t inputs[] = {0x00, 0x10, 0x00, 0x10, 0x01};
    const std::uint8_t input = inputs[rng() % 5];
    GameState fast = s, slow = s;
    const std::uint32_t n = coastOnFloor(fast, input, 1 + rng() % 400);
    for (std::uint32_t f = 0; f < n; ++f) ASSERT_TRUE(stepFrame(slow, input));
    ASSERT_TRUE(sameState(fast, slow)) << "game " << g << " after " << n << " frames";
    coasted += n != 0;
  }
  EXPECT_GT(coasted, 500);
}

TEST(FastForward, RearmedDecayCostsAFewHundredFramesPerRecord) {
  // A short key press before every long record re-arms the speed: without the
  // settled-speed shortcut each such record costs the whole decay (~7000 frames).
  std::vector<InputRecord> records;
  for (int i = 0; i < 200; ++i) {
    records.push_back({0, static_cast<std::uint8_t>(i % 2 ? 0x01 : 0x02)});
    records.push_back({2000000000, static_cast<std::uint8_t>(i % 3 ? 0x00 : 0x10)});
  }
  ReplayFile file = buildReplay(game(1, 5, records));
  const PlaybackOutcome out = playReplayOutcome(file);
  releaseReplay(file);
  EXPECT_FALSE(out.died);
  EXPECT_LT(out.framesSimulated, 200u * 600u);
  EXPECT_EQ(out.frames, 200ull * 2000000002ull);
}

TEST(FastForward, PositionStaysBetweenTheWallsInEveryFrame) {
  // The settled-speed shortcut rests on x in [85, 555] at every frame start,
  // landings included.
  std::mt19937 rng(7);
  for (int g = 0; g < 100; ++g) {
    GameState s;
    initGame(s, static_cast<std::int32_t>(rng() % 2), rng());
    for (int frame = 0; frame < 20000 && stepFrame(s, static_cast<std::uint8_t>(rng() % 32 < 28 ? (rng() % 2 ? 0x12 : 0x11) : rng())); ++frame)
      ASSERT_TRUE(s.x >= 85.0 && s.x <= 555.0) << s.x << " in game " << g << ", frame " << frame;
  }
}

TEST(FastForward, OwedDecayEqualsTheDecayFrameByFrame) {
  for (const double from : {12.2, -0.3, 0x1p-58, -0x1p-1020, 0x1p-1073, 0.0}) {
    std::vector<double> naive{from};
    while (naive.size() < 7200) naive.push_back(store(extMul(widen(naive.back()), widen(k::C0_9))));
    for (std::uint64_t n = 0; n < naive.size(); n += naive[n] == naive[n + 1 < naive.size() ? n + 1 : n] ? 1 : 37)
      ASSERT_EQ(decaySpeed(from, n), naive[n]) << from << " after " << n;
    EXPECT_EQ(decaySpeed(from, 1ull << 40), naive.back());
  }
}

TEST(FastForward, ASettledSpeedChangesNothingButItselfInAnyLaterFrame) {
  // The claim behind the shortcut, tried directly: from states of random
  // games given speeds around the limits, at positions around the walls and
  // the sign bounds, every later frame without a direction key (landings
  // included) leaves the state as it leaves the same state with vx = 0, and
  // vx decays by itself.
  std::mt19937 rng(20261209);
  const double speeds[] = {0x1p-44, 0x1p-45, 0x1.0000000000001p-45, 0x1p-46, 0x1.0000000000001p-46, 0x1p-47, 0x1.0000000000001p-47, 0x1p-48, 0x1.0000000000001p-48, 0x1.fffffffffffffp-49, 0x1p-57, 0x1p-58, 0x1.fffffffffffffp-59, 0x1p-1074, 0.0};
  // Around the walls, the sign bounds and the powers of two, where the
  // binary64 step below halves; odd last bits, where a tie moves x.
  const double places[] = {85.0, 85.5, 86.0 - 0x1p-46, 86.0, 128.0, 128.75, 129.0, 200.25, 200.25 + 0x1p-45, 256.0, 256.5, 257.0, 300.25 + 0x1p-44, 512.0, 512.25, 513.0, 554.5, 554.5 + 0x1p-43, 555.0 - 0x1p-43, 555.0};
  int settled = 0;
  for (int g = 0; g < 40; ++g) {
    GameState base = freshGame(rng(), static_cast<std::int32_t>(rng() % 2));
    for (int f = static_cast<int>(rng() % 600); f > 0 && stepFrame(base, static_cast<std::uint8_t>(rng() % 20)); --f) {
    }
    for (const double speed : speeds)
      for (const double sign : {1.0, -1.0})
        for (const double place : places) {
          GameState real = base, bare = base;
          real.x = bare.x = place;
          real.vx = sign * speed;
          bare.vx = 0.0;
          const std::uint8_t input = static_cast<std::uint8_t>(rng() % 2 ? 0x10 : 0x00);
          if (!speedIsSettled(real, input)) continue;
          ++settled;
          double vx = real.vx;
          for (int frame = 0; frame < 400; ++frame) {
            const std::uint8_t in = static_cast<std::uint8_t>(rng() % 3 ? input : input ^ 0x10);
            const bool alive = stepFrame(real, in);
            ASSERT_EQ(alive, stepFrame(bare, in));
            vx = decaySpeed(vx, 1);
            ASSERT_EQ(bitsOf(real.vx), bitsOf(vx)) << place << " " << sign * speed << " frame " << frame;
            real.vx = bare.vx;
            ASSERT_TRUE(sameState(real, bare)) << place << " " << sign * speed << " frame " << frame;
            real.vx = vx;
            if (!alive) break;
          }
        }
  }
  EXPECT_GT(settled, 1000);
}

TEST(FastForward, ADirectionKeyCannotTellTheShortenedDecayFromTheWholeOne) {
  // Every settled speed up to the largest, ±2^-45, for as many frames as
  // it takes to fall below TINY_SPEED and beyond; and speeds not settled.
  for (const double from : {0.3, -0x1p-40, 0x1p-45, -0x1p-45, 0x1.fffffffffffffp-46, 0x1p-48, -0x1p-48, 0x1.5p-50, -0x1.8p-58, 0x1p-58, 0x1p-1060})
    for (std::uint64_t frames = 0; frames < 200; ++frames)
      for (const std::uint8_t key : {INPUT_LEFT, INPUT_RIGHT, static_cast<std::uint8_t>(INPUT_LEFT | INPUT_RIGHT)}) {
        GameState whole = freshGame(3), shortened = whole;
        whole.vx = decaySpeed(from, frames);
        shortened.vx = decaySpeedForKey(from, frames);
        applyInput(whole, key);
        applyInput(shortened, key);
        ASSERT_EQ(bitsOf(whole.vx), bitsOf(shortened.vx)) << from << " after " << frames;
      }
}

TEST(FastForward, AFinalSpeedAsAKeySeesItPlaysOnAsTheGamesOwn) {
  // Games ending in a long record without a direction key, played to the
  // end with the game's own speed and with the speed as a key sees it, then
  // on frame by frame from both: the same states but for the speed, both
  // below TINY_SPEED, until the first direction key, then the same states.
  std::mt19937 rng(20261210);
  int differed = 0;
  for (int g = 0; g < 60; ++g) {
    std::vector<InputRecord> records;
    for (int n = static_cast<int>(rng() % 6); n > 0; --n)
      records.push_back({static_cast<std::int32_t>(rng() % 40), static_cast<std::uint8_t>(rng() % 4 | (rng() % 2 ? 0x10 : 0))});
    records.push_back({static_cast<std::int32_t>(200 + rng() % 20000), static_cast<std::uint8_t>(rng() % 2 ? 0x10 : 0x00)});
    const std::int32_t rejump = static_cast<std::int32_t>(rng() % 2);
    ReplayFile file = buildReplay(game(rejump, rng(), records));
    PlaybackOptions keySees;
    keySees.speedAsAKeySeesIt = true;
    const PlaybackOutcome own = playReplayOutcome(file), seen = playReplayOutcome(file, keySees);
    releaseReplay(file);
    ASSERT_EQ(own.died, seen.died);
    ASSERT_EQ(own.frames, seen.frames);
    if (own.died) continue;
    GameState a = own.finalState, b = seen.finalState;
    const bool same = bitsOf(a.vx) == bitsOf(b.vx);
    if (!same) {
      ++differed;
      ASSERT_LT(std::fabs(a.vx), TINY_SPEED);
      ASSERT_LT(std::fabs(b.vx), TINY_SPEED);
    }
    bool keyed = false;
    for (int frame = 0; frame < 1500; ++frame) {
      const std::uint8_t in = static_cast<std::uint8_t>(rng() % 50 == 0 ? rng() % 4 | 0x10 : rng() % 2 ? 0x10 : 0);
      keyed = keyed || (in & (INPUT_LEFT | INPUT_RIGHT)) != 0;
      const bool alive = stepFrame(a, in);
      ASSERT_EQ(alive, stepFrame(b, in));
      if (keyed) {
        ASSERT_TRUE(sameState(a, b)) << "game " << g << ", frame " << frame;
      } else {
        GameState speedless = b;
        speedless.vx = a.vx;
        ASSERT_TRUE(sameState(a, speedless)) << "game " << g << ", frame " << frame;
      }
      if (!alive) break;
    }
  }
  EXPECT_GT(differed, 10);
}

TEST(FastForward, HugeRecordsOfAStandingPlayerFinish) {
  // 2^31 frames per record, frame by frame, would take minutes each.
  ReplayFixture fixture = game(0, 0, std::vector<InputRecord>(1000, InputRecord{2147483647, 0x00}));
  ReplayFile file = buildReplay(fixture);
  const PlaybackOutcome out = playReplayOutcome(file);
  releaseReplay(file);
  EXPECT_FALSE(out.valid);
  EXPECT_FALSE(out.died);
  EXPECT_EQ(out.frames, 1000ull * 2147483648ull);
  EXPECT_EQ(out.recordsPlayed, 1000u);
}

}  // namespace

namespace {

// Every frame an observer is shown from `from` on, with its state.
struct Seen {
  std::uint64_t from;
  std::vector<std::uint64_t> frames;
  std::vector<GameState> states;
};

bool remember(void* context, const FrameReport& r) {
  auto& seen = *static_cast<Seen*>(context);
  if (r.frame >= seen.from) {
    seen.frames.push_back(r.frame);
    seen.states.push_back(*r.state);
  }
  return seen.frames.size() < 2000;  // a window, as trace --to gives
}

// An observer that starts late sees exactly the frames, and states, that
// frame-by-frame playback shows there, while the frames before its start
// are skipped where playback can skip them.
TEST(FastForward, ObserversThatStartLateSeeTheSameFrames) {
  std::mt19937 rng(20261208);
  const std::uint8_t inputs[] = {0x00, 0x01, 0x02, 0x10, 0x11, 0x12, 0x13, 0x03};
  std::uint64_t skipped = 0;
  for (int g = 0; g < 60; ++g) {
    ReplayFixture fixture = game(static_cast<std::int32_t>(rng() % 2), rng(), {});
    for (int r = 0; r < 10; ++r) {
      const auto repeat = static_cast<std::int32_t>(rng() % 3 == 0 ? rng() % 20000 : rng() % 300);
      fixture.records.push_back({repeat, inputs[rng() % 8]});
    }
    ReplayFile file = buildReplay(fixture);
    const std::uint64_t from = 1 + rng() % (playReplayOutcome(file).frames + 10);
    Seen reference{from, {}, {}}, late{from, {}, {}};
    PlaybackOptions full;
    full.fastForward = false;
    full.observer = remember;
    full.context = &reference;
    PlaybackOptions watchLate;
    watchLate.observer = remember;
    watchLate.context = &late;
    watchLate.observeFrom = from;
    const PlaybackOutcome a = playReplayOutcome(file, full);
    const PlaybackOutcome b = playReplayOutcome(file, watchLate);
    releaseReplay(file);
    ASSERT_EQ(late.frames, reference.frames) << "game " << g << " from " << from;
    for (std::size_t k = 0; k < late.states.size(); ++k)
      ASSERT_TRUE(sameState(late.states[k], reference.states[k])) << "game " << g << " frame " << late.frames[k];
    EXPECT_EQ(a.frames, b.frames);
    ASSERT_LE(b.framesSimulated, a.framesSimulated);
    skipped += a.framesSimulated - b.framesSimulated;
  }
  EXPECT_GT(skipped, 100000u) << "the frames before the window were skipped";
}

}  // namespace

TEST(FastForward, SteppingJumpsStopShortOfTheLeftWall) {
  // Stepping jumps walk the player left onto x = 85; from there a negative
  // speed bounces off the wall every frame even when the move does not
  // register, so those jumps are not skipped.
  expectSameOutcome(game(1, 0x9CA5E3BE, {{22, 0x11}, {29, 0x11}, {29, 0x12}, {31, 0x11}, {18, 0x11}, {20, 0x12},
                                         {31, 0x11}, {64, 0x11}, {6, 0x12}, {3, 0x11}, {1983, 0x10}}),
                    "stepping onto the left wall");
}

TEST(FastForward, JumpsNextToAWallKeepTheirSpeedOnlyWhereTheShortcutsSaySo) {
  // One jump on the spot from each position next to the walls, with speeds
  // on both sides of the bounds: the jump shortcuts need the decay alone to
  // change vx, which holds from 86 to 554 in the direction of the nearer
  // wall and fails on the wall itself for any speed that reaches it.
  for (const double x : {85.0, 86.0, 87.0, 553.0, 554.0, 555.0})
    for (const double magnitude : {0.0234, 0x1p-43, 0x1p-50, 0x1p-54, 0x1p-55, 0x1p-57, 0x1p-58, 0x1p-300}) {
      const double vx = x < 300.0 ? -magnitude : magnitude;
      GameState s = freshGame(7, 1);
      s.x = x;
      s.vx = vx;
      std::uint32_t frames = 0;
      do {
        ASSERT_TRUE(stepFrame(s, 0x10));
        ++frames;
      } while (s.jumpState != JumpState::Grounded && frames < 100);
      const bool allowed = x >= 86.0 && x <= 554.0;
      // The unrounded sum reaches past the wall unless the decayed speed is
      // at most half a 64-bit step of the wall's coordinate (2^-57 at 85,
      // 2^-54 at 555).
      const bool bounces = !allowed && magnitude * 0.9 > (x < 300.0 ? 0x1p-58 : 0x1p-55);
      EXPECT_EQ(bitsOf(s.vx) == bitsOf(decaySpeed(vx, frames)), !bounces) << "x " << x << ", vx " << vx;
      if (allowed) {
        EXPECT_EQ(s.x, vx < 0.0 && movePosition(x, steerSpeed(vx, 0x10)) < x ? x - 1.0 : x) << vx;
      }
    }
}

TEST(FastForward, ShortRecordsTakeASettledSpeedOutAtTheirStart) {
  // Records one frame short of the fast-forward threshold, standing while
  // the speed decays toward the subnormals: the settled speed is taken out
  // at a record start all the same, so the frames after it do not run on
  // it, and the outcome is frame-by-frame playback's.
  std::vector<InputRecord> records(400, InputRecord{62, 0x00});
  records.push_back({40, 0x01});  // a key ends the settled stretch: the owed decay is paid
  records.push_back({700, 0x00});
  records.push_back({0, END_MARKER});
  expectSameOutcome(game(0, 36, records), "short standing records");
  ReplayFile file = buildReplay(game(0, 36, records));
  std::uint32_t settledAtShortRecords = 0;
  PlaybackOptions options;
  options.shortcutContext = &settledAtShortRecords;
  options.shortcutObserver = [](void* context, const ShortcutReport& r) {
    if (r.kind == Shortcut::SettledSpeed && r.recordFrames == 63) ++*static_cast<std::uint32_t*>(context);
  };
  playReplayOutcome(file, options);
  releaseReplay(file);
  EXPECT_GE(settledAtShortRecords, 1u);
}
