// Records played again from a state they were played from before are not
// simulated again; the game must still be exactly the frame-by-frame one.
#include <gtest/gtest.h>

#include <random>

#include "support/replay_builder.h"
#include "verify/playback.h"
#include "verify/record_memo.h"

namespace {

struct Played {
  PlaybackOutcome out;
  Sha256Digest digest;
  std::uint32_t repeatedRecords = 0;
  std::uint32_t repeatedSettled = 0;  // of those, with the speed taken out (owed)
};

Played play(const ReplayFile& file, bool fastForward) {
  Played p{};
  GameDigest digest;
  startGameDigest(digest, file.header.seed, file.header.rejump);
  PlaybackOptions options;
  options.fastForward = fastForward;
  options.digest = &digest;
  options.shortcutContext = &p;
  options.shortcutObserver = [](void* context, const ShortcutReport& r) {
    auto& played = *static_cast<Played*>(context);
    if (r.kind != Shortcut::RepeatedRecord) return;
    ++played.repeatedRecords;
    played.repeatedSettled += r.before->vx == 0.0;
  };
  p.out = playReplayOutcome(file, options);
  p.digest = finishGameDigest(digest);
  return p;
}

// A block of records repeated after a lead-in, as crafted files are made:
// its states come round again, and from then on each record is looked up.
TEST(RecordMemo, RepeatedBlocksMatchFrameByFrame) {
  std::mt19937 rng(20261210);
  const std::uint8_t inputs[] = {0x00, 0x01, 0x02, 0x10, 0x11, 0x12};
  std::uint32_t gamesWithRepeats = 0, gamesOwing = 0;
  for (int g = 0; g < 160; ++g) {
    ReplayFixture fixture;
    fixture.rejump = static_cast<std::int32_t>(rng() % 2);
    fixture.seed = rng() % 64;
    if (rng() % 2) fixture.records.push_back({static_cast<std::int32_t>(rng() % 400), inputs[rng() % 6]});
    std::vector<InputRecord> block;
    for (std::size_t n = 1 + rng() % 4; n != 0; --n) {
      // Lengths about the memo's threshold, the fast-forward one and beyond.
      const std::int32_t repeat = rng() % 3 == 0 ? 12 + static_cast<std::int32_t>(rng() % 60)
                                                 : static_cast<std::int32_t>(rng() % 2500);
      block.push_back({repeat, inputs[rng() % 6]});
    }
    for (int copy = 0; copy < 25; ++copy) fixture.records.insert(fixture.records.end(), block.begin(), block.end());
    // What follows the block starts from a state reached through the memo.
    fixture.records.push_back({static_cast<std::int32_t>(rng() % 3000), inputs[rng() % 6]});
    if (rng() % 2) fixture.records.push_back({0, END_MARKER});
    ReplayFile file = buildReplay(fixture);
    const Played slow = play(file, false);
    const Played fast = play(file, true);
    const std::string what = "game " + std::to_string(g);
    EXPECT_EQ(slow.out.valid, fast.out.valid) << what;
    EXPECT_EQ(slow.out.died, fast.out.died) << what;
    EXPECT_EQ(slow.out.frames, fast.out.frames) << what;
    EXPECT_EQ(slow.out.recordsPlayed, fast.out.recordsPlayed) << what;
    EXPECT_EQ(slow.out.lastRecordStart, fast.out.lastRecordStart) << what;
    EXPECT_EQ(slow.out.highestFloor, fast.out.highestFloor) << what;
    EXPECT_TRUE(sameState(slow.out.finalState, fast.out.finalState)) << what;
    EXPECT_EQ(slow.digest, fast.digest) << what;
    gamesWithRepeats += fast.repeatedRecords != 0;
    gamesOwing += fast.repeatedSettled != 0;
    releaseReplay(file);
  }
  EXPECT_GT(gamesWithRepeats, 60u);
  EXPECT_GT(gamesOwing, 5u);
}

// The keys differ in each part a record's play depends on.
TEST(RecordMemo, FindsOnlyTheSameStateInputLengthAndOwing) {
  RecordMemo memo;
  GameState s{};
  s.x = 200.0;
  s.lastFloor = 3;
  const RecordKey key{s, false, 0x10, 500};
  EXPECT_EQ(findRecord(memo, key), nullptr);
  RecordResult result{};
  result.end.x = 86.0;
  keepRecord(memo, key, result);
  ASSERT_NE(findRecord(memo, key), nullptr);
  EXPECT_EQ(findRecord(memo, key)->end.x, 86.0);
  RecordKey other = key;
  other.owing = true;
  EXPECT_EQ(findRecord(memo, other), nullptr);
  other = key;
  other.input = 0x11;
  EXPECT_EQ(findRecord(memo, other), nullptr);
  other = key;
  other.frames = 501;
  EXPECT_EQ(findRecord(memo, other), nullptr);
  other = key;
  other.start.rngState ^= 1;  // a field the slot's hash may not tell apart
  other.start.floors.slot[6].left = 9;
  EXPECT_EQ(findRecord(memo, other), nullptr);
}

// Blocks the search for costly files found, repeated as a file of about
// 1 MB repeats them: once their states come round, a copy costs nothing.
// (The second one's records happened to share a place in a memo of one
// way per place and pushed each other out at every copy.)
TEST(RecordMemo, CraftedBlocksCostTheirFramesOnce) {
  struct Crafted {
    std::int32_t rejump;
    std::uint32_t seed;
    std::vector<InputRecord> lead, block;
  };
  const Crafted crafted[] = {
      {1, 13, {}, {{165, 0x02}, {166, 0x11}, {460385, 0x10}}},
      {0, 35, {{9, 0x12}, {229, 0x11}}, {{33, 0x01}, {14627018, 0x10}, {4767066, 0x12}}},
      {0, 36, {}, {{62, 0x00}}},
  };
  for (const Crafted& c : crafted) {
    ReplayFixture fixture;
    fixture.rejump = c.rejump;
    fixture.seed = c.seed;
    fixture.records = c.lead;
    for (int copy = 0; copy < 20000; ++copy) fixture.records.insert(fixture.records.end(), c.block.begin(), c.block.end());
    fixture.records.push_back({0, END_MARKER});
    ReplayFile file = buildReplay(fixture);
    const Played fast = play(file, true);
    releaseReplay(file);
    EXPECT_FALSE(fast.out.died);
    EXPECT_GT(fast.repeatedRecords, 19900u * c.block.size());
    EXPECT_LT(fast.out.framesSimulated, 20000u) << "block of " << c.block.size() << " records, seed " << c.seed;
  }
}

}  // namespace
