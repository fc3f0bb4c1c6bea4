// The timing windows judged against plain frame-by-frame playback of the
// moved inputs, rebuilt here from the definitions alone; and the file
// facts on files built to hold each of them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "climber.h"
#include "evidence/evidence.h"
#include "evidence/file_facts.h"
#include "support/replay_builder.h"
#include "verify/playback.h"

namespace {

constexpr std::uint8_t KEYS = INPUT_LEFT | INPUT_RIGHT | INPUT_JUMP;

// The frame inputs of a fixture, index 0 being frame 0 (all released).
std::vector<std::uint8_t> frameInputs(const ReplayFixture& f) {
  std::vector<std::uint8_t> in{0};
  for (const InputRecord& r : f.records) {
    if ((r.input & END_MARKER) != 0) break;
    in.insert(in.end(), 1 + static_cast<std::size_t>(std::max(r.repeat, 0)), static_cast<std::uint8_t>(r.input & KEYS));
  }
  return in;
}

bool on(const std::vector<std::uint8_t>& in, std::uint64_t frame, std::uint8_t bit) {
  return frame < in.size() && (in[frame] & bit) != 0;
}

struct Watch {
  std::uint64_t after;  // landings count from the frame after this one
  std::uint64_t last;
  JumpState previous = JumpState::Grounded;
  bool landed = false;
  std::int32_t floor = 0;
};

bool watchFrame(void* context, const FrameReport& r) {
  Watch& w = *static_cast<Watch*>(context);
  const JumpState before = w.previous;
  w.previous = r.state->jumpState;
  if (r.frame > w.after && (before == JumpState::Falling || before == JumpState::Airborne) &&
      r.state->jumpState == JumpState::Grounded) {
    w.landed = true;
    w.floor = r.state->lastFloor;
    return false;
  }
  return r.frame < w.last;
}

// The outcome of the edge of `bit` at `frame` moved by `d`, from a fresh
// game played frame by frame on the moved inputs.
EdgeOutcome truth(const ReplayFixture& base, std::vector<std::uint8_t> in, std::uint64_t frame, std::uint8_t bit,
                  std::int32_t d, std::int32_t horizon) {
  const std::uint64_t after = d > 0 ? frame + static_cast<std::uint64_t>(d) : frame;
  const std::uint64_t last = after + static_cast<std::uint64_t>(horizon);
  in.resize(std::max<std::size_t>(in.size(), last + 1), 0);
  if (d > 0) {
    for (std::uint64_t f = frame; f < frame + static_cast<std::uint64_t>(d); ++f)
      in[f] = static_cast<std::uint8_t>((in[f] & ~bit) | (in[frame - 1] & bit));
  } else if (d < 0) {
    for (std::uint64_t f = frame - static_cast<std::uint64_t>(-d); f < frame; ++f)
      in[f] = static_cast<std::uint8_t>((in[f] & ~bit) | (in[frame] & bit));
  }
  ReplayFixture moved = base;
  moved.records.clear();
  for (std::uint64_t f = 1; f <= last; ++f) moved.records.push_back({0, in[f]});
  ReplayFile replay = buildReplay(moved);
  Watch w{after, last};
  PlaybackOptions options;
  options.fastForward = false;
  options.observer = watchFrame;
  options.context = &w;
  const PlaybackOutcome out = playReplayOutcome(replay, options);
  releaseReplay(replay);
  if (out.died) return {OutcomeKind::Dies, 0};
  if (w.landed) return {OutcomeKind::Floor, w.floor};
  return {OutcomeKind::None, 0};
}

std::string describe(const EvidenceEdge& e) {
  return "frame " + std::to_string(e.frame) + " " + keyName(e.key) + (e.press ? " press" : " release") + " [" +
         std::to_string(e.lo) + "," + std::to_string(e.hi) + "]";
}

void checkAgainstPlayback(const ReplayFixture& fixture, const EvidenceOptions& options) {
  ReplayFile replay = buildReplay(fixture);
  const Evidence ev = analyseEvidence(replay, 0, options);
  const PlaybackOutcome played = playReplayOutcome(replay);
  releaseReplay(replay);
  ASSERT_EQ(ev.cut, EvidenceCut::None);
  const std::vector<std::uint8_t> in = frameInputs(fixture);

  // Every edge of the played game, and nothing else, in order.
  std::vector<std::pair<std::uint64_t, int>> expected;
  for (std::uint64_t f = 1; f < in.size() && f <= played.frames; ++f)
    for (int k = 0; k < EVIDENCE_KEYS; ++k) {
      const std::uint8_t bit = keyBit(static_cast<EvidenceKey>(k));
      if (on(in, f, bit) != on(in, f - 1, bit)) expected.push_back({f, k});
    }
  ASSERT_EQ(ev.edges.size(), expected.size());

  std::uint64_t decisive = 0;
  for (std::size_t i = 0; i < ev.edges.size(); ++i) {
    const EvidenceEdge& e = ev.edges[i];
    SCOPED_TRACE(describe(e));
    ASSERT_EQ(e.frame, expected[i].first);
    ASSERT_EQ(static_cast<int>(e.key), expected[i].second);
    const std::uint8_t bit = keyBit(e.key);
    EXPECT_EQ(e.press, on(in, e.frame, bit));
    const EdgeOutcome recorded = truth(fixture, in, e.frame, bit, 0, options.horizon);
    EXPECT_TRUE(e.outcome == recorded);
    EXPECT_TRUE(truth(fixture, in, e.frame, bit, e.lo, options.horizon) == recorded);
    EXPECT_TRUE(truth(fixture, in, e.frame, bit, e.hi, options.horizon) == recorded);
    ASSERT_LE(e.lo, 0);
    ASSERT_GE(e.hi, 0);
    // Each side's reason, from the definitions.
    const std::uint64_t below = e.frame + static_cast<std::uint64_t>(e.lo) - 1;  // the offset lo - 1 would start here
    switch (e.loEnd) {
      case WindowEnd::Outcome:
        EXPECT_FALSE(truth(fixture, in, e.frame, bit, e.lo - 1, options.horizon) == recorded);
        break;
      case WindowEnd::Edge:
        EXPECT_TRUE(below == 0 || on(in, below, bit) != on(in, below - 1, bit));
        break;
      case WindowEnd::Reach: EXPECT_EQ(e.lo, -options.reach); break;
    }
    const std::uint64_t above = e.frame + static_cast<std::uint64_t>(e.hi) + 1;
    switch (e.hiEnd) {
      case WindowEnd::Outcome:
        EXPECT_FALSE(truth(fixture, in, e.frame, bit, e.hi + 1, options.horizon) == recorded);
        break;
      case WindowEnd::Edge: EXPECT_NE(on(in, above, bit), on(in, above - 1, bit)); break;
      case WindowEnd::Reach: EXPECT_EQ(e.hi, options.reach); break;
    }
    if (isDecisive(e)) ++decisive;
  }
  EXPECT_EQ(ev.summary.decisive, decisive);
  EXPECT_GT(decisive, 0u);

  // The rhythm of each key and the frames with both directions, counted
  // over the frames of the game.
  const std::uint64_t last = std::min<std::uint64_t>(played.frames, in.size() - 1);
  std::uint64_t both = 0;
  for (std::uint64_t f = 1; f <= last; ++f) both += (in[f] & (INPUT_LEFT | INPUT_RIGHT)) == (INPUT_LEFT | INPUT_RIGHT);
  EXPECT_EQ(ev.summary.leftAndRight, both);
  for (int k = 0; k < EVIDENCE_KEYS; ++k) {
    const std::uint8_t bit = keyBit(static_cast<EvidenceKey>(k));
    Histogram held, gaps;
    std::uint64_t presses = 0, shortest = 0, run = 0;
    bool seenRelease = false;
    for (std::uint64_t f = 1; f <= last + 1; ++f) {
      const bool now = f <= last && on(in, f, bit), before = on(in, f - 1, bit);
      if (f <= last && now && !before) {
        ++presses;
        if (seenRelease) {
          ++gaps[run];
          shortest = shortest == 0 ? run : std::min(shortest, run);
        }
        run = 0;
      } else if (f <= last && !now && before) {
        ++held[run];
        seenRelease = true;
        run = 0;
      }
      ++run;
    }
    const KeyRhythm& r = ev.summary.keys[k];
    EXPECT_EQ(r.presses, presses) << k;
    EXPECT_EQ(r.durations, held) << k;
    EXPECT_EQ(r.gaps, gaps) << k;
    EXPECT_EQ(r.shortestGap, shortest) << k;
  }
}

ReplayFixture climbingGame(std::uint32_t seed, std::uint32_t frames) {
  ReplayFixture f;
  f.rejump = 1;
  f.seed = seed;
  f.records = climbRecords(scriptClimb(seed, frames));
  return f;
}

// Keys chosen at random in runs of 1 to 24 frames, rejump off: jumps
// released and pressed again, both directions at once now and then.
ReplayFixture randomGame(std::uint32_t seed, std::uint32_t frames) {
  std::mt19937 random(seed);
  ReplayFixture f;
  f.seed = seed;
  for (std::uint32_t n = 0; n < frames;) {
    const std::uint32_t length = 1 + random() % 24;
    f.records.push_back({static_cast<std::int32_t>(length - 1), static_cast<std::uint8_t>(random() & KEYS)});
    n += length;
  }
  f.records.push_back({0, END_MARKER});
  return f;
}

// A random game whose every fifth record holds its keys for 5,000 to
// 9,000 frames: stretches the analysis crosses with playback's shortcuts.
ReplayFixture stretchedGame(std::uint32_t seed, std::uint32_t records) {
  std::mt19937 random(seed);
  ReplayFixture f;
  f.seed = seed;
  for (std::uint32_t j = 0; j < records; ++j) {
    const std::uint32_t length = j % 5 == 4 ? 5000 + random() % 4000 : 1 + random() % 24;
    f.records.push_back({static_cast<std::int32_t>(length - 1), static_cast<std::uint8_t>(random() & KEYS)});
  }
  f.records.push_back({0, END_MARKER});
  return f;
}

TEST(Evidence, WindowsAgreeWithPlaybackOfTheMovedInputs) {
  for (std::uint32_t seed = 0; seed < 8; ++seed) {
    SCOPED_TRACE("climb " + std::to_string(seed));
    checkAgainstPlayback(climbingGame(seed, 4000), EvidenceOptions{});
  }
  for (std::uint32_t seed : {5u, 8u, 13u}) {
    SCOPED_TRACE("random " + std::to_string(seed));
    checkAgainstPlayback(randomGame(seed, 1500), EvidenceOptions{});
  }
  {
    SCOPED_TRACE("stretched");
    checkAgainstPlayback(stretchedGame(4, 30), EvidenceOptions{});
  }
  // A short reach and horizon: more sides end at the reach, more outcomes are none.
  SCOPED_TRACE("short");
  checkAgainstPlayback(randomGame(21, 1200), EvidenceOptions{3, 25});
}

// Every edge the same, analysed with a shortcut and without; the shortcut
// stepping fewer frames.
void expectSameEdges(const Evidence& x, const Evidence& y) {
  ASSERT_EQ(x.edges.size(), y.edges.size());
  for (std::size_t i = 0; i < x.edges.size(); ++i) {
    const EvidenceEdge &a = x.edges[i], &b = y.edges[i];
    EXPECT_EQ(a.frame, b.frame);
    EXPECT_EQ(a.lo, b.lo) << a.frame;
    EXPECT_EQ(a.hi, b.hi) << a.frame;
    EXPECT_EQ(a.loEnd, b.loEnd) << a.frame;
    EXPECT_EQ(a.hiEnd, b.hiEnd) << a.frame;
    EXPECT_TRUE(a.outcome == b.outcome) << a.frame;
  }
}

void expectSameWindows(const ReplayFixture& f, const EvidenceOptions& quick, const EvidenceOptions& plain) {
  ReplayFile replay = buildReplay(f);
  const Evidence skipped = analyseEvidence(replay, 0, quick), stepped = analyseEvidence(replay, 0, plain);
  releaseReplay(replay);
  ASSERT_EQ(skipped.cut, EvidenceCut::None);
  ASSERT_EQ(stepped.cut, EvidenceCut::None);
  EXPECT_GT(skipped.edges.size(), 20u);
  expectSameEdges(skipped, stepped);
  EXPECT_LT(skipped.framesStepped, stepped.framesStepped);
}

// Long stretches crossed with playback's shortcuts give the windows of
// frame-by-frame play, for a fraction of the frames.
TEST(Evidence, StretchesSkippedGiveTheSameWindows) {
  for (std::uint32_t seed : {1u, 6u, 9u}) {
    SCOPED_TRACE(seed);
    EvidenceOptions options, plain;
    options.frameBudget = plain.frameBudget = 100'000'000;
    plain.skipStretches = false;
    expectSameWindows(stretchedGame(seed, 200), options, plain);
  }
}

// Moved runs that end where they meet the recorded run give the windows of
// runs played to their outcomes: random games, stretched ones, short and
// long reaches and horizons (a none outcome within a short horizon).
TEST(Evidence, MovedRunsMeetingTheRecordedOneGiveTheSameWindows) {
  struct Case {
    ReplayFixture game;
    std::int32_t reach, horizon;
  };
  const Case cases[] = {{randomGame(3, 3000), 8, 600}, {randomGame(17, 3000), 3, 25},
                        {randomGame(29, 2000), 16, 60}, {stretchedGame(6, 200), 8, 600}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reach * 1000 + c.horizon);
    EvidenceOptions options{c.reach, c.horizon}, plain{c.reach, c.horizon};
    options.frameBudget = plain.frameBudget = 100'000'000;
    plain.meetRecorded = false;
    expectSameWindows(c.game, options, plain);
  }
}

