#include "verify/playback.h"

#include <algorithm>
#include <optional>

#include "sim/frame_step.h"
#include "sim/frame_variants.h"
#include "verify/coasting.h"
#include "verify/combo_countdown.h"
#include "verify/drifting_jumps.h"
#include "verify/pinned_at_wall.h"
#include "verify/repeat_finder.h"
#include "verify/speed_decay.h"

namespace {

// Records shorter than this are simulated frame by frame: looking for a
// cycle would cost more than it could save.
constexpr std::uint32_t FAST_FORWARD_MIN_FRAMES = 64;
// The repeat finder sees every this many frames: a repeat it finds is then a
// multiple of the period, which is a period too, found at most a few frames
// later, while its cost per frame shrinks to a fraction of a frame's.
constexpr std::uint32_t REPEAT_STRIDE = 4;

// While the speed is settled (see speed_decay.h) the state holds vx = 0 and
// the true speed is `from` after `frames` frames of decay.
struct OwedDecay {
  bool active = false;
  double from = 0.0;
  std::uint64_t frames = 0;
};

// While a player is pinned at a wall (see pinned_at_wall.h) the state's vx
// runs `frames` ahead of the true one, `from` at frame `at`.
struct Pin {
  bool active = false;
  double from = 0.0;
  std::uint64_t at = 0;
  std::uint32_t frames = 0;
};

// Records shorter than this are simply played: keeping one costs about as
// much as a few frames.
constexpr std::uint32_t MEMO_MIN_FRAMES = 16;

// Pinned speeds are followed this far to their limit, far beyond the eighty
// or so frames they take.
constexpr std::uint32_t PIN_LIMIT_FRAMES = 4096;

struct Player {
  PlaybackOutcome& out;
  const PlaybackOptions& options;
  OwedDecay& owed;
  RepeatFinder& history;
  std::uint32_t record;
  std::uint8_t input;
  std::uint32_t recordFrames;
  Pin pin{};

  // A copy of the state before a shortcut, only when someone is told (a
  // shortcut may be tried every few frames: nothing is copied otherwise).
  using Before = std::optional<GameState>;
  Before keepBefore() const { return options.shortcutObserver ? Before{out.finalState} : std::nullopt; }
  void report(Shortcut kind, const Before& before, std::uint64_t skipped) const {
    if (before)
      options.shortcutObserver(options.shortcutContext,
                               ShortcutReport{kind, record, recordFrames, input, skipped, &*before, &out.finalState});
  }

  // One frame; false when the game is over or the observer stopped it.
  bool step() {
    ++out.frames;
    ++out.framesSimulated;
    if (owed.active) ++owed.frames;
    GameState& state = out.finalState;
    const bool alive = stepFrame(state, input);
    if (!alive) out.died = true;
    if (state.lastFloor > out.highestFloor) out.highestFloor = state.lastFloor;
    if (options.observer && out.frames >= options.observeFrom &&
        !options.observer(options.context, FrameReport{out.frames, record, input, &state}))
      out.stopped = true;
    return alive && !out.stopped;
  }

  bool run(std::uint32_t count) {
    for (std::uint32_t n = 0; n < count; ++n)
      if (!step()) return false;
    return true;
  }

  // Takes the speed out of the state once it no longer matters.
  bool settleSpeed() {
    if (owed.active || !speedIsSettled(out.finalState, input)) return false;
    const Before before = keepBefore();
    owed = OwedDecay{true, out.finalState.vx, 0};
    out.finalState.vx = 0.0;
    report(Shortcut::SettledSpeed, before, 0);
    return true;
  }

  // Takes the speed of a player pinned at a wall to its limit; true when
  // that changed the state. Once pinned, a player stays pinned to the end
  // of the record.
  bool pinAtWall() {
    if (pin.active || !pinnedAtWall(out.finalState, input)) return false;
    const Before before = keepBefore();
    const PinnedLimit limit = pinnedLimit(out.finalState.vx, input, PIN_LIMIT_FRAMES);
    out.speedSteps += limit.frames + 2;
    pin = Pin{true, out.finalState.vx, out.frames, limit.frames};
    out.finalState.vx = limit.speed;
    report(Shortcut::PinnedAtWall, before, 0);
    return limit.frames != 0;
  }

