#include "tool/game_compare.h"

#include <algorithm>

#include "sim/frame_step.h"
#include "verify/playback.h"

namespace {

// A position in a file's frames: the record being played and the frames
// left in it.
struct Cursor {
  const ReplayFile* replay;
  std::uint32_t record;
  std::uint64_t left;
  std::uint8_t input;

  void load() {
    if (record >= recordCountOf(*replay)) {
      left = 0;  // past the records: no frame is played there
      return;
    }
    const InputRecord r = recordAt(*replay, record);
    left = 1 + static_cast<std::uint64_t>(std::max(r.repeat, 0));
    input = r.input;
  }
  void advance(std::uint64_t n) {
    left -= n;
    if (left == 0) {
      ++record;
      load();
    }
  }
};

Cursor startOf(const ReplayFile& replay) {
  Cursor c{&replay, 0, 0, 0};
  c.load();
  return c;
}

struct Capture {
  GameState state;
};

bool captureAndStop(void* context, const FrameReport& report) {
  static_cast<Capture*>(context)->state = *report.state;
  return false;
}

// The state after `frame` frames of `replay` (a fresh game for 0), through
// playback's exact shortcuts; `frame` is at most the frames it plays.
GameState stateAfter(const ReplayFile& replay, std::uint64_t frame) {
  Capture capture{};
  if (frame == 0) {
    initGame(capture.state, replay.header.rejump, replay.header.seed);
    return capture.state;
  }
  PlaybackOptions options;
  options.observer = captureAndStop;
  options.context = &capture;
  options.observeFrom = frame;
  playReplayOutcome(replay, options);
  return capture.state;
}

}  // namespace

GameComparison compareGames(const ReplayFile& a, const ReplayFile& b, std::uint64_t stateFrames) {
  GameComparison c{};
  c.sameSeed = a.header.seed == b.header.seed;
  c.sameRejump = (a.header.rejump != 0) == (b.header.rejump != 0);
  c.frames[0] = playReplayOutcome(a).frames;
  c.frames[1] = playReplayOutcome(b).frames;
  const std::uint64_t both = std::min(c.frames[0], c.frames[1]);

  // Run by run: every step ends a record of one file or the other.
  Cursor ca = startOf(a), cb = startOf(b);
  std::uint64_t done = 0;
  while (done < both) {
    if (((ca.input ^ cb.input) & GAME_INPUT_BITS) != 0) {
      c.input = InputDifference{true, done + 1, {ca.record + 1, cb.record + 1}, {ca.input, cb.input}};
      break;
    }
    const std::uint64_t n = std::min({ca.left, cb.left, both - done});
    if (n == 0) break;  // cannot be: both files hold the frames they play
    done += n;
    ca.advance(n);
    cb.advance(n);
  }
  c.sharedFrames = done;
  if (!c.input.found && c.frames[0] != c.frames[1]) c.prefix = c.frames[0] < c.frames[1] ? 1 : 2;
  c.sameGame = c.sameSeed && c.sameRejump && !c.input.found && c.frames[0] == c.frames[1];

  if (!c.sameSeed || !c.sameRejump) {
    c.state.kind = StateComparison::NotCompared;
    return c;
  }
  if (!c.input.found) {
    // The same start and the same inputs: the same state on every frame.
    c.state = StateDifference{StateComparison::Same, 0, both, {}};
    return c;
  }
  // Up to the first differing input both games are one: A's state there
  // stands for both (B's header may hold another nonzero rejump, which
  // plays alike). From there, frame by frame side by side.
  GameState sa = stateAfter(a, done);
  GameState sb = sa;
  const std::uint64_t last = done + std::min(stateFrames, both - done);
  c.state = StateDifference{StateComparison::Ended, 0, last, {}};
  while (done < last) {
    stepFrame(sa, ca.input);
    stepFrame(sb, cb.input);
    ++done;
    if (!sameState(sa, sb) && firstDifferentField(sa, sb, c.state.field)) {
      c.state.kind = StateComparison::Found;
      c.state.frame = done;
      c.state.comparedTo = done;
      return c;
    }
    ca.advance(1);
    cb.advance(1);
  }
  if (last < both) c.state.kind = StateComparison::Bounded;
  return c;
}