// A block of records repeated, as crafted files repeat one: the block's
// edges come round in the same states with the same inputs around them.
ReplayFixture repeatedBlockGame(std::uint32_t seed, int copies) {
  std::mt19937 random(seed);
  ReplayFixture f;
  f.seed = seed;
  f.rejump = static_cast<std::int32_t>(random() % 2);
  std::vector<InputRecord> block;
  for (std::size_t n = 2 + random() % 5; n != 0; --n) {
    const std::int32_t repeat = random() % 3 == 0 ? static_cast<std::int32_t>(random() % 900) : static_cast<std::int32_t>(random() % 30);
    block.push_back({repeat, static_cast<std::uint8_t>(random() & KEYS)});
  }
  for (int c = 0; c < copies; ++c) f.records.insert(f.records.end(), block.begin(), block.end());
  f.records.push_back({static_cast<std::int32_t>(random() % 40), static_cast<std::uint8_t>(random() & KEYS)});
  f.records.push_back({0, END_MARKER});
  return f;
}

// Edges met again in the same circumstances take the windows found the
// first time: the same windows as every edge replayed, for fewer frames, in
// repeated blocks, random games and stretched ones, at several reaches and
// horizons (a horizon longer than the block reaches into its next copies).
TEST(Evidence, EdgesMetAgainGiveTheSameWindows) {
  struct Case {
    ReplayFixture game;
    std::int32_t reach, horizon;
  };
  // Two jump edges in reach of the game's start (frames 3 and 6) with the
  // same state and inputs from frame 0: only their distance from it tells
  // them apart, and their windows differ (lo -2 and -3, each ended by the
  // start or by the other edge).
  ReplayFixture nearStart;
  nearStart.records = {{1, 0x00}, {2, 0x10}, {40, 0x00}, {0, END_MARKER}};
  std::vector<Case> cases = {{randomGame(3, 3000), 8, 600}, {stretchedGame(6, 200), 8, 600}, {nearStart, 8, 600}};
  for (std::uint32_t seed = 1; seed <= 12; ++seed)
    cases.push_back({repeatedBlockGame(seed, 30), static_cast<std::int32_t>(1 + seed % 9), seed % 2 ? 600 : 40});
  int reused = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reach * 1000 + c.horizon);
    EvidenceOptions options{c.reach, c.horizon}, plain{c.reach, c.horizon};
    options.frameBudget = plain.frameBudget = 100'000'000;
    plain.reuseWindows = false;
    ReplayFile replay = buildReplay(c.game);
    const Evidence a = analyseEvidence(replay, 0, options), b = analyseEvidence(replay, 0, plain);
    releaseReplay(replay);
    ASSERT_EQ(a.cut, EvidenceCut::None);
    ASSERT_EQ(b.cut, EvidenceCut::None);
    expectSameEdges(a, b);
    EXPECT_LE(a.framesStepped, b.framesStepped);
    reused += a.framesStepped * 2 < b.framesStepped;
  }
  EXPECT_GE(reused, 8);  // most repeated blocks cost less than half
}