  // The true speed again, once the pinned stretch is over.
  void unpin() {
    if (!pin.active) return;
    const std::uint64_t since = out.frames - pin.at;
    if (since < pin.frames) {
      out.finalState.vx = pinnedSpeed(pin.from, input, since);
      out.speedSteps += since;
    }
    pin = Pin{};
  }

  // Skips the whole jumps left in the record once drifting_jumps.h shows
  // they repeat with only vx decaying and, for a negative speed, x stepping
  // left: each jump steps while its first move registers and the floors and
  // the wall allow, then stays where it is (a positive speed never steps);
  // the speed is settled at a jump's end as soon as it can be, and the
  // jumps left repeat. Returns the frames skipped.
  std::uint32_t skipDecayingJumps(std::uint32_t remaining, std::uint32_t period, StepRoom room, Shortcut kind) {
    GameState& s = out.finalState;
    const Before before = keepBefore();
    const std::uint32_t cycles = remaining / period;
    std::uint32_t c = 0;
    std::int32_t moved = 0;  // pixels stepped since the second landing
    for (; c < cycles; ++c) {
      if (settleSpeed()) {
        owed.frames = static_cast<std::uint64_t>(cycles - c) * period;
        c = cycles;
        break;
      }
      // Every stretch starts at least a pixel off the left wall, whether it
      // steps or not: from x = 85 any negative speed bounces, registered
      // move or not (the wall compares the unrounded sum).
      if (!(s.x >= 86.0)) break;
      const bool steps = movePosition(s.x, steerSpeed(s.vx, input)) < s.x;
      if (steps && !(moved < room.pixels)) break;
      s.vx = decaySpeed(s.vx, period);
      out.speedSteps += period + 2;
      if (steps) {
        s.x -= 1.0;
        ++moved;
      }
    }
    runComboDown(s, static_cast<std::uint64_t>(c) * period);
    out.frames += static_cast<std::uint64_t>(c) * period;
    if (c != 0) report(kind, before, static_cast<std::uint64_t>(c) * period);
    return c * period;
  }

  // Skips the whole periods left in the record once combo_countdown.h shows
  // that they repeat with only the combo's timer running out. Returns the
  // frames skipped.
  std::uint32_t skipComboCountdown(std::uint32_t remaining, std::uint32_t period) {
    const std::uint32_t skipped = remaining - remaining % period;
    const Before before = keepBefore();
    runComboDown(out.finalState, skipped);
    out.frames += skipped;
    if (owed.active) owed.frames += skipped;
    report(Shortcut::ComboCountdown, before, skipped);
    return skipped;
  }

  // Runs the frames of a player standing while its speed decays on x and vx
  // alone (coasting.h); returns the frames run.
  std::uint32_t coast(std::uint32_t left) {
    if (owed.active) return 0;
    const Before before = keepBefore();
    const std::uint32_t n = coastOnFloor(out.finalState, input, left);
    out.frames += n;
    out.speedSteps += 2ull * n;
    if (n != 0) report(Shortcut::Coasting, before, n);
    return n;
  }

  // Fast-forward through a record, leaving the true state.
  bool runFastForward(std::uint32_t total) {
    const bool goOn = fastForward(total);
    unpin();
    return goOn;
  }

