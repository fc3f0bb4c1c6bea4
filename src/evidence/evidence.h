// Timing evidence: for every key press and release of a played game, how
// far it could have moved and still given the same next landing. The
// definitions (docs/evidence.md) are the contract; every number here can be
// recomputed from them with nothing but the frame step.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "replay/replay_file.h"
#include "verify/playback.h"

enum class EvidenceKey : std::uint8_t { Left = 0, Right = 1, Jump = 2 };
inline constexpr int EVIDENCE_KEYS = 3;

// Why one side of a window ends.
enum class WindowEnd : std::uint8_t {
  Outcome,  // the next offset gives another outcome
  Edge,     // the next offset is not made (another edge of the key, or before frame 1)
  Reach,    // the next offset is beyond the reach
};

enum class OutcomeKind : std::uint8_t { Floor, Dies, None };
struct EdgeOutcome {
  OutcomeKind kind = OutcomeKind::None;
  std::int32_t floor = 0;  // for Floor: lastFloor after the landing
};
inline bool operator==(EdgeOutcome a, EdgeOutcome b) {
  return a.kind == b.kind && (a.kind != OutcomeKind::Floor || a.floor == b.floor);
}

struct EvidenceEdge {
  std::uint64_t frame;   // counting from 1
  std::uint32_t record;  // the record in effect at that frame, counting from 1
  EvidenceKey key;
  bool press;
  std::int32_t lo;
  std::int32_t hi;
  WindowEnd loEnd;
  WindowEnd hiEnd;
  EdgeOutcome outcome;  // under offset 0, the recorded one
};

inline bool isDecisive(const EvidenceEdge& e) { return e.loEnd == WindowEnd::Outcome || e.hiEnd == WindowEnd::Outcome; }
inline bool isFramePerfect(const EvidenceEdge& e) { return isDecisive(e) && e.lo == 0 && e.hi == 0; }

struct EvidenceOptions {
  std::int32_t reach = 8;     // R
  std::int32_t horizon = 600;  // H
  std::uint32_t maxEdges = 20000;
  // Frames stepped in all (the game once, then the counterfactual runs);
  // 0: evidenceFrameBudget of the file's size.
  std::uint64_t frameBudget = 0;
  // Play long stretches between edges with playback's exact shortcuts
  // (off: frame by frame, for tests that compare the two).
  bool skipStretches = true;
  // End a moved run where its state meets the recorded run's (off: every
  // run to its outcome, for tests that compare the two).
  bool meetRecorded = true;
  // Give an edge met again from the same state with the same inputs around
  // it the window found the first time (window_memo.h; off: every edge
  // replayed, for tests that compare the two).
  bool reuseWindows = true;
};

inline constexpr std::int32_t MAX_EVIDENCE_REACH = 64;
inline constexpr std::int32_t MAX_EVIDENCE_HORIZON = 100000;

// The frames a file of `fileBytes` may cost: a fixed allowance for any
// file, and a share per byte that keeps a crafted file near a second per
// megabyte (docs/evidence.md).
std::uint64_t evidenceFrameBudget(std::uint64_t fileBytes);

// Counts of values: value -> how many times.
using Histogram = std::map<std::uint64_t, std::uint64_t>;

struct KeyRhythm {
  std::uint64_t presses = 0;
  Histogram durations;        // frames held, press to release
  Histogram gaps;             // frames released between a release and the next press
  std::uint64_t shortestGap = 0;  // 0 when there is no gap
};

struct EvidenceSummary {
  std::uint64_t edges = 0;
  std::uint64_t decisive = 0;
  std::uint64_t framePerfect = 0;
  Histogram widths;  // hi - lo + 1 of decisive edges
  std::uint64_t longestRun = 0;  // consecutive decisive edges, all frame-perfect
  std::uint64_t runFirstFrame = 0;
  std::uint64_t runLastFrame = 0;
  KeyRhythm keys[EVIDENCE_KEYS];
  std::uint64_t leftAndRight = 0;  // frames of the game with both held
  double modelLog10 = 0.0;         // see docs/evidence.md
};

enum class EvidenceCut : std::uint8_t {
  None,
  Edges,   // more than maxEdges edges
  Frames,  // the frame budget ran out
};

struct Evidence {
  std::int32_t reach = 0;
  std::int32_t horizon = 0;
  std::uint64_t gameFrames = 0;  // frames of the played game (to its end, or as far as analysed)
  bool died = false;
  bool valid = false;  // the replay's verdict
  PlaybackOutcome played{};  // the whole game, as playback judged it
  std::uint64_t edgesInGame = 0;  // edges found up to where analysis stopped, analysed or not
  EvidenceCut cut = EvidenceCut::None;
  std::uint64_t cutAtFrame = 0;  // the first frame not analysed, when cut
  std::uint64_t framesStepped = 0;
  std::vector<EvidenceEdge> edges;  // by frame, then left, right, jump
  EvidenceSummary summary;
};

// The model figure's model, stated wherever the figure is shown.
inline constexpr const char* EVIDENCE_MODEL_TEXT =
    "log10 of the probability that a player whose timing error is uniform over the offsets -2..2 hits every "
    "decisive window";

// The key bit of an input byte.
std::uint8_t keyBit(EvidenceKey key);
const char* keyName(EvidenceKey key);
const char* windowEndName(WindowEnd end);

// The frame inputs a replay's records define: record j's input bits (left,
// right, jump) for its 1 + repeat frames, up to the first end marker; no
// key is held after them.
struct InputTimeline {
  struct Run {
    std::uint64_t first;  // first frame, counting from 1
    std::uint64_t frames;
    std::uint8_t keys;
    std::uint32_t record;  // counting from 1
  };
  std::vector<Run> runs;
  std::uint64_t frames = 0;  // total
};
InputTimeline inputTimeline(const ReplayFile& replay);
// The run holding `frame`, or runs.size() past the end; `hint` is where to
// start looking (runs are searched forward from it, then by halving).
std::size_t runAt(const InputTimeline& timeline, std::uint64_t frame, std::size_t hint = 0);

// The whole analysis of a loaded replay, `fileBytes` long in all.
Evidence analyseEvidence(const ReplayFile& replay, std::uint64_t fileBytes, const EvidenceOptions& options = {});
