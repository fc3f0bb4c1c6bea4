#include "support/edge_hunt.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "climber.h"
#include "support/replay_builder.h"
#include "sim/frame_step.h"
#include "verify/speed_decay.h"

namespace {

// Builds the records of a game while playing them, so that the blocks can
// steer by the state they reach.
struct Builder {
  HuntGame game;
  GameState s{};
  bool alive = true;
  std::uint64_t frames = 0;
  std::uint64_t maxFrames;
  bool open = false;  // a record is being extended frame by frame
  InputRecord pending{};

  bool full() const { return !alive || frames >= maxFrames; }

  // One frame, merged into the open record when its input is the same.
  void frame(std::uint8_t input) {
    if (open && pending.input == input) {
      ++pending.repeat;
    } else {
      close();
      pending = {0, input};
      open = true;
    }
    alive = stepFrame(s, input);
    ++frames;
  }

  void close() {
    if (open) game.records.push_back(pending);
    open = false;
  }

  // A record of its own, `length` frames long (cut to the frame budget).
  void record(std::uint8_t input, std::uint64_t length) {
    close();
    length = std::max<std::uint64_t>(1, std::min(length, maxFrames - std::min(frames, maxFrames)));
    game.records.push_back({static_cast<std::int32_t>(length - 1), input});
    for (std::uint64_t n = 0; n < length && alive; ++n) {
      alive = stepFrame(s, input);
      ++frames;
    }
  }
};

// Record lengths around the thresholds and periods the shortcuts know.
std::uint64_t lengthOf(HuntBytes& b) {
  switch (b.below(9)) {
    case 0: return 1 + b.below(8);
    case 1: return 60 + b.below(12);  // the fast-forward threshold, 64 frames
    case 2: return 95 + b.below(12);  // a combo's 100 frames
    case 3: return 120 + b.below(400);
    case 4: return 500 + b.below(3000);
    case 5: return 3000 + b.below(8000);  // speeds settling, decays reaching their fixed point
    case 6: return 20000 + 3ull * b.below(60000);
    default: return 28 + b.below(40);  // a jump or two
  }
}

std::uint8_t directionOf(HuntBytes& b) { return b.next() & 1 ? INPUT_LEFT : INPUT_RIGHT; }

// Steers onto pixel `target`, stopping when it stands there nearly still.
void steer(Builder& g, std::int32_t target, std::uint8_t jump) {
  const double goal = target + 0.5;
  for (int n = 0; n < 400 && !g.full(); ++n) {
    if (static_cast<std::int32_t>(g.s.x) == target && std::fabs(g.s.vx) < 0.05) break;
    const double stop = g.s.x + 9.0 * g.s.vx;  // where the decay alone would leave it
    const std::uint8_t key = stop < goal - 0.4 ? INPUT_RIGHT : stop > goal + 0.4 ? INPUT_LEFT : 0;
    g.frame(static_cast<std::uint8_t>(key | jump));
  }
  g.close();
}

// Steers onto a chosen pixel: next to either wall or under a foot at a
// floor's end.
void aim(Builder& g, HuntBytes& b) {
  std::int32_t target;
  switch (b.below(3)) {
    case 0: target = 85 + static_cast<std::int32_t>(b.below(12)); break;
    case 1: target = 555 - static_cast<std::int32_t>(b.below(12)); break;
    default: {
      const FloorBand band = findFloorBand(g.s, static_cast<std::int32_t>(g.s.y));
      if (!band.found) return;
      const std::int32_t end = b.next() & 1 ? band.leftPx : band.rightPx;
      target = end + (b.next() & 1 ? FOOT_OFFSET : -FOOT_OFFSET) + static_cast<std::int32_t>(b.below(5)) - 2;
      target = std::clamp(target, 85, 555);
    }
  }
  steer(g, target, b.below(4) == 0 ? INPUT_JUMP : 0);
}

// Jumps on the spot a few pixels from a wall, with a small speed toward it
// from a tap of the key: the jump shortcuts walk or drift up to the wall.
void jumpsNextToAWall(Builder& g, HuntBytes& b) {
  const bool left = (b.next() & 1) != 0;
  steer(g, left ? 85 + static_cast<std::int32_t>(b.below(10)) : 555 - static_cast<std::int32_t>(b.below(5)), 0);
  if (const std::uint32_t still = b.below(40); still != 0) g.record(0, still);
  g.record(static_cast<std::uint8_t>((left ? INPUT_LEFT : INPUT_RIGHT) | (b.next() & 1 ? INPUT_JUMP : 0)), 1 + b.below(2));
  g.record(INPUT_JUMP, lengthOf(b));
}

// The climber's steering for a while: landings on higher floors, combos,
// scrolling. Without rejump the key is let go on the ground to jump again.
void climb(Builder& g, std::uint64_t length) {
  for (std::uint64_t n = 0; n < length && !g.full(); ++n) {
    std::uint8_t input = climbInput(g.s);
    if (g.s.rejump == 0 && g.s.jumpLatch != 0 && g.s.jumpState == JumpState::Grounded) input &= ~INPUT_JUMP;
    g.frame(input);
  }
  g.close();
}

void block(Builder& g, HuntBytes& b) {
  // Bits without effect now and then: they change no state, but the input.
  const auto stray = [&b] { return static_cast<std::uint8_t>(b.below(8) == 0 ? 0x24 : 0); };
  switch (b.below(12)) {
    case 0: climb(g, 20 + b.below(400)); break;
    case 1: g.record(static_cast<std::uint8_t>(directionOf(b) | (b.next() & 1 ? INPUT_JUMP : 0)), 10 + b.below(150)); break;
    case 2: aim(g, b); break;
    case 3: g.record(static_cast<std::uint8_t>(directionOf(b) | (b.next() & 1 ? INPUT_JUMP : 0)), 1 + b.below(3)); break;
    case 4: g.record(stray(), lengthOf(b)); break;
    case 5: g.record(INPUT_JUMP | stray(), lengthOf(b)); break;
    case 6: g.record(static_cast<std::uint8_t>(INPUT_JUMP | directionOf(b)), lengthOf(b)); break;
    case 7: g.record(directionOf(b), lengthOf(b)); break;
    case 8: {
      constexpr std::uint8_t keys[] = {0x00, 0x01, 0x02, 0x10, 0x11, 0x12, 0x03, 0x13};
      g.record(static_cast<std::uint8_t>(keys[b.below(8)] | stray()), 62 + b.below(5));
      break;
    }
    case 9:  // to the next landing, so that the next record starts on it
      for (int n = 0; n < 80 && !g.full(); ++n) {
        const JumpState before = g.s.jumpState;
        g.frame(INPUT_JUMP);
        if (before != JumpState::Grounded && g.s.jumpState == JumpState::Grounded) break;
      }
      g.close();
      break;
    case 10: jumpsNextToAWall(g, b); break;
    default: g.record(INPUT_JUMP, 1 + b.below(40)); break;
  }
}

}  // namespace

