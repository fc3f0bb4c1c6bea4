#include "evidence/evidence.h"

#include <algorithm>
#include <cmath>

#include "evidence/window_memo.h"
#include "sim/frame_step.h"
#include "verify/playback.h"

namespace {

// Any file may cost this many frames, and each byte this many more: some
// 2 s per MB at 40 million frames a second. A climbing game needs about 71
// a byte (its 10-minute game of 11,763 bytes, 832,447 frames).
constexpr std::uint64_t BASE_FRAME_BUDGET = 250'000;
constexpr std::uint64_t FRAMES_PER_BYTE = 80;

struct EdgeAt {
  std::uint64_t frame;
  std::uint32_t record;
  EvidenceKey key;
  bool press;
};

// Every edge of the timeline, by frame then key, and per key their frames.
struct EdgeList {
  std::vector<EdgeAt> all;
  std::vector<std::uint64_t> ofKey[EVIDENCE_KEYS];
};

EdgeList listEdges(const InputTimeline& timeline) {
  EdgeList list;
  std::uint8_t previous = 0;
  for (const InputTimeline::Run& run : timeline.runs) {
    for (int k = 0; k < EVIDENCE_KEYS; ++k) {
      const std::uint8_t bit = keyBit(static_cast<EvidenceKey>(k));
      if (((run.keys ^ previous) & bit) == 0) continue;
      list.all.push_back({run.first, run.record, static_cast<EvidenceKey>(k), (run.keys & bit) != 0});
      list.ofKey[k].push_back(run.first);
    }
    previous = run.keys;
  }
  return list;
}

struct Analyser {
  const InputTimeline& timeline;
  std::int32_t reach;
  std::int32_t horizon;
  std::vector<GameState> ring;  // the state after frame n at n % size
  std::uint64_t budget;
  bool meetRecorded = true;  // EvidenceOptions::meetRecorded
  std::uint64_t stepped = 0;
  bool exhausted = false;  // a run was refused: it could have passed the budget

  // The recorded run of the edge being analysed (offset 0): its outcome,
  // and its states after frames F ... F + reach that came before the frame
  // that decided it, for moved runs to meet.
  EdgeOutcome recorded{};
  std::vector<GameState> recordedStates{};

  const GameState& after(std::uint64_t frame) const { return ring[frame % ring.size()]; }