  // A record's frames, with every shortcut in its turn: each watches the
  // frames (a landing, a stride), says whether it applies, skips what it
  // may and owes what it must (see each one's header for why it is exact).
  // The repeat finder sees a repeat of any of its last states within a
  // stride of it happening; Brent's mark finds the rest.
  bool fastForward(std::uint32_t total) {
    const GameState& state = out.finalState;
    if (!settleSpeed()) pinAtWall();
    // What each shortcut watches; the states before a shortcut are not
    // iterates of the same function as those after it, so all start again.
    CycleWatch cycles;
    JumpWatch jumps;
    ComboWatch combos;
    const auto restart = [&] {
      startCycleWatch(cycles, history, state);
      jumps = JumpWatch{};
      combos = ComboWatch{};
    };
    restart();
    const bool drifting = (input & (INPUT_LEFT | INPUT_RIGHT)) == 0;  // the jump shortcuts' input
    for (std::uint32_t done = 0; done < total;) {
      const JumpState before = state.jumpState;
      const double yBefore = state.y;
      if (!step()) return false;
      ++done;
      watchJumpFrame(jumps, state, yBefore);

      // A landing ends a jump: the jump shortcuts compare it with the last one.
      if (before != JumpState::Grounded && state.jumpState == JumpState::Grounded) {
        std::uint32_t skipped = 0;
        if (drifting && !owed.active) {
          if (const std::uint32_t jump = repeatingJumpPeriod(jumps, state, done, input); jump != 0)
            skipped = skipDecayingJumps(total - done, jump, jumps.room,
                                        jumps.landing.vx < 0.0 ? Shortcut::SteppingJumps : Shortcut::DriftingJumps);
          if (skipped == 0) rememberJumpLanding(jumps, state, done);
        }
        if (skipped == 0)
          if (const std::uint32_t period = repeatingComboPeriod(combos, state, done); period != 0)
            skipped = skipComboCountdown(total - done, period);
        if (skipped != 0) {
          done += skipped;
          restart();
          continue;
        }
        rememberComboLanding(combos, state, done);
      }

      // Every stride: the speed shortcuts, then the repeat finder.
      std::uint32_t cycle = 0;
      std::uint32_t recordsBack = 0;  // the repeat's distance in the finder's records
      if (cycleStrideDue(cycles, REPEAT_STRIDE)) {
        // Looked for as seldom as the repeats: a speed settled a few frames
        // late costs those frames only.
        if (settleSpeed() || pinAtWall()) {
          restart();
          continue;
        }
        if (const std::uint32_t coasted = coast(total - done); coasted != 0) {
          done += coasted;
          settleSpeed();
          restart();
          continue;
        }
        recordsBack = recordAndFindRepeat(history, state);
        cycle = REPEAT_STRIDE * recordsBack;
      }
      if (cycle == 0) cycle = markRepeat(cycles, state);
      if (cycle != 0) return skipCycles(total - done, cycle, recordsBack);
    }
    return true;
  }

  // Playback is a pure function of state and input, so once the state after
  // some frame equals the state `cycle` frames earlier, the rest of the
  // record repeats that cycle: whole cycles are skipped and only the
  // remainder is simulated. Every state of the cycle has been seen alive,
  // so no death is skipped.
  bool skipCycles(std::uint32_t remaining, std::uint32_t cycle, std::uint32_t recordsBack) {
    const Before before = keepBefore();
    std::uint32_t left = remaining % cycle;
    std::uint32_t skipped = remaining - left;
    if (recordsBack != 0) {
      // The finder holds the cycle's states a stride apart: the one the
      // remainder leads to, but for the last few frames, is copied.
      const std::uint32_t strides = left / REPEAT_STRIDE;
      out.finalState = recordedBefore(history, recordsBack - strides);
      skipped += strides * REPEAT_STRIDE;
      left -= strides * REPEAT_STRIDE;
    }
    out.frames += skipped;
    if (owed.active) owed.frames += skipped;
    report(Shortcut::Cycle, before, skipped);
    return run(left);
  }
};

// Frames one record lasts: 1 + repeat, just 1 when repeat is 0 or negative.
std::uint32_t framesOf(InputRecord record) {
  return record.repeat > 0 ? static_cast<std::uint32_t>(record.repeat) + 1u : 1u;
}

}  // namespace