HuntGame huntGame(HuntBytes& bytes, std::uint64_t maxFrames) {
  Builder g;
  g.maxFrames = maxFrames;
  g.game.rejump = bytes.below(4) != 0 ? 1 : 0;
  for (int k = 0; k < 4; ++k) g.game.seed = g.game.seed << 8 | bytes.next();
  initGame(g.s, g.game.rejump, g.game.seed);
  for (int blocks = 0; blocks < 24 && !bytes.spent() && !g.full(); ++blocks) block(g, bytes);
  g.close();
  // Mostly an end marker right after the death or the last record; now and
  // then a record in its place.
  g.game.records.push_back(bytes.below(8) == 0 ? InputRecord{0, INPUT_JUMP} : InputRecord{0, END_MARKER});
  return g.game;
}

namespace {

ReplayFixture fixtureOf(const HuntGame& game) {
  ReplayFixture fixture;
  fixture.name = "hunt";
  fixture.date = "edge";
  fixture.rejump = game.rejump;
  fixture.seed = game.seed;
  fixture.records = game.records;
  return fixture;
}

}  // namespace

std::vector<std::uint8_t> huntReplayBytes(const HuntGame& game) { return buildReplayBytes(fixtureOf(game)); }

ReplayFile huntReplay(const HuntGame& game) { return buildReplay(fixtureOf(game)); }

