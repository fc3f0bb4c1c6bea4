#include <gtest/gtest.h>

#include "support/replay_builder.h"
#include "verify/playback.h"

namespace {

PlaybackOutcome play(const ReplayFixture& fixture) {
  ReplayFile file = buildReplay(fixture);
  const PlaybackOutcome out = playReplayOutcome(file);
  EXPECT_EQ(playReplay(file), out.valid);
  releaseReplay(file);
  return out;
}

TEST(PlayReplay, Seed36GameEndsInFrame101BeforeTheMarker) {
  const PlaybackOutcome out = play(seed36Replay());
  EXPECT_TRUE(out.valid);
  EXPECT_TRUE(out.died);
  EXPECT_EQ(out.frames, 101u);
  EXPECT_EQ(out.recordsPlayed, 6u);
  EXPECT_TRUE(out.markerFollows);
  EXPECT_EQ(out.finalState.lastFloor, 1);
  EXPECT_EQ(out.finalState.scrolled, 51);
}

TEST(PlayReplay, MarkerOneRecordLateIsInvalid) {
  ReplayFixture fixture = seed36Replay();
  fixture.records.insert(fixture.records.end() - 1, InputRecord{0, 0x00});
  const PlaybackOutcome out = play(fixture);
  EXPECT_FALSE(out.valid);
  EXPECT_TRUE(out.died);
  EXPECT_FALSE(out.markerFollows);
}

TEST(PlayReplay, WhatFollowsTheMarkerAndTheClaimsDoNotMatter) {
  ReplayFixture fixture = seed36Replay();
  fixture.records.push_back({-4, 0xFF});
  fixture.records.push_back({2147483647, 0x00});
  fixture.score = -5;
  fixture.floor = 999;
  EXPECT_TRUE(play(fixture).valid);
}

TEST(PlayReplay, GamesThatDoNotEndAtTheMarker) {
  ReplayFixture none;
  EXPECT_FALSE(play(none).valid) << "no records";

  ReplayFixture markerFirst;
  markerFirst.records = {{0, 0x80}, {5, 0x02}};
  const PlaybackOutcome first = play(markerFirst);
  EXPECT_FALSE(first.valid);
  EXPECT_EQ(first.frames, 0u);

  ReplayFixture standing;
  standing.records = {{100000, 0x00}, {0, 0x80}};
  const PlaybackOutcome alive = play(standing);
  EXPECT_FALSE(alive.valid) << "still alive at the marker";
  EXPECT_FALSE(alive.died);
  EXPECT_EQ(alive.frames, 100001u);

  ReplayFixture exhausted = seed36Replay();
  exhausted.records.pop_back();  // the game ends in the last record: nothing to inspect
  const PlaybackOutcome last = play(exhausted);
  EXPECT_TRUE(last.died);
  EXPECT_FALSE(last.markerFollows);
  EXPECT_FALSE(last.valid);

  ReplayFixture runsOut;
  runsOut.records = {{3, 0x02}};
  EXPECT_FALSE(play(runsOut).valid) << "records exhausted while alive";
}

TEST(PlayReplay, RecordLengths) {
  ReplayFixture fixture;
  fixture.records = {{9, 0x02}, {0, 0x00}, {-7, 0x01}, {0, 0x80}};
  EXPECT_EQ(play(fixture).frames, 10u + 1u + 1u);
}

TEST(PlayReplay, TheExampleFileIsInvalid) {
  const PlaybackOutcome out = play(exampleReplay());
  EXPECT_FALSE(out.valid);
  EXPECT_FALSE(out.died);
  EXPECT_EQ(out.frames, 6u);
}

}  // namespace
