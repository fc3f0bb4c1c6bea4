// The repeat finder must report exactly the distance back to an equal state,
// nearly always at its first recurrence (a hash collision may hide one), for
// the periods its window holds, and nothing across a new stretch.
#include <gtest/gtest.h>

#include <vector>

#include "support/sim_helpers.h"
#include "verify/repeat_finder.h"

namespace {

// Distinct states of one game: the frame parity and position change every frame.
std::vector<GameState> distinctStates(std::size_t count) {
  std::vector<GameState> states;
  GameState s = freshGame(11, 1);
  while (states.size() < count) {
    stepFrame(s, states.size() % 97 < 60 ? 0x12 : 0x11);
    states.push_back(s);
  }
  return states;
}

TEST(RepeatFinder, ReportsEachPeriodAtItsFirstRecurrence) {
  const std::vector<GameState> states = distinctStates(300 + RepeatFinder::WINDOW + 3);
  RepeatFinder finder;
  int onTime = 0, cycles = 0;
  for (const std::uint32_t lead : {0u, 5u, 300u})
    for (std::uint32_t period = 1; period <= RepeatFinder::WINDOW + 2; ++period) {
      // A lead-in of states never seen again, then a cycle, from state `lead` on.
      startStretch(finder, states[0]);
      std::uint32_t found = 0, at = 0;
      for (std::uint32_t n = 1; n < lead + 3 * period && found == 0; ++n) {
        const std::uint32_t index = n < lead + period ? n : lead + (n - lead) % period;
        found = recordAndFindRepeat(finder, states[index]);
        at = n;
      }
      if (period < RepeatFinder::WINDOW) {
        ASSERT_EQ(found, period) << "lead " << lead;
        ++cycles;
        onTime += at == lead + period;
      } else {
        EXPECT_EQ(found, 0u) << "period " << period << " is beyond the window";
      }
    }
  EXPECT_GE(onTime, cycles * 9 / 10);
  // States of an earlier stretch are not repeats.
  startStretch(finder, states[1]);
  EXPECT_EQ(recordAndFindRepeat(finder, states[0]), 0u);
  EXPECT_EQ(recordAndFindRepeat(finder, states[1]), 2u);
}

}  // namespace