  // The outcome of the edge of `bit` at `frame` moved by `d`: the override
  // holds the key at `value` over frames [from, to].
  EdgeOutcome outcome(std::uint64_t frame, std::uint8_t bit, bool wasOn, std::int32_t d) {
    std::uint64_t from = frame, to = 0;  // an empty range when d = 0
    bool value = false;
    if (d > 0) {
      to = frame + static_cast<std::uint64_t>(d) - 1;
      value = wasOn;
    } else if (d < 0) {
      from = frame - static_cast<std::uint64_t>(-d);
      to = frame - 1;
      value = !wasOn;
    }
    const std::uint64_t start = d < 0 ? from : frame;
    const std::uint64_t watchAfter = d > 0 ? frame + static_cast<std::uint64_t>(d) : frame;
    const std::uint64_t last = watchAfter + static_cast<std::uint64_t>(horizon);
    // A run is made only when all its frames fit in the budget.
    if (exhausted || last - start + 1 > budget - stepped) {
      exhausted = true;
      return {};
    }
    if (d == 0) recordedStates.clear();
    // A moved run that meets the recorded one: after frame watchAfter (the
    // moved frames behind it) its state is the recorded run's after the
    // same frame, and the inputs from there on are the same, so every later
    // state is too. Neither run ended up to there (the recorded one decides
    // later, as that state was kept; the moved one would have returned, and
    // counts no landing before watchAfter + 1), so the moved run's outcome
    // is the recorded one's frame and kind, which lies within its horizon:
    // watchAfter + H >= F + H. Not so for none: a later horizon might see a
    // landing, so a run moved later than F goes on.
    const bool mayMeet = meetRecorded && d != 0 && watchAfter - frame < recordedStates.size() &&
                         (recorded.kind != OutcomeKind::None || d < 0);
    GameState state = after(start - 1);
    std::size_t run = runAt(timeline, start);
    EdgeOutcome result{OutcomeKind::None, 0};
    for (std::uint64_t f = start; f <= last; ++f) {
      while (run < timeline.runs.size() && f >= timeline.runs[run].first + timeline.runs[run].frames) ++run;
      std::uint8_t input = run < timeline.runs.size() ? timeline.runs[run].keys : 0;
      if (d != 0 && f >= from && f <= to) input = value ? (input | bit) : (input & ~bit);
      const JumpState before = state.jumpState;
      ++stepped;
      if (!stepFrame(state, input)) {
        result = {OutcomeKind::Dies, 0};
        break;
      }
      if (f > watchAfter && (before == JumpState::Falling || before == JumpState::Airborne) &&
          state.jumpState == JumpState::Grounded) {
        result = {OutcomeKind::Floor, state.lastFloor};
        break;
      }
      if (d == 0 && f - frame <= static_cast<std::uint64_t>(reach)) recordedStates.push_back(state);
      if (mayMeet && f == watchAfter && sameState(state, recordedStates[f - frame])) return recorded;
    }
    if (d == 0) recorded = result;
    return result;
  }
};

// Stretches longer than this between the states an analysis needs are
// played by playback, shortcuts and all, rather than frame by frame. Its
// setup costs some hundred frames; a stretch played before from the same
// state costs nothing (the record memo is shared by the stretches).
constexpr std::uint64_t SKIP_FRAMES = 1024;

// Plays frames from+1 .. to of the timeline from `state` (the state after
// frame `from`) with playReplayOutcome, which gives exactly the state of
// frame-by-frame play but for a settled speed, given as a direction key
// sees it (every outcome after it is the game's); returns its cost in
// frames stepped (at least 1), or 0 when playback did not reach frame `to`
// alive.
std::uint64_t skipTo(const ReplayFile& replay, const InputTimeline& timeline, GameState& state, std::uint64_t from,
                     std::uint64_t to, RecordMemo& memo) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = runAt(timeline, from + 1); i < timeline.runs.size(); ++i) {
    const InputTimeline::Run& r = timeline.runs[i];
    if (r.first > to) break;
    const std::uint64_t first = std::max(r.first, from + 1), last = std::min(r.first + r.frames - 1, to);
    bytes.resize(bytes.size() + INPUT_RECORD_SIZE);
    encodeRecord({static_cast<std::int32_t>(last - first), r.keys}, bytes.data() + bytes.size() - INPUT_RECORD_SIZE);
  }
  ReplayFile slice{replay.header, bytes.data(), nullptr};
  slice.header.recordCount = static_cast<std::int32_t>(bytes.size() / INPUT_RECORD_SIZE);
  PlaybackOptions options;
  options.start = &state;
  options.memo = &memo;
  // Only the outcomes of frames played on from the state are wanted, and
  // those the speed as a direction key sees it gives exactly.
  options.speedAsAKeySeesIt = true;
  const PlaybackOutcome out = playReplayOutcome(slice, options);
  if (out.died || out.frames != to - from) return 0;
  state = out.finalState;
  return std::max<std::uint64_t>(out.framesSimulated, 1);
}

// What an edge's window depends on (window_memo.h): the state after frame
// `base`, its key and the inputs of frames base ... edge + reach + horizon,
// equal runs merged.
void windowKeyOf(const InputTimeline& timeline, const GameState& start, std::uint64_t base, std::uint64_t edge,
                 std::uint8_t bit, std::uint64_t span, WindowKey& key) {
  key.start = start;
  key.bit = bit;
  key.inputs.clear();
  const auto add = [&](std::uint8_t keys, std::uint64_t frames) {
    if (!key.inputs.empty() && key.inputs.back().first == keys)
      key.inputs.back().second += frames;
    else
      key.inputs.emplace_back(keys, frames);
  };
  const std::uint64_t last = edge + span;
  std::uint64_t f = base;
  if (f == 0) {  // no key is held at frame 0
    add(0, 1);
    f = 1;
  }
  for (std::size_t r = runAt(timeline, f); f <= last; ++r) {
    if (r >= timeline.runs.size()) {  // nor after the records
      add(0, last - f + 1);
      break;
    }
    const InputTimeline::Run& run = timeline.runs[r];
    const std::uint64_t end = std::min(run.first + run.frames - 1, last);
    add(run.keys, end - f + 1);
    f = end + 1;
  }
}