PlaybackOutcome playReplayOutcome(const ReplayFile& replay, const PlaybackOptions& options) {
  PlaybackOutcome out{};
  if (options.start != nullptr)
    out.finalState = *options.start;
  else
    initGame(out.finalState, replay.header.rejump, replay.header.seed);
  OwedDecay owed;
  RepeatFinder history;
  RecordMemo ownMemo;
  RecordMemo& memo = options.memo != nullptr ? *options.memo : ownMemo;

  const std::uint32_t count = recordCountOf(replay);
  std::uint32_t i = 0;
  while (i < count) {
    if (options.progress != nullptr && i % PROGRESS_RECORDS == 0) options.progress(options.progressContext, i, count);
    const InputRecord record = recordAt(replay, i);
    if (record.input & END_MARKER) break;
    if (owed.active && !speedIsSettled(out.finalState, record.input)) {
      // Only a direction key ends the settled stretch; it needs the owed
      // decay only until the speed is too small to change its ±0.3.
      out.finalState.vx = decaySpeedForKey(owed.from, owed.frames);
      owed = OwedDecay{};
    }
    const std::uint32_t total = framesOf(record);
    Player player{out, options, owed, history, i, record.input, total};
    out.lastRecordStart = out.frames;
    // Frames of this record before the first one observed may be skipped.
    const std::uint64_t unobserved = options.observer == nullptr ? total
                                     : options.observeFrom > out.frames + 1
                                         ? std::min<std::uint64_t>(total, options.observeFrom - 1 - out.frames)
                                         : 0;
    const auto quick = static_cast<std::uint32_t>(options.fastForward ? unobserved : 0);
    // A record played unobserved from a state it was played from before
    // leads where it led then (record_memo.h); only one that lived through
    // all its frames is kept. Its floors were counted when it was played.
    const bool memoized = quick == total && total >= MEMO_MIN_FRAMES;
    const RecordKey key = memoized ? RecordKey{out.finalState, owed.active, record.input, total} : RecordKey{};
    if (memoized)
      if (const RecordResult* kept = findRecord(memo, key)) {
        const Player::Before before = player.keepBefore();
        out.finalState = kept->end;
        if (owed.active)
          owed.frames += total;
        else
          owed = OwedDecay{kept->owing, kept->owedFrom, kept->owedFrames};
        out.frames += total;
        player.report(Shortcut::RepeatedRecord, before, total);
        if (options.digest != nullptr) addGameFrames(*options.digest, record.input, total);
        ++i;
        continue;
      }
    // A settled speed is taken out of the state at every record start, so
    // that short records do not run on a speed that no longer matters
    // (decayed into the subnormals, where arithmetic can be a hundred
    // times slower); long ones look for it again as they go.
    if (quick != 0) player.settleSpeed();
    bool goOn = quick >= FAST_FORWARD_MIN_FRAMES ? player.runFastForward(quick) : player.run(quick);
    if (memoized && goOn) keepRecord(memo, key, RecordResult{out.finalState, owed.active, owed.from, owed.frames});
    if (goOn && quick < total) {
      // An observer sees the true speed of every frame it is shown.
      if (owed.active) {
        out.finalState.vx = decaySpeed(owed.from, owed.frames);
        owed = OwedDecay{};
      }
      goOn = player.run(total - quick);
    }
    if (options.digest != nullptr) addGameFrames(*options.digest, record.input, out.frames - out.lastRecordStart);
    ++i;
    if (!goOn) break;
  }
  if (owed.active)
    out.finalState.vx =
        options.speedAsAKeySeesIt ? decaySpeedForKey(owed.from, owed.frames) : decaySpeed(owed.from, owed.frames);

  out.recordsPlayed = i;
  if (out.stopped && !out.died) return out;  // an unfinished game has no verdict
  // Only a record that exists is inspected. A death in the last record has
  // nothing after it; a genuine recording always ends with its marker, so
  // that counts as invalid.
  out.markerFollows = i < count && (recordAt(replay, i).input & END_MARKER) != 0;
  out.valid = out.died && out.markerFollows;
  return out;
}

bool playReplay(const ReplayFile& replay) { return playReplayOutcome(replay).valid; }

bool stoppedAtMarker(const ReplayFile& replay, const PlaybackOutcome& outcome) {
  return outcome.recordsPlayed < recordCountOf(replay);
}

bool claimsMatch(const ReplayHeader& header, const PlaybackOutcome& outcome) {
  return header.floor == outcome.highestFloor && header.combo == outcome.finalState.bestCombo;
}
