// Replaying a loaded recording through the simulation and judging it.
#pragma once

#include <cstdint>

#include "replay/replay_file.h"
#include "sim/game_state.h"
#include "verify/game_digest.h"
#include "verify/record_memo.h"

// One simulated frame, as reported to an observer.
struct FrameReport {
  std::uint64_t frame;   // counting from 1
  std::uint32_t record;  // index of the record being played, from 0
  std::uint8_t input;
  const GameState* state;  // after the frame
};

// Returns false to stop playback after this frame.
using FrameObserver = bool (*)(void* context, const FrameReport& report);

// The shortcuts playback takes through long records (each file in
// src/verify says why it is exact), as reported to a shortcut observer.
enum class Shortcut : std::uint8_t {
  Cycle,           // a repeated state: whole cycles skipped
  SettledSpeed,    // the speed taken out of the state (speed_decay.h)
  PinnedAtWall,    // a pinned speed taken to its limit (pinned_at_wall.h)
  Coasting,        // a standing player's decay run on x and vx (coasting.h)
  DriftingJumps,   // jumps on the spot with a positive speed (drifting_jumps.h)
  SteppingJumps,   // jumps stepping left with a negative speed (drifting_jumps.h)
  ComboCountdown,  // jumps repeating while a combo runs out (combo_countdown.h)
  RepeatedRecord,  // a record played before from the same state (record_memo.h)
};
inline constexpr int SHORTCUT_KINDS = 8;

struct ShortcutReport {
  Shortcut kind;
  std::uint32_t record;        // index of the record being played
  std::uint32_t recordFrames;  // its length in frames
  std::uint8_t input;          // its input
  std::uint64_t framesSkipped;  // 0 for the shortcuts that only change how the speed is kept
  const GameState* before;      // the state it was taken from
  const GameState* after;       // the state it led to, the speed as playback keeps it
};

using ShortcutObserver = void (*)(void* context, const ShortcutReport& report);

// Told the records played so far and the file's record count.
using ProgressObserver = void (*)(void* context, std::uint32_t recordsPlayed, std::uint32_t recordCount);
// Records between two progress reports.
inline constexpr std::uint32_t PROGRESS_RECORDS = 1024;

struct PlaybackOptions {
  // Skip whole cycles of a long record once its state repeats. The verdict
  // and final state are exactly those of frame-by-frame playback.
  bool fastForward = true;
  // Called after every frame from `observeFrom` on (frames count from 1);
  // from there every frame is simulated, while the frames before it may be
  // skipped like any others.
  FrameObserver observer = nullptr;
  void* context = nullptr;
  std::uint64_t observeFrom = 1;
  // Called before the first record and after every PROGRESS_RECORDS.
  ProgressObserver progress = nullptr;
  void* progressContext = nullptr;
  // Called each time a shortcut is taken; for tests and studies of them.
  ShortcutObserver shortcutObserver = nullptr;
  void* shortcutContext = nullptr;
  // Play from this state instead of a fresh game of the header's seed and
  // rejump: for tests of states no recording reaches in reasonable time.
  const GameState* start = nullptr;
  // Given the frames each record played, when set (started by the caller).
  GameDigest* digest = nullptr;
  // The records kept for playing again (record_memo.h), the caller's when
  // set, to be shared by playbacks of parts of one game; else its own.
  RecordMemo* memo = nullptr;
  // The final state's speed when its decay is owed (speed_decay.h): false,
  // the game's own; true, a value below TINY_SPEED once the decay is there
  // (decaySpeedForKey), which a caller that only plays on from
  // the state may take: from either state every later frame gives the same
  // state but for the speed, both below TINY_SPEED, until a direction key
  // makes both the same ±0.3. It saves the walk to the decay's rest,
  // thousands of frames, the last of them in the subnormals.
  bool speedAsAKeySeesIt = false;
};

struct PlaybackOutcome {
  bool valid;
  bool died;                    // the player dropped off the screen
  std::uint32_t recordsPlayed;  // records simulated; the game ended in the last of them when died
  std::uint64_t frames;         // frames played (skipped cycles included)
  std::uint64_t framesSimulated;  // frames actually stepped: the cost of the verdict
  std::uint64_t speedSteps;       // decay steps run for skipped frames, each a small part of a frame's cost
  std::uint64_t lastRecordStart;  // frames simulated before the last record played began
  bool stopped;                 // the observer ended playback early
  bool markerFollows;           // the record after the last one played is the end marker
  std::int32_t highestFloor;    // highest floor number landed on
  GameState finalState;
};

// Plays every record from a fresh game and reports what happened.
PlaybackOutcome playReplayOutcome(const ReplayFile& replay, const PlaybackOptions& options = {});

// True when the game ends during a record that the end marker follows.
bool playReplay(const ReplayFile& replay);

// For a game that did not end: true when playback stopped at the end
// marker, false when the records ran out (playback stops early only at a
// marker).
bool stoppedAtMarker(const ReplayFile& replay, const PlaybackOutcome& outcome);

// True when the header claims exactly what the game reached: its floor is
// the highest floor landed on and its combo the best combo. (The score's
// formula is not part of the model: a claimed score is never checked.)
bool claimsMatch(const ReplayHeader& header, const PlaybackOutcome& outcome);
