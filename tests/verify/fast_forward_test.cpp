// Fast-forward must give exactly what frame-by-frame playback gives.
#include <gtest/gtest.h>

#include <random>

#include "support/replay_builder.h"
#include "verify/playback.h"

namespace {

void expectSameOutcome(const ReplayFixture& fixture, const char* what) {
  ReplayFile file = buildReplay(fixture);
  PlaybackOptions slow;
  slow.fastForward = false;
  const PlaybackOutcome a = playReplayOutcome(file, slow);
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