TEST(Evidence, SummaryCountsTheEdges) {
  ReplayFixture f = seed36Replay();
  ReplayFile replay = buildReplay(f);
  const Evidence ev = analyseEvidence(replay, 0);
  releaseReplay(replay);
  // right on at 1, jump on at 11, off at 37, on at 55, off at 64; right off
  // and left on at 82.
  ASSERT_EQ(ev.edges.size(), 7u);
  const EvidenceSummary& s = ev.summary;
  EXPECT_EQ(s.keys[int(EvidenceKey::Jump)].presses, 2u);
  EXPECT_EQ(s.keys[int(EvidenceKey::Jump)].durations, (Histogram{{26, 1}, {9, 1}}));
  EXPECT_EQ(s.keys[int(EvidenceKey::Jump)].gaps, (Histogram{{18, 1}}));
  EXPECT_EQ(s.keys[int(EvidenceKey::Jump)].shortestGap, 18u);
  EXPECT_EQ(s.keys[int(EvidenceKey::Right)].durations, (Histogram{{81, 1}}));
  double model = 0.0;
  std::uint64_t perfect = 0, widths = 0;
  for (const EvidenceEdge& e : ev.edges)
    if (isDecisive(e)) {
      int inside = 0;
      for (int o = -2; o <= 2; ++o) inside += o >= e.lo && o <= e.hi;
      model += std::log10(inside / 5.0);
      perfect += e.lo == 0 && e.hi == 0;
      ++widths;
    }
  EXPECT_DOUBLE_EQ(s.modelLog10, model);
  EXPECT_EQ(s.framePerfect, perfect);
  std::uint64_t counted = 0;
  for (const auto& [width, n] : s.widths) counted += n;
  EXPECT_EQ(counted, widths);
  EXPECT_EQ(ev.gameFrames, 101u);
  EXPECT_TRUE(ev.died);
}

