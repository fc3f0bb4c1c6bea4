// A differential hunt along the edges of the playback shortcuts. Games are
// built from the blocks that trigger the shortcuts (jumps on the spot, runs
// into a wall, taps that leave a small speed, steering onto a chosen pixel
// next to a wall, climbs that start combos, records around the
// fast-forward threshold), each block chosen by the next bytes of a byte
// stream: a fuzzer's input or a seeded generator's. Every game is played
// skipped and frame by frame and must agree in everything, trace windows
// included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "replay/replay_file.h"
#include "verify/playback.h"

// The bytes that choose a game's blocks; zeros once they run out.
struct HuntBytes {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;

  std::uint8_t next() { return at < size ? data[at++] : 0; }
  bool spent() const { return at >= size; }
  // A number below n (n >= 1) from the next one or two bytes.
  std::uint32_t below(std::uint32_t n) {
    const std::uint32_t v = n > 256 ? next() | static_cast<std::uint32_t>(next()) << 8 : next();
    return v % n;
  }
};

struct HuntGame {
  std::int32_t rejump = 1;
  std::uint32_t seed = 0;
  std::vector<InputRecord> records;
};

// A game built block by block from `bytes`, at most `maxFrames` frames long.
HuntGame huntGame(HuntBytes& bytes, std::uint64_t maxFrames = 300000);

// The game as a loaded replay (records owned by the result; release with
// releaseReplay) and as the bytes of a replay file.
ReplayFile huntReplay(const HuntGame& game);
std::vector<std::uint8_t> huntReplayBytes(const HuntGame& game);

// How many times each shortcut was taken, and how many of those at each of
// its edges (a wall's neighbourhood, a bound of the speed, a combo's timer
// at its ends, a record at the fast-forward threshold, ...).
struct EdgeTally {
  std::map<std::string, std::uint64_t> counts;  // "shortcut" and "shortcut: edge"
  void add(const ShortcutReport& report);
  std::string text() const;
};

// Plays `replay` skipped and frame by frame and compares the verdict, the
// frames, where the game ended, the highest floor and every field of the
// final state; then the frames a trace shows from a frame chosen by
// `traceChoice` (0: the game's last frames; else one frame among them all)
// with skipping up to there, against the same frames of the whole game.
// Returns "" when all agree, else what differs. Shortcuts taken are added
// to `tally` when given.
std::string huntCompare(const ReplayFile& replay, std::uint32_t traceChoice, EdgeTally* tally = nullptr);
