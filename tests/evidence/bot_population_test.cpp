// The planner's games (bench/bot_planner.h), which the populations of
// docs/evidence.md are made of: each is a replay runaudit itself calls
// valid, written as the game's recorder writes, and the timing error makes
// frame-perfect edges rarer, the property the populations are there to show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bot_planner.h"
#include "evidence/evidence.h"
#include "evidence/file_facts.h"
#include "support/replay_builder.h"
#include "support/run_program.h"

namespace {

const char* const VALID_TAIL = "\nPlaying the replay to check it's validity...\nReplay is valid\n";

TEST(EvidenceBots, GamesAreGenuineAndTimingErrorLowersTheShare) {
  double share[2] = {0.0, 0.0};
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    for (const std::int32_t error : {0, 2}) {
      BotOptions o;
      o.seed = seed;
      o.maxFrames = 1500;  // short games: then no key until the fall
      o.timingError = error;
      o.errorSeed = 0x5EED0000ull + seed;
      const BotGame g = playBot(o);
      const std::string what = "seed " + std::to_string(seed) + " error " + std::to_string(error);
      ASSERT_TRUE(g.died) << what;
      const std::vector<std::uint8_t> bytes = botReplayBytes(g);
      const std::string path = writeTempFile("bot_" + std::to_string(seed) + "_" + std::to_string(error), bytes);
      const RunResult r = runProgram(std::string(RUNAUDIT_BINARY) + " " + shellQuote(path));
      EXPECT_EQ(r.status, 0) << what;
      ASSERT_GE(r.out.size(), std::string(VALID_TAIL).size()) << what;
      EXPECT_EQ(r.out.substr(r.out.size() - std::string(VALID_TAIL).size()), VALID_TAIL) << what;

      ReplayFile replay{};
      ASSERT_EQ(loadReplayBytes(bytes.data(), bytes.size(), replay), nullptr) << what;
      const FileFacts facts = fileFacts(replay, bytes.size());
      EXPECT_EQ(facts.sameInputAdjacent.count, 0u) << what;
      EXPECT_EQ(facts.framesAfterEnd.count, 0u) << what;
      EXPECT_EQ(facts.recordsAfterMarker.count, 0u) << what;
      EXPECT_FALSE(facts.claimsDiffer) << what;
      const Evidence ev = analyseEvidence(replay, bytes.size());
      EXPECT_EQ(ev.gameFrames, g.game.inputs.size()) << what;
      ASSERT_GT(ev.summary.decisive, 20u) << what;
      share[error != 0] += static_cast<double>(ev.summary.framePerfect) / static_cast<double>(ev.summary.decisive);
    }
  }
  EXPECT_LT(share[1], share[0]) << "mean shares " << share[1] / 4 << " (error) vs " << share[0] / 4 << " (exact)";
}

}  // namespace