TEST(Evidence, CutsAtTheEdgeLimitAndTheFrameBudget) {
  ReplayFixture f = randomGame(2, 1500);
  ReplayFile replay = buildReplay(f);
  EvidenceOptions few;
  few.maxEdges = 10;
  const Evidence cut = analyseEvidence(replay, 0, few);
  EXPECT_EQ(cut.cut, EvidenceCut::Edges);
  EXPECT_EQ(cut.edges.size(), 10u);
  EXPECT_GT(cut.edgesInGame, 10u);
  const Evidence whole = analyseEvidence(replay, 0);
  ASSERT_GT(whole.edges.size(), 11u);
  EXPECT_EQ(cut.cutAtFrame, whole.edges[10].frame);
  // Half the frames the whole analysis steps: it stops before the first
  // edge whose runs would pass them, every edge before it as in the whole.
  EvidenceOptions tight;
  tight.frameBudget = whole.framesStepped / 2;
  const Evidence budget = analyseEvidence(replay, 0, tight);
  releaseReplay(replay);
  EXPECT_EQ(budget.cut, EvidenceCut::Frames);
  EXPECT_LE(budget.framesStepped, tight.frameBudget);
  ASSERT_LT(budget.edges.size(), whole.edges.size());
  EXPECT_GT(budget.edges.size(), 0u);
  EXPECT_EQ(budget.cutAtFrame, whole.edges[budget.edges.size()].frame);
  for (std::size_t i = 0; i < budget.edges.size(); ++i) {
    EXPECT_EQ(budget.edges[i].lo, whole.edges[i].lo) << i;
    EXPECT_EQ(budget.edges[i].hi, whole.edges[i].hi) << i;
    EXPECT_TRUE(budget.edges[i].outcome == whole.edges[i].outcome) << i;
  }
}

