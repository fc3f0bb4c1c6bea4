// The windows of edges already analysed, so that an edge met again in the
// same circumstances is not replayed again. An edge's window, the sides'
// ends and its outcome are a function of the state R + 1 frames before it
// (or the game's start, nearer than that), which key it is, and the inputs
// from that state's frame to the last one any moved run may step
// (F + R + H): every run starts from a state those inputs lead to, and
// every offset tried or refused depends only on them (another edge of the
// key within reach is among them, and frame 0 is where the game starts). Crafted files repeat a block whose
// states come round again; each distinct edge then costs its runs once.
#pragma once

#include <cstdint>
#include <vector>

#include "evidence/evidence.h"
#include "sim/game_state.h"

struct WindowKey {
  GameState start;   // after frame `base`
  std::uint8_t bit;  // the key's input bit
  // The inputs of frames base ... F + R + H as (keys, frames) runs; frame
  // 0's input is none held. Their length tells the edge's distance from
  // `base` (R + 1, or F when the game's start is nearer).
  std::vector<std::pair<std::uint8_t, std::uint64_t>> inputs;
};

struct EdgeWindow {
  std::int32_t lo, hi;
  WindowEnd loEnd, hiEnd;
  EdgeOutcome outcome;
};

// Set-associative as the record memo is: four places per key, the set
// chosen by the state and key alone, so that an edge whose state no kept
// edge had is known new before its inputs are gathered.
struct WindowMemo {
  static constexpr std::uint32_t SETS = 64;  // a power of two
  static constexpr std::uint32_t WAYS = 4;
  struct Entry {
    std::uint64_t stateHash = 0;  // of start and bit
    std::uint64_t tag = 0;        // of the whole key, odd; 0 for an empty entry
    WindowKey key{};
    EdgeWindow window{};
  };
  std::vector<Entry> entries = std::vector<Entry>(SETS * WAYS);
  std::uint8_t nextWay[SETS] = {};
};

// The hash of a key's state and bit, which the calls below take.
std::uint64_t windowStateHash(const GameState& start, std::uint8_t bit);
// False when no edge kept had this state and key (its inputs are not needed).
bool mayHoldState(const WindowMemo& memo, std::uint64_t stateHash);
// The window kept for `key`, or null.
const EdgeWindow* findWindow(const WindowMemo& memo, std::uint64_t stateHash, const WindowKey& key);
void keepWindow(WindowMemo& memo, std::uint64_t stateHash, const WindowKey& key, const EdgeWindow& window);