// At least the runs of input frames from .. to hold (runs of equal keys
// count apart).
std::uint64_t runsBetween(const InputTimeline& timeline, std::uint64_t from, std::uint64_t to) {
  if (timeline.frames == 0 || from >= timeline.frames) return 1;
  const std::size_t first = runAt(timeline, std::max<std::uint64_t>(from, 1));
  const std::size_t last = runAt(timeline, std::min(to, timeline.frames));
  return last - first + 1;
}

// log10(k / 5) for k = 0 ... 5 as constants: C libraries round log10 of
// these differently in the last bit (0.6 is one), and the figure is to be
// the same from every build, the WebAssembly one included. These are the
// values glibc gives, each within a unit in the last place of the truth.
constexpr double MODEL_TERMS[6] = {-HUGE_VAL, -0x1.65df657b04300p-1, -0x1.977d95ec10c02p-2,
                                   -0x1.c658a32216008p-3, -0x1.8cf183886480bp-4, 0.0};

double modelTerm(const EvidenceEdge& e) {
  int inside = 0;
  for (int o = -2; o <= 2; ++o)
    if (o >= e.lo && o <= e.hi) ++inside;
  return MODEL_TERMS[inside];
}

void summarise(Evidence& ev, const InputTimeline& timeline) {
  EvidenceSummary& s = ev.summary;
  s.edges = ev.edges.size();
  std::uint64_t run = 0, runFirst = 0;
  std::uint64_t lastPress[EVIDENCE_KEYS] = {}, lastRelease[EVIDENCE_KEYS] = {};
  bool held[EVIDENCE_KEYS] = {}, released[EVIDENCE_KEYS] = {};
  for (const EvidenceEdge& e : ev.edges) {
    if (isDecisive(e)) {
      ++s.decisive;
      ++s.widths[static_cast<std::uint64_t>(e.hi - e.lo + 1)];
      s.modelLog10 += modelTerm(e);
      if (isFramePerfect(e)) {
        ++s.framePerfect;
        if (run++ == 0) runFirst = e.frame;
        if (run > s.longestRun) {
          s.longestRun = run;
          s.runFirstFrame = runFirst;
          s.runLastFrame = e.frame;
        }
      } else {
        run = 0;
      }
    }
    const int k = static_cast<int>(e.key);
    KeyRhythm& r = s.keys[k];
    if (e.press) {
      ++r.presses;
      if (released[k]) {
        const std::uint64_t gap = e.frame - lastRelease[k];
        ++r.gaps[gap];
        if (r.shortestGap == 0 || gap < r.shortestGap) r.shortestGap = gap;
      }
      held[k] = true;
      lastPress[k] = e.frame;
    } else {
      if (held[k]) ++r.durations[e.frame - lastPress[k]];
      held[k] = false;
      released[k] = true;
      lastRelease[k] = e.frame;
    }
  }
  const std::uint64_t end = ev.cut != EvidenceCut::None ? ev.cutAtFrame - 1 : ev.gameFrames;
  for (const InputTimeline::Run& r : timeline.runs) {
    if (r.first > end) break;
    if ((r.keys & (INPUT_LEFT | INPUT_RIGHT)) == (INPUT_LEFT | INPUT_RIGHT))
      s.leftAndRight += std::min(r.frames, end - r.first + 1);
  }
  if (s.modelLog10 == 0.0) s.modelLog10 = 0.0;  // no -0
}

}  // namespace

std::uint8_t keyBit(EvidenceKey key) {
  switch (key) {
    case EvidenceKey::Left: return INPUT_LEFT;
    case EvidenceKey::Right: return INPUT_RIGHT;
    case EvidenceKey::Jump: return INPUT_JUMP;
  }
  return 0;
}

const char* keyName(EvidenceKey key) {
  switch (key) {
    case EvidenceKey::Left: return "left";
    case EvidenceKey::Right: return "right";
    case EvidenceKey::Jump: return "jump";
  }
  return "?";
}

const char* windowEndName(WindowEnd end) {
  switch (end) {
    case WindowEnd::Outcome: return "outcome";
    case WindowEnd::Edge: return "edge";
    case WindowEnd::Reach: return "reach";
  }
  return "?";
}

