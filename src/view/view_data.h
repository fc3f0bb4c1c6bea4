// What the replay viewer draws: the exactly simulated game as per-frame
// columns, with the verdict and the claims, for the pages of
// `replaytool view` and for the library's callers (the web page among
// them). The viewer draws what is stored here and never simulates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replay/replay_file.h"
#include "verify/playback.h"

// Frames kept for a page: a million frames (about 4.6 hours of play at
// 60 frames per second) make a page of a few megabytes at most.
inline constexpr std::uint64_t MAX_VIEW_FRAMES = 1000000;

// Per-frame columns, frame 0 being the fresh game.
struct ViewColumns {
  std::vector<std::int32_t> x, y, scrolled, jump, input, record, speed, combo, floor, best, score;
  std::vector<std::int32_t> floorLeft, floorRight;  // per floor number, as generated
};

struct ReplayView {
  ReplayHeader header;
  ViewColumns columns;
  PlaybackOutcome verdict;  // of the whole file, however many frames are kept
  std::uint32_t markerRecord;  // first end marker, from 1; 0 for none
  bool cut;                    // the game lasts longer than the frames kept
  const char* aliveAt;         // "", "end marker" or "records exhausted"
};

// Plays a loaded replay frame by frame, keeping up to MAX_VIEW_FRAMES.
// Call in the game's floating-point mode. May throw bad_alloc.
ReplayView viewReplay(const ReplayFile& replay);

// The whole climb at a glance as SVG: height over time, the screen's
// bottom edge, landings, scored combos and the end.
std::string overviewSvg(const ReplayView& view);

// The viewer's data as JSON; with `overview`, it carries the SVG too (as
// "overview"). Safe inside a script element: "<" never appears raw.
std::string viewJson(const ReplayView& view, const std::string* overview);
