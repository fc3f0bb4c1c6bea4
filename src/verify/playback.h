// Replaying a loaded recording through the simulation and judging it.
#pragma once

#include <cstdint>

#include "replay/replay_file.h"
#include "sim/game_state.h"

// One simulated frame, as reported to an observer.
struct FrameReport {
  std::uint64_t frame;   // counting from 1
  std::uint32_t record;  // index of the record being played, from 0
  std::uint8_t input;
  const GameState* state;  // after the frame
};

// Returns false to stop playback after this frame.
using FrameObserver = bool (*)(void* context, const FrameReport& report);

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
