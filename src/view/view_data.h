// What the replay viewer draws: the exactly simulated game as per-frame
// columns, with the verdict and the claims, for the pages of
// `replaytool view` and for the library's callers (the web page among
// them). The viewer draws what is stored here and never simulates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "evidence/evidence.h"
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
  // The timing evidence with the analysis's own defaults and bounds; only
  // the edges within the frames kept, which the timeline can show.
  Evidence evidence;
};

// Plays a loaded replay frame by frame, keeping up to MAX_VIEW_FRAMES, and
// analyses its edges (`fileBytes`: the whole file's size, which sets the
// analysis's frame budget). Call in the game's floating-point mode. May
// throw bad_alloc.
ReplayView viewReplay(const ReplayFile& replay, std::uint64_t fileBytes);

// The whole climb at a glance as SVG: height over time, the screen's
// bottom edge, landings, scored combos and the end.
std::string overviewSvg(const ReplayView& view);

// The viewer's data as JSON; with `overview`, it carries the SVG too (as
// "overview"). Safe inside a script element: "<" never appears raw.
std::string viewJson(const ReplayView& view, const std::string* overview);

// The edges as the viewer's data holds them: per edge, seven zig-zag
// varints (frame and record, each a delta from the previous edge's; key *
// 2 + press; lo; hi; loEnd * 3 + hiEnd; the outcome's floor, or -1 for
// dies and -2 for none), the bytes in base64.
std::string encodeEdges(const std::vector<EvidenceEdge>& edges);
