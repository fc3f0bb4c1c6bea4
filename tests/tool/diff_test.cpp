// replaytool diff: the comparison against the games stepped frame by frame
// from the start, and what a user reads, run by the real program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "sim/frame_step.h"
#include "support/replay_builder.h"
#include "support/run_program.h"
#include "tool/game_compare.h"
#include "verify/playback.h"

namespace {

// Every frame played, its input and record, as playback plays them.
struct Frame {
  std::uint8_t input;
  std::uint32_t record;  // from 1
};

std::vector<Frame> framesPlayed(const ReplayFile& replay) {
  const std::uint64_t frames = playReplayOutcome(replay).frames;
  std::vector<Frame> out;
  for (std::uint32_t i = 0; out.size() < frames; ++i) {
    const InputRecord r = recordAt(replay, i);
    for (std::int64_t n = 0; n <= std::max(r.repeat, 0) && out.size() < frames; ++n) out.push_back({r.input, i + 1});
  }
  return out;
}

// A variant of `base`: records split, ignored bits set, an input changed,
// the run cut short, or the header changed, at random.
ReplayFixture variant(const ReplayFixture& base, std::mt19937& random) {
  ReplayFixture f = base;
  std::vector<InputRecord>& r = f.records;
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  const std::size_t playable = r.size() - 1;  // the marker stays last
  switch (random() % 6) {
    case 0: {  // split a record in two
      const std::size_t i = pick(playable);
      if (r[i].repeat < 1) break;
      const std::int32_t first = static_cast<std::int32_t>(pick(static_cast<std::size_t>(r[i].repeat)));
      r.insert(r.begin() + static_cast<std::ptrdiff_t>(i) + 1, InputRecord{r[i].repeat - first - 1, r[i].input});
      r[i].repeat = first;
      break;
    }
    case 1: {  // a bit the game ignores
      const std::uint8_t ignored[] = {0x04, 0x08, 0x20, 0x40};
      r[pick(playable)].input ^= ignored[pick(4)];
      break;
    }
    case 2: r[pick(playable)].input ^= static_cast<std::uint8_t>(1 << pick(2)); break;
    case 3: {  // another input from a frame inside a record on
      const std::size_t i = pick(playable);
      if (r[i].repeat < 1) break;
      const std::int32_t first = static_cast<std::int32_t>(pick(static_cast<std::size_t>(r[i].repeat)));
      r.insert(r.begin() + static_cast<std::ptrdiff_t>(i) + 1,
               InputRecord{r[i].repeat - first - 1, static_cast<std::uint8_t>(r[i].input ^ 0x10)});
      r[i].repeat = first;
      break;
    }
    case 4: r.erase(r.begin() + static_cast<std::ptrdiff_t>(pick(playable)) + 1, r.end() - 1); break;  // cut
    default: f.seed ^= static_cast<std::uint32_t>(random() % 2); f.rejump = static_cast<std::int32_t>(random() % 3); break;
  }
  return f;
}

// What compareGames must find, from the games played frame by frame.
void expectAsSteppedFromTheStart(const ReplayFixture& fa, const ReplayFixture& fb, const std::string& what) {
  ReplayFile a = buildReplay(fa), b = buildReplay(fb);
  const std::vector<Frame> pa = framesPlayed(a), pb = framesPlayed(b);
  const GameComparison c = compareGames(a, b);
  const std::size_t both = std::min(pa.size(), pb.size());
  std::size_t first = 0;
  while (first < both && ((pa[first].input ^ pb[first].input) & 0x13) == 0) ++first;
  const bool sameStart = fa.seed == fb.seed && (fa.rejump != 0) == (fb.rejump != 0);
  EXPECT_EQ(c.frames[0], pa.size()) << what;
  EXPECT_EQ(c.frames[1], pb.size()) << what;
  EXPECT_EQ(c.sharedFrames, first) << what;
  EXPECT_EQ(c.input.found, first < both) << what;
  if (first < both) {
    EXPECT_EQ(c.input.frame, first + 1) << what;
    EXPECT_EQ(c.input.record[0], pa[first].record) << what;
    EXPECT_EQ(c.input.record[1], pb[first].record) << what;
    EXPECT_EQ(c.input.input[0], pa[first].input) << what;
    EXPECT_EQ(c.input.input[1], pb[first].input) << what;
  }
  EXPECT_EQ(c.prefix, first < both || pa.size() == pb.size() ? 0 : pa.size() < pb.size() ? 1 : 2) << what;
  EXPECT_EQ(c.sameGame, sameStart && first == both && pa.size() == pb.size()) << what;
  if (sameStart) {
    GameState sa, sb;
    initGame(sa, fa.rejump, fa.seed);
    initGame(sb, fa.rejump, fa.seed);  // a nonzero rejump plays alike
    std::size_t differs = 0;
    for (std::size_t n = 0; n < both && differs == 0; ++n) {
      stepFrame(sa, pa[n].input);
      stepFrame(sb, pb[n].input);
      if (!sameState(sa, sb)) differs = n + 1;
    }
    EXPECT_EQ(c.state.kind, differs != 0 ? StateComparison::Found
                            : first < both ? StateComparison::Ended
                                           : StateComparison::Same) << what;
    EXPECT_EQ(c.state.frame, differs) << what;
  } else {
    EXPECT_EQ(c.state.kind, StateComparison::NotCompared) << what;
  }
  releaseReplay(a);
  releaseReplay(b);
}

ReplayFixture climbReplay() {
  ReplayFixture f;
  const std::vector<std::uint8_t> bytes = [] {
    const std::string s = slurp(std::string(RUNAUDIT_SAMPLES) + "/climb.wlx");
    return std::vector<std::uint8_t>(s.begin(), s.end());
  }();
  ReplayFile r{};
  EXPECT_EQ(loadReplayBytes(bytes.data(), bytes.size(), r), nullptr);
  f.seed = r.header.seed;
  f.rejump = r.header.rejump;
  for (std::uint32_t i = 0; i < recordCountOf(r); ++i) f.records.push_back(recordAt(r, i));
  releaseReplay(r);
  return f;
}

// Random variants of two real games, one and two edits away, each pair
// against the games stepped from the first frame.
TEST(ReplayDiff, FindsWhatSteppingBothFromTheStartFinds) {
  std::mt19937 random(34);
  for (const ReplayFixture& base : {seed36Replay(), climbReplay()}) {
    for (int n = 0; n < 150; ++n) {
      ReplayFixture a = variant(base, random), b = variant(base, random);
      if (n % 2 == 0) b = variant(b, random);
      expectAsSteppedFromTheStart(a, b, "variant " + std::to_string(n) + " of seed " + std::to_string(base.seed));
    }
    expectAsSteppedFromTheStart(base, base, "itself");
  }
}

// The side-by-side stepping stops at its bound and says where.
TEST(ReplayDiff, StepsTheStatesOnlyAsFarAsItsBound) {
  ReplayFixture a = seed36Replay(), b = seed36Replay();
  b.records[2] = {17, 0x03};  // left and right at once from frame 37
  ReplayFile ra = buildReplay(a), rb = buildReplay(b);
  const GameComparison whole = compareGames(ra, rb);
  ASSERT_EQ(whole.input.frame, 37u);
  ASSERT_EQ(whole.state.kind, StateComparison::Found);
  const std::uint64_t later = whole.state.frame - whole.input.frame;  // frames the states still agree after it
  const GameComparison cut = compareGames(ra, rb, later);
  EXPECT_EQ(cut.state.kind, StateComparison::Bounded);
  EXPECT_EQ(cut.state.comparedTo, 36 + later);
  EXPECT_EQ(compareGames(ra, rb, later + 1).state.frame, whole.state.frame);
  releaseReplay(ra);
  releaseReplay(rb);
}

#if RUNAUDIT_TESTS_RUN_PROGRAMS

std::string scratchDir() {
  const std::string dir = writeTempFile("diff", {});
  std::filesystem::remove(dir);
  std::filesystem::create_directory(dir);
  return dir;
}

void put(const std::string& dir, const char* name, const ReplayFixture& f) {
  const std::vector<std::uint8_t> bytes = buildReplayBytes(f);
  std::FILE* out = std::fopen((dir + "/" + name).c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
}

RunResult diffIn(const std::string& dir, const std::string& args) {
  return runProgram("cd " + shellQuote(dir) + " && " + REPLAYTOOL_BINARY + " diff " + args);
}

TEST(ReplayDiff, TellsGamesApartAsAUserReadsIt) {
  const std::string dir = scratchDir();
  const ReplayFixture original = seed36Replay();
  put(dir, "a.wlx", original);
  // The same game renamed, split differently and with bits that change nothing.
  ReplayFixture copy = original;
  copy.name = "copycat";
  copy.rejump = 5;
  copy.floor = 12;
  copy.records = {{4, 0x02}, {4, 0x06}, {25, 0x12}, {17, 0x42}, {8, 0x12}, {17, 0x02}, {21, 0x01}, {0, 0x80}};
  put(dir, "copy.wlx", copy);
  // A run spliced from another's first 46 frames, and a run cut from it.
  ReplayFixture spliced = original;
  spliced.records = {{9, 0x02}, {25, 0x12}, {9, 0x02}, {40, 0x01}, {0, 0x80}};
  put(dir, "spliced.wlx", spliced);
  ReplayFixture cut = original;
  cut.records = {{9, 0x02}, {25, 0x12}, {0, 0x80}};
  put(dir, "cut.wlx", cut);
  ReplayFixture reseeded = original;
  reseeded.seed = 37;
  put(dir, "reseeded.wlx", reseeded);

  RunResult r = diffIn(dir, "a.wlx a.wlx");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "File A:         a.wlx\n"
            "File B:         a.wlx\n"
            "Header:         same\n"
            "Game:           same (seed, rejump and the input of every frame played)\n"
            "Game digest:    4cfaaea538a8899bef5ef6c6b85104b6f7537e629ce95f0d12525c2f43d5d524 (both)\n"
            "Frames:         101 | 101\n"
            "Shared frames:  101\n"
            "Input differs:  none on the 101 frames both play\n"
            "State differs:  none (the same inputs on the 101 frames both play)\n"
            "Prefix:         none\n");
  r = diffIn(dir, "a.wlx copy.wlx");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "File A:         a.wlx\n"
            "File B:         copy.wlx\n"
            "Name:           tester | copycat\n"
            "Floor:          1 | 12\n"
            "Rejump:         1 (on) | 5 (on)\n"
            "Checksum:       0x02C0A0CE | 0x03089168\n"
            "Records:        7 | 8\n"
            "Game:           same (seed, rejump and the input of every frame played)\n"
            "Game digest:    4cfaaea538a8899bef5ef6c6b85104b6f7537e629ce95f0d12525c2f43d5d524 (both)\n"
            "Frames:         101 | 101\n"
            "Shared frames:  101\n"
            "Input differs:  none on the 101 frames both play\n"
            "State differs:  none (the same inputs on the 101 frames both play)\n"
            "Prefix:         none\n");
  r = diffIn(dir, "a.wlx spliced.wlx");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "File A:         a.wlx\n"
            "File B:         spliced.wlx\n"
            "Checksum:       0x02C0A0CE | 0x02C09977\n"
            "Records:        7 | 5\n"
            "Game:           different (inputs differ)\n"
            "Game digest:    4cfaaea538a8899bef5ef6c6b85104b6f7537e629ce95f0d12525c2f43d5d524 | "
            "08c229fd0602c6fe5934ec8bb4e98bf3be4ab580725149fe8d0325ae071e50b6\n"
            "Frames:         101 | 87\n"
            "Shared frames:  46\n"
            "Input differs:  frame 47: record 3 | record 4, input 0x02 | 0x01\n"
            "State differs:  frame 47: x 0x408088DB22D0E561,529.10700000000008 | "
            "0x4080692D0E560419,525.14700000000005\n"
            "Prefix:         none\n");
  // The values are trace's, character for character.
  const RunResult traced = runProgram("cd " + shellQuote(dir) + " && " + REPLAYTOOL_BINARY +
                                      " trace spliced.wlx --from 47 --to 47");
  EXPECT_NE(traced.out.find("\n47,4,0x01,0x4080692D0E560419,525.14700000000005,"), std::string::npos) << traced.out;
  r = diffIn(dir, "--json spliced.wlx a.wlx");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "{\"a\":{\"file\":\"spliced.wlx\",\"frames\":87},\"b\":{\"file\":\"a.wlx\",\"frames\":101},"
            "\"headerDifferences\":{\"checksum\":[46176631,46178510],\"recordCount\":[5,7]},"
            "\"sameGame\":false,\"sameSeed\":true,\"sameRejump\":true,"
            "\"gameDigest\":[\"08c229fd0602c6fe5934ec8bb4e98bf3be4ab580725149fe8d0325ae071e50b6\","
            "\"4cfaaea538a8899bef5ef6c6b85104b6f7537e629ce95f0d12525c2f43d5d524\"],\"sharedFrames\":46,"
            "\"inputDifference\":{\"frame\":47,\"records\":[4,3],\"inputs\":[1,2]},"
            "\"stateCompared\":\"found\",\"stateComparedTo\":47,"
            "\"stateDifference\":{\"frame\":47,\"field\":\"x\",\"values\":[\"0x4080692D0E560419,525.14700000000005\","
            "\"0x408088DB22D0E561,529.10700000000008\"]},\"prefix\":null}\n");
  r = diffIn(dir, "cut.wlx a.wlx");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Frames:         36 | 101\nShared frames:  36\n"
                       "Input differs:  none on the 36 frames both play\n"
                       "State differs:  none (the same inputs on the 36 frames both play)\n"
                       "Prefix:         A (its 36 frames are B's first 36)\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(diffIn(dir, "a.wlx cut.wlx").out.find("Prefix:         B (its 36 frames are A's first 36)\n"),
            std::string::npos);
  r = diffIn(dir, "a.wlx reseeded.wlx");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Seed:           0x00000024 | 0x00000025\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Game:           different (seed differs)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("State differs:  not compared (different games from the first frame)\n"), std::string::npos);
  EXPECT_NE(diffIn(dir, "reseeded.wlx copy.wlx --json").out.find("\"sameGame\":false,\"sameSeed\":false,"
                                                                  "\"sameRejump\":true,"),
            std::string::npos);
  // Standard input for one of them.
  r = runProgram("{ cd " + shellQuote(dir) + " && " + REPLAYTOOL_BINARY + " diff a.wlx - < copy.wlx; }");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("File B:         -\n"), std::string::npos);
  std::filesystem::remove_all(dir);
}