std::uint64_t evidenceFrameBudget(std::uint64_t fileBytes) {
  return BASE_FRAME_BUDGET + FRAMES_PER_BYTE * std::min<std::uint64_t>(fileBytes, UINT64_MAX / (2 * FRAMES_PER_BYTE));
}

InputTimeline inputTimeline(const ReplayFile& replay) {
  InputTimeline t;
  const std::uint32_t count = recordCountOf(replay);
  for (std::uint32_t j = 0; j < count; ++j) {
    const InputRecord r = recordAt(replay, j);
    if ((r.input & END_MARKER) != 0) break;
    const std::uint64_t frames = 1 + static_cast<std::uint64_t>(std::max<std::int32_t>(r.repeat, 0));
    t.runs.push_back({t.frames + 1, frames, static_cast<std::uint8_t>(r.input & GAME_INPUT_BITS), j + 1});
    t.frames += frames;
  }
  return t;
}

std::size_t runAt(const InputTimeline& timeline, std::uint64_t frame, std::size_t hint) {
  const auto& runs = timeline.runs;
  if (hint < runs.size() && runs[hint].first <= frame) {
    for (std::size_t i = hint; i < runs.size() && i < hint + 4; ++i)
      if (frame < runs[i].first + runs[i].frames) return i;
  }
  // The last run starting at or before the frame.
  auto it = std::upper_bound(runs.begin(), runs.end(), frame,
                             [](std::uint64_t f, const InputTimeline::Run& r) { return f < r.first; });
  if (it == runs.begin()) return runs.size();
  const std::size_t i = static_cast<std::size_t>(it - runs.begin()) - 1;
  return frame < runs[i].first + runs[i].frames ? i : runs.size();
}