void EdgeTally::add(const ShortcutReport& r) {
  static const char* const names[SHORTCUT_KINDS] = {"cycle",         "settled speed",  "pinned at a wall",
                                                    "coasting",      "drifting jumps", "stepping jumps",
                                                    "combo countdown", "repeated record"};
  const std::string name = names[static_cast<int>(r.kind)];
  ++counts[name];
  const auto edge = [&](const char* what, bool reached) {
    if (reached) ++counts[name + ": " + what];
  };
  const GameState& b = *r.before;
  const GameState& a = *r.after;
  const auto within = [](double x, double lo, double hi) { return x >= lo && x <= hi; };
  switch (r.kind) {
    case Shortcut::Cycle:
      edge("record of 64-66 frames", r.recordFrames <= 66);
      edge("at a wall", b.x == 85.0 || b.x == 555.0);
      edge("combo running", b.comboTimer != 0);
      edge("climb begun", b.scrolled > 100);
      break;
    case Shortcut::SettledSpeed: {
      const double speed = std::fabs(b.vx);
      edge("x 85-86 or 554-555", within(b.x, 85.0, 87.0) || within(b.x, 554.0, 555.0));
      edge("speed above half its bound", speed >= TINY_SPEED && speed > settledSpeedAt(b.x) / 2);
      edge("speed below 2^-58", speed < TINY_SPEED);
      edge("x within a pixel of 129, 257 or 513", within(b.x, 128.0, 130.0) || within(b.x, 256.0, 258.0) || within(b.x, 512.0, 514.0));
      break;
    }
    case Shortcut::PinnedAtWall:
      edge("left wall", b.x < 300.0);
      edge("right wall", b.x >= 300.0);
      edge("jump key held", (r.input & INPUT_JUMP) != 0);
      break;
    case Shortcut::Coasting:
      edge("ended next to a wall", within(a.x, 85.0, 88.0) || within(a.x, 552.0, 555.0));
      edge("speed settled after it", std::fabs(a.vx) <= settledSpeedAt(a.x));
      break;
    case Shortcut::DriftingJumps:
      edge("from x 85-87", within(b.x, 85.0, 87.0));
      edge("from x 553-554", within(b.x, 553.0, 554.0));
      edge("combo running", b.comboTimer != 0);
      edge("speed settled on the way", a.vx == 0.0);
      break;
    case Shortcut::SteppingJumps:
      edge("from x 86-88", within(b.x, 86.0, 88.0));
      edge("stopped at x 86", a.x == 86.0);
      edge("did not step", a.x == b.x);
      edge("combo running", b.comboTimer != 0);
      edge("speed settled on the way", a.vx == 0.0);
      break;
    case Shortcut::ComboCountdown:
      edge("timer ran out", a.comboTimer == 0);
      edge("timer left at 1", a.comboTimer == 1);
      edge("scored", a.comboScore != b.comboScore);
      edge("at a wall", b.x == 85.0 || b.x == 555.0);
      break;
    case Shortcut::RepeatedRecord:
      edge("record under 64 frames", r.recordFrames < 64);
      edge("speed settled", b.vx == 0.0);
      edge("combo running", b.comboTimer != 0);
      edge("climb begun", b.scrolled > 100);
      break;
  }
}

std::string EdgeTally::text() const {
  std::string out;
  for (const auto& [what, n] : counts) out += "  " + what + ": " + std::to_string(n) + "\n";
  return out;
}