// Records of billions of frames: compared run by run, the first differing
// state reached through playback's shortcuts.
TEST(ReplayDiff, ComparesGamesOfBillionsOfFrames) {
  const std::string dir = scratchDir();
  ReplayFixture still = seed36Replay();
  still.records = {{2147483647, 0x00}, {2147483647, 0x00}, {2147483647, 0x00}, {5, 0x02}, {0, 0x80}};
  put(dir, "still.wlx", still);
  ReplayFixture same = still;
  same.records[1].input = 0x04;
  put(dir, "same.wlx", same);
  ReplayFixture left = still;
  left.records[3].input = 0x01;
  put(dir, "left.wlx", left);
  RunResult r = diffIn(dir, "still.wlx same.wlx");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Frames:         6442450950 | 6442450950\n"), std::string::npos) << r.out;
  r = diffIn(dir, "still.wlx left.wlx");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Input differs:  frame 6442450945: record 4 | record 4, input 0x02 | 0x01\n"
                       "State differs:  frame 6442450945: x 0x406909E353F7CED2,200.3089999999998 | "
                       "0x4068F6B020C49B9E,199.70899999999978\n"),
            std::string::npos)
      << r.out;
  std::filesystem::remove_all(dir);
}

TEST(ReplayDiff, RefusesWhatItCannotCompare) {
  const std::string dir = scratchDir();
  put(dir, "a.wlx", seed36Replay());
  ReplayFixture broken = seed36Replay();
  broken.checksumDelta = 1;
  put(dir, "broken.wlx", broken);
  struct Case {
    const char* args;
    const char* error;
  } cases[] = {
      {"a.wlx broken.wlx", "replaytool: broken.wlx: File is not a valid replay\n"},
      {"broken.wlx a.wlx --json", "replaytool: broken.wlx: File is not a valid replay\n"},
      {"a.wlx missing.wlx", "replaytool: missing.wlx: No such file or directory\n"},
      {"a.wlx", "replaytool: diff needs A and B\n"},
      {"a.wlx a.wlx a.wlx", "replaytool: diff takes A and B (extra argument a.wlx)\n"},
      {"- -", "replaytool: diff: - (standard input) given more than once\n"},
      {"a.wlx a.wlx --bogus", "replaytool: diff: unknown option --bogus\n"},
      {"a.wlx a.wlx --json=1", "replaytool: diff: --json takes no value\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = diffIn(dir, c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.err, c.error) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
  }
  const RunResult help = diffIn(dir, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: replaytool diff A B [--json]\n", 0), 0u);
  std::filesystem::remove_all(dir);
}

#endif

}  // namespace