Evidence analyseEvidence(const ReplayFile& replay, std::uint64_t fileBytes, const EvidenceOptions& options) {
  Evidence ev;
  ev.reach = std::clamp(options.reach, 0, MAX_EVIDENCE_REACH);
  ev.horizon = std::clamp(options.horizon, 1, MAX_EVIDENCE_HORIZON);
  const std::uint64_t budget = options.frameBudget != 0 ? options.frameBudget : evidenceFrameBudget(fileBytes);
  // Where the game ends, with playback's shortcuts: the analysis itself
  // only steps as far as the last edge it looks at.
  const PlaybackOutcome played = playReplayOutcome(replay);
  ev.gameFrames = played.frames;
  ev.died = played.died;
  ev.valid = played.valid;
  ev.played = played;

  const InputTimeline timeline = inputTimeline(replay);
  const EdgeList list = listEdges(timeline);
  Analyser a{timeline, ev.reach, ev.horizon, std::vector<GameState>(static_cast<std::size_t>(ev.reach) + 2), budget,
             options.meetRecorded};
  GameState state;
  initGame(state, replay.header.rejump, replay.header.seed);
  a.ring[0] = state;
  std::uint64_t at = 0;  // the state is the one after this frame
  std::size_t run = 0;
  std::size_t position[EVIDENCE_KEYS] = {};  // index of the current edge in ofKey
  WindowMemo memo;
  WindowKey seen;  // the edge's, its inputs' storage reused
  RecordMemo stretches;  // shared by the stretches' playbacks

  for (const EdgeAt& edge : list.all) {
    if (edge.frame > ev.gameFrames) break;
    ++ev.edgesInGame;
    const int k = static_cast<int>(edge.key);
    const std::size_t index = position[k]++;
    if (ev.cut != EvidenceCut::None) continue;
    if (ev.edges.size() >= options.maxEdges) {
      ev.cut = EvidenceCut::Edges;
      ev.cutAtFrame = edge.frame;
      continue;
    }
    // A long stretch without edges is played with playback's exact
    // shortcuts, up to the states the edge's runs start from.
    const std::uint64_t keep = static_cast<std::uint64_t>(ev.reach) + 1;
    if (options.skipStretches && edge.frame - 1 - at > SKIP_FRAMES + keep) {
      const std::uint64_t to = edge.frame - 1 - keep;
      const std::uint64_t cost = skipTo(replay, timeline, state, at, to, stretches);
      if (cost == 0 || cost > budget - a.stepped) {  // 0: playback did not get there
        ev.cut = EvidenceCut::Frames;
        ev.cutAtFrame = edge.frame;
        continue;
      }
      a.stepped += cost;
      at = to;
      a.ring[at % a.ring.size()] = state;
    }
    if (edge.frame - 1 - at > budget - a.stepped) {
      ev.cut = EvidenceCut::Frames;
      ev.cutAtFrame = edge.frame;
      continue;
    }
    // The game up to the frame before the edge, its last states kept.
    while (at + 1 < edge.frame) {
      ++at;
      run = runAt(timeline, at, run);
      ++a.stepped;
      stepFrame(state, run < timeline.runs.size() ? timeline.runs[run].keys : 0);
      a.ring[at % a.ring.size()] = state;
    }
    const std::uint8_t bit = keyBit(edge.key);
    EvidenceEdge e{edge.frame, edge.record, edge.key, edge.press, 0, 0, WindowEnd::Reach, WindowEnd::Reach, {}};
    // The earliest state a moved run starts from, kept in the ring.
    const std::uint64_t base = edge.frame > keep ? edge.frame - keep : 0;
    const std::uint64_t steppedBefore = a.stepped;
    const std::uint64_t stateHash = options.reuseWindows ? windowStateHash(a.after(base), bit) : 0;
    const std::uint64_t span = keep - 1 + static_cast<std::uint64_t>(ev.horizon);
    bool keyed = false;  // `seen` holds this edge's key
    if (options.reuseWindows && mayHoldState(memo, stateHash)) {
      windowKeyOf(timeline, a.after(base), base, edge.frame, bit, span, seen);
      keyed = true;
      if (const EdgeWindow* w = findWindow(memo, stateHash, seen)) {
        e.lo = w->lo;
        e.hi = w->hi;
        e.loEnd = w->loEnd;
        e.hiEnd = w->hiEnd;
        e.outcome = w->outcome;
        ev.edges.push_back(e);
        continue;
      }
    }
    const std::vector<std::uint64_t>& same = list.ofKey[k];
    const std::uint64_t previous = index > 0 ? same[index - 1] : 0;  // frame 0 bounds like an edge
    const std::uint64_t next = index + 1 < same.size() ? same[index + 1] : UINT64_MAX;
    const bool wasOn = !edge.press;
    e.outcome = a.outcome(edge.frame, bit, wasOn, 0);
    for (std::int32_t d = -1;; --d) {
      if (d < -ev.reach) { e.loEnd = WindowEnd::Reach; break; }
      const std::uint64_t back = static_cast<std::uint64_t>(-d);
      if (back >= edge.frame || edge.frame - back <= previous) { e.loEnd = WindowEnd::Edge; break; }
      if (!(a.outcome(edge.frame, bit, wasOn, d) == e.outcome)) { e.loEnd = WindowEnd::Outcome; break; }
      e.lo = d;
    }
    for (std::int32_t d = 1;; ++d) {
      if (d > ev.reach) { e.hiEnd = WindowEnd::Reach; break; }
      if (edge.frame + static_cast<std::uint64_t>(d) >= next) { e.hiEnd = WindowEnd::Edge; break; }
      if (!(a.outcome(edge.frame, bit, wasOn, d) == e.outcome)) { e.hiEnd = WindowEnd::Outcome; break; }
      e.hi = d;
    }
    if (a.exhausted) {  // this edge's window is not known: the analysis ends before it
      ev.cut = EvidenceCut::Frames;
      ev.cutAtFrame = edge.frame;
      continue;
    }
    // Kept only when its runs cost more frames than its key holds runs: the
    // edges among one-frame records cost a few frames each, and gathering
    // hundreds of runs for each would cost more than it saves.
    if (options.reuseWindows && a.stepped - steppedBefore > runsBetween(timeline, base, edge.frame + span)) {
      if (!keyed) windowKeyOf(timeline, a.after(base), base, edge.frame, bit, span, seen);
      keepWindow(memo, stateHash, seen, EdgeWindow{e.lo, e.hi, e.loEnd, e.hiEnd, e.outcome});
    }
    ev.edges.push_back(e);
  }
  ev.framesStepped = a.stepped;
  summarise(ev, timeline);
  return ev;
}
