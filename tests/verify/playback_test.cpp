#include <gtest/gtest.h>

#include "support/replay_builder.h"
#include "verify/playback.h"

namespace {

PlaybackOutcome play(const ReplaySpec& spec) {
  ReplayFile file = buildReplay(spec);
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
  ReplaySpec spec = seed36Replay();
  spec.records.insert(spec.records.end() - 1, InputRecord{0, 0x00});
  const PlaybackOutcome out = play(spec);
  EXPECT_FALSE(out.valid);
  EXPECT_TRUE(out.died);
  EXPECT_FALSE(out.markerFollows);
}

TEST(PlayReplay, WhatFollowsTheMarkerAndTheClaimsDoNotMatter) {
  ReplaySpec spec = seed36Replay();
  spec.records.push_back({-4, 0xFF});
  spec.records.push_back({2147483647, 0x00});
  spec.score = -5;
  spec.floor = 999;
  EXPECT_TRUE(play(spec).valid);
}

TEST(PlayReplay, GamesThatDoNotEndAtTheMarker) {
  ReplaySpec none;
  EXPECT_FALSE(play(none).valid) << "no records";

  ReplaySpec markerFirst;
  markerFirst.records = {{0, 0x80}, {5, 0x02}};
  const PlaybackOutcome first = play(markerFirst);
  EXPECT_FALSE(first.valid);
  EXPECT_EQ(first.frames, 0u);

  ReplaySpec standing;
  standing.records = {{100000, 0x00}, {0, 0x80}};
  const PlaybackOutcome alive = play(standing);
  EXPECT_FALSE(alive.valid) << "still alive at the marker";
  EXPECT_FALSE(alive.died);
  EXPECT_EQ(alive.frames, 100001u);

  ReplaySpec exhausted = seed36Replay();
  exhausted.records.pop_back();  // the game ends in the last record: nothing to inspect
  const PlaybackOutcome last = play(exhausted);
  EXPECT_TRUE(last.died);
  EXPECT_FALSE(last.markerFollows);
  EXPECT_FALSE(last.valid);

  ReplaySpec runsOut;
  runsOut.records = {{3, 0x02}};
  EXPECT_FALSE(play(runsOut).valid) << "records exhausted while alive";
}

TEST(PlayReplay, RecordLengths) {
  ReplaySpec spec;
  spec.records = {{9, 0x02}, {0, 0x00}, {-7, 0x01}, {0, 0x80}};
  EXPECT_EQ(play(spec).frames, 10u + 1u + 1u);
}

TEST(PlayReplay, TheExampleFileIsInvalid) {
  const PlaybackOutcome out = play(exampleReplay());
  EXPECT_FALSE(out.valid);
  EXPECT_FALSE(out.died);
  EXPECT_EQ(out.frames, 6u);
}

}  // namespace