void expectFact(const FileFact& fact, std::uint64_t count, const std::vector<FactPlace>& places) {
  EXPECT_EQ(fact.count, count);
  ASSERT_EQ(fact.places.size(), places.size());
  for (std::size_t i = 0; i < places.size(); ++i) {
    EXPECT_EQ(fact.places[i].record, places[i].record) << i;
    EXPECT_EQ(fact.places[i].frame, places[i].frame) << i;
  }
}

TEST(FileFacts, TheRecordersOwnFileHasNone) {
  ReplayFixture f = climbingGame(4, 3000);
  f.floor = 0;
  ReplayFile replay = buildReplay(f);
  const PlaybackOutcome played = playReplayOutcome(replay);
  f.floor = played.highestFloor;
  f.combo = played.finalState.bestCombo;
  releaseReplay(replay);
  replay = buildReplay(f);
  const std::vector<std::uint8_t> bytes = buildReplayBytes(f);
  const FileFacts facts = fileFacts(replay, bytes.size());
  releaseReplay(replay);
  EXPECT_EQ(facts.sameInputAdjacent.count, 0u);
  EXPECT_EQ(facts.strayBits.count, 0u);
  EXPECT_EQ(facts.recordsAfterMarker.count, 0u);
  EXPECT_EQ(facts.framesAfterEnd.count, 0u);
  EXPECT_EQ(facts.bytesAfterRecords.count, 0u);
  EXPECT_FALSE(facts.claimsDiffer);
}