namespace {

struct Seen {
  std::uint64_t frame;
  std::uint32_t record;
  std::uint8_t input;
  GameState state;
};

// The frames from `from` on, at most `limit` of them; `stop` ends playback
// once the window is full (as a trace does), else it plays on.
struct Window {
  std::uint64_t from;
  std::size_t limit;
  bool stop;
  std::vector<Seen> seen;
};

bool keepFrame(void* context, const FrameReport& r) {
  auto& w = *static_cast<Window*>(context);
  if (r.frame >= w.from && w.seen.size() < w.limit) w.seen.push_back({r.frame, r.record, r.input, *r.state});
  return !w.stop || w.seen.size() < w.limit;
}

void tallyShortcut(void* context, const ShortcutReport& r) { static_cast<EdgeTally*>(context)->add(r); }

std::string describe(const GameState& s) {
  std::ostringstream o;
  o.precision(17);
  o << "x " << s.x << " y " << s.y << " vx " << s.vx << " vy " << s.vy << " jump " << static_cast<int>(s.jumpState)
    << " timer " << s.comboTimer << " floor " << s.lastFloor;
  return o.str();
}

}  // namespace

std::string huntCompare(const ReplayFile& replay, std::uint32_t traceChoice, EdgeTally* tally) {
  constexpr std::size_t WINDOW = 6;
  PlaybackOptions quick;
  if (tally) {
    quick.shortcutObserver = tallyShortcut;
    quick.shortcutContext = tally;
  }
  const PlaybackOutcome b = playReplayOutcome(replay, quick);
  const std::uint64_t traceFrom = traceChoice == 0 ? (b.frames > WINDOW ? b.frames - WINDOW + 1 : 1)
                                                   : 1 + traceChoice % std::max<std::uint64_t>(b.frames, 1);

  Window whole{traceFrom, WINDOW, false, {}};
  PlaybackOptions slow;
  slow.fastForward = false;
  slow.observer = keepFrame;
  slow.context = &whole;
  const PlaybackOutcome a = playReplayOutcome(replay, slow);

  std::ostringstream why;
  if (a.valid != b.valid) why << "verdict " << a.valid << " vs " << b.valid << "; ";
  if (a.died != b.died) why << "died " << a.died << " vs " << b.died << "; ";
  if (a.frames != b.frames) why << "frames " << a.frames << " vs " << b.frames << "; ";
  if (a.recordsPlayed != b.recordsPlayed) why << "records " << a.recordsPlayed << " vs " << b.recordsPlayed << "; ";
  if (a.markerFollows != b.markerFollows) why << "marker; ";
  if (a.highestFloor != b.highestFloor) why << "highest floor " << a.highestFloor << " vs " << b.highestFloor << "; ";
  if (!sameState(a.finalState, b.finalState))
    why << "final state " << describe(a.finalState) << " vs " << describe(b.finalState) << "; ";
  if (b.framesSimulated > a.framesSimulated) why << "skipping simulated more frames; ";

  Window trace{traceFrom, WINDOW, true, {}};
  PlaybackOptions from;
  from.observer = keepFrame;
  from.context = &trace;
  from.observeFrom = traceFrom;
  playReplayOutcome(replay, from);
  if (trace.seen.size() != whole.seen.size()) {
    why << "trace from " << traceFrom << " shows " << trace.seen.size() << " frames, not " << whole.seen.size() << "; ";
  } else {
    for (std::size_t k = 0; k < trace.seen.size(); ++k) {
      const Seen& p = whole.seen[k];
      const Seen& q = trace.seen[k];
      if (p.frame != q.frame || p.record != q.record || p.input != q.input || !sameState(p.state, q.state)) {
        why << "trace from " << traceFrom << " differs at frame " << p.frame << ": " << describe(p.state) << " vs "
            << describe(q.state) << "; ";
        break;
      }
    }
  }
  return why.str();
}
