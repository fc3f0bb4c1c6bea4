// The differential hunt along the shortcuts' edges (support/edge_hunt.h),
// and the games it found stored as regression inputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

#include "support/edge_hunt.h"

namespace {

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

}  // namespace

TEST(EdgeHunt, SkippingAgreesWithEveryFrameAlongTheShortcutsEdges) {
  // RUNAUDIT_HUNT_GAMES games (a longer hunt in CI); a disagreement is
  // written to RUNAUDIT_HUNT_FINDS, when set, to be kept among the finds.
  const std::uint64_t games = fromEnvironment("RUNAUDIT_HUNT_GAMES", 400);
  const std::uint64_t seed = fromEnvironment("RUNAUDIT_HUNT_SEED", 20261209);
  const char* finds = std::getenv("RUNAUDIT_HUNT_FINDS");
  EdgeTally tally;
  std::uint64_t failures = 0;
  for (std::uint64_t n = 0; n < games && failures < 5; ++n) {
    std::mt19937_64 rng(seed * 1000003 + n);
    std::vector<std::uint8_t> bytes(24 + rng() % 48);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(rng());
    HuntBytes source{bytes.data(), bytes.size()};
    const HuntGame game = huntGame(source);
    ReplayFile replay = huntReplay(game);
    const std::string why = huntCompare(replay, static_cast<std::uint32_t>(n % 3 == 0 ? 0 : rng()), &tally);
    releaseReplay(replay);
    if (why.empty()) continue;
    ++failures;
    ADD_FAILURE() << "game " << n << " (seed " << seed << "): " << why;
    if (finds != nullptr) {
      const std::vector<std::uint8_t> file = huntReplayBytes(game);
      std::ofstream(std::string(finds) + "/hunt-" + std::to_string(seed) + "-" + std::to_string(n) + ".wlx", std::ios::binary)
          .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
  }
  std::cout << "Shortcuts taken, and at their edges, in " << games << " games:\n" << tally.text();
  // The hunt is only as good as the edges it reaches: each shortcut, and
  // the wall edges of the jump shortcuts, must have been met.
  for (const char* edge : {"cycle", "settled speed", "pinned at a wall", "coasting", "drifting jumps", "stepping jumps",
                           "combo countdown", "stepping jumps: from x 86-88", "drifting jumps: from x 553-554",
                           "cycle: record of 64-66 frames", "combo countdown: timer ran out"})
    EXPECT_GT(tally.counts[edge], 0u) << edge << ": never reached";
}

TEST(EdgeHunt, StoredFindsAgreeSkippedAndFrameByFrame) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(RUNAUDIT_EDGE_FINDS)) {
    ReplayFile replay{};
    ASSERT_EQ(loadReplay(entry.path().string().c_str(), replay), nullptr) << entry.path();
    for (const std::uint32_t choice : {0u, 1u, 977u, 4093u, 65521u})
      EXPECT_EQ(huntCompare(replay, choice), "") << entry.path() << ", trace choice " << choice;
    releaseReplay(replay);
    ++files;
  }
  EXPECT_GT(files, 0);
}