TEST(FileFacts, EachDepartureCountedWithItsPlaces) {
  // The seed-36 game, its records split, padded and marked, its last keys
  // both directions (which act as left alone); the game ends in frame 101
  // as before.
  ReplayFixture f = seed36Replay();
  f.floor = 50;
  f.records = {{4, 0x02},  {4, 0x02},  {25, 0x12}, {17, 0x06}, {0, 0x12}, {-3, 0x12},
               {6, 0x12},  {17, 0x42}, {50, 0x03}, {0, 0x80},  {5, 0x01}, {0, 0x81}};
  f.trailingBytes = 7;
  ReplayFile replay = buildReplay(f);
  ASSERT_TRUE(playReplay(replay));
  const FileFacts facts = fileFacts(replay, buildReplayBytes(f).size());
  // Both directions in frames 82 to 101, the game's last.
  EXPECT_EQ(analyseEvidence(replay, 0).summary.leftAndRight, 20u);
  releaseReplay(replay);
  expectFact(facts.sameInputAdjacent, 3, {{2, 6}, {6, 56}, {7, 57}});
  expectFact(facts.strayBits, 3, {{4, 37}, {8, 64}, {12, 0}});
  expectFact(facts.recordsAfterMarker, 2, {{11, 0}, {12, 0}});
  expectFact(facts.nonPositiveRepeats, 2, {{5, 55}, {6, 56}});
  expectFact(facts.framesAfterEnd, 31, {{9, 101}});
  EXPECT_EQ(facts.bytesAfterRecords.count, 7u);
  EXPECT_TRUE(facts.claimsDiffer);
}

}  // namespace
