// The C API: both entry points load into a ReplayFile and meet in
// checkLoaded, the one path from a loaded replay to a result.
#include "api/runaudit.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "replay/replay_file.h"
#include "api/result_facts.h"
#include "sim/fpu_mode.h"
#include "sim/frame_variants.h"
#include "verify/playback.h"
#include "view/view_data.h"

static_assert(sizeof(runaudit_header::signature) == sizeof(ReplayHeader::signature));
static_assert(sizeof(runaudit_header::name) == sizeof(ReplayHeader::playerName));
static_assert(sizeof(runaudit_header::date) == sizeof(ReplayHeader::date));

namespace {

// The loader's messages are compared as text: a literal's address may
// differ between translation units.
int loadErrorOf(const char* message) {
  if (std::strcmp(message, MSG_OPEN_FAILED) == 0) return RUNAUDIT_OPEN_FAILED;
  if (std::strcmp(message, MSG_READ_FAILED) == 0) return RUNAUDIT_READ_FAILED;
  if (std::strcmp(message, MSG_NO_MEMORY) == 0) return RUNAUDIT_NO_MEMORY;
  return RUNAUDIT_NOT_A_REPLAY;
}

int failed(runaudit_result& result, int loadError) {
  result = runaudit_result{};
  result.verdict = RUNAUDIT_ERROR;
  result.loadError = loadError;
  result.error = runaudit_load_error_message(loadError);
  return RUNAUDIT_ERROR;
}

runaudit_header publicHeader(const ReplayHeader& h) {
  runaudit_header out{};
  std::memcpy(out.signature, h.signature, sizeof out.signature);
  out.recordCount = h.recordCount;
  std::memcpy(out.name, h.playerName, sizeof out.name);
  std::memcpy(out.date, h.date, sizeof out.date);
  out.score = h.score;
  out.floor = h.floor;
  out.combo = h.combo;
  out.rejump = h.rejump;
  out.seed = h.seed;
  out.checksum = h.checksum;
  return out;
}

void describe(const ReplayFile& replay, const PlaybackOutcome& o, runaudit_result& result) {
  result = runaudit_result{};
  result.verdict = o.valid ? RUNAUDIT_VALID : RUNAUDIT_INVALID;
  result.loadError = RUNAUDIT_LOADED;
  result.header = publicHeader(replay.header);
  result.frames = o.frames;
  if (o.died) {
    result.ended = runaudit_end{o.frames, o.recordsPlayed, o.frames - o.lastRecordStart};
    result.markerFollows = o.markerFollows ? 1 : 0;
  } else {
    result.aliveAt = stoppedAtMarker(replay, o) ? RUNAUDIT_ALIVE_AT_END_MARKER : RUNAUDIT_ALIVE_AT_END_OF_RECORDS;
  }
  result.endMarkerRecord = firstEndMarker(replay);
  result.highestFloor = o.highestFloor;
  result.bestCombo = o.finalState.bestCombo;
  result.comboScore = o.finalState.comboScore;
  result.speedLevel = o.finalState.speedLevel;
  result.claims = claimsMatch(replay.header, o) ? RUNAUDIT_CLAIMS_MATCH : RUNAUDIT_CLAIMS_DIFFER;
}

// Plays a loaded replay in the game's floating-point mode, the caller's
// mode put back afterwards, and releases it.
int checkLoaded(ReplayFile& replay, runaudit_result& result, const PlaybackOptions& options = {}) {
  const FloatingPointMode callers = enterGameMode();
  int verdict = RUNAUDIT_ERROR;
  try {
    describe(replay, playReplayOutcome(replay, options), result);
    verdict = result.verdict;
  } catch (...) {
    // Playback throws nothing but bad_alloc, and nothing crosses the API.
    verdict = failed(result, RUNAUDIT_NO_MEMORY);
  }
  leaveGameMode(callers);
  releaseReplay(replay);
  return verdict;
}

// Hands text over as malloc'd memory, freed by runaudit_free.
int handOver(const std::string& text, char** out, size_t* length) {
  *out = static_cast<char*>(std::malloc(text.size() + 1));
  if (*out == nullptr) return -1;
  std::memcpy(*out, text.c_str(), text.size() + 1);
  if (length != nullptr) *length = text.size();
  return 0;
}

}  // namespace

extern "C" {

const char* runaudit_version(void) { return RUNAUDIT_VERSION; }

int runaudit_version_number(void) { return RUNAUDIT_VERSION_NUMBER; }

int runaudit_set_arithmetic(const char* name) {
  FramePath path{};
  if (!framePathNamed(name, path)) return -1;
  useFramePath(path);
  return 0;
}

int runaudit_check_bytes(const void* bytes, size_t size, runaudit_result* result) {
  return runaudit_check_bytes_progress(bytes, size, result, nullptr, nullptr);
}

int runaudit_check_bytes_progress(const void* bytes, size_t size, runaudit_result* result, runaudit_progress progress,
                                  void* context) {
  if (result == nullptr) return RUNAUDIT_ERROR;
  ReplayFile replay{};
  if (const char* message = loadReplayBytes(static_cast<const std::uint8_t*>(bytes), size, replay))
    return failed(*result, loadErrorOf(message));
  PlaybackOptions options;
  options.progress = progress;
  options.progressContext = context;
  return checkLoaded(replay, *result, options);
}

int runaudit_result_json(const runaudit_result* result, char** json, size_t* length) {
  if (json == nullptr) return -1;
  *json = nullptr;
  if (result == nullptr) return -1;
  try {
    return handOver(resultJson(*result), json, length);
  } catch (...) {
    return -1;
  }
}

int runaudit_view_bytes(const void* bytes, size_t size, char** json, size_t* length) {
  if (json == nullptr) return RUNAUDIT_ERROR;
  *json = nullptr;
  ReplayFile replay{};
  if (loadReplayBytes(static_cast<const std::uint8_t*>(bytes), size, replay) != nullptr) return RUNAUDIT_ERROR;
  const FloatingPointMode callers = enterGameMode();
  int verdict = RUNAUDIT_ERROR;
  try {
    const ReplayView view = viewReplay(replay);
    const std::string overview = overviewSvg(view);
    if (handOver(viewJson(view, &overview), json, length) == 0) verdict = view.verdict.valid ? RUNAUDIT_VALID : RUNAUDIT_INVALID;
  } catch (...) {
    // Out of memory: no text, and nothing crosses the API.
  }
  leaveGameMode(callers);
  releaseReplay(replay);
  return verdict;
}

void runaudit_free(void* memory) { std::free(memory); }

int runaudit_check_file(const char* path, runaudit_result* result) {
  if (result == nullptr) return RUNAUDIT_ERROR;
  if (path == nullptr) return failed(*result, RUNAUDIT_OPEN_FAILED);
  ReplayFile replay{};
  if (const char* message = loadReplay(path, replay)) return failed(*result, loadErrorOf(message));
  return checkLoaded(replay, *result);
}

const char* runaudit_load_error_message(int loadError) {
  switch (loadError) {
    case RUNAUDIT_OPEN_FAILED: return MSG_OPEN_FAILED;
    case RUNAUDIT_NOT_A_REPLAY: return MSG_NOT_A_REPLAY;
    case RUNAUDIT_READ_FAILED: return MSG_READ_FAILED;
    case RUNAUDIT_NO_MEMORY: return MSG_NO_MEMORY;
    default: return nullptr;
  }
}

const char* runaudit_verdict_name(int verdict) {
  switch (verdict) {
    case RUNAUDIT_VALID: return "valid";
    case RUNAUDIT_INVALID: return "invalid";
    case RUNAUDIT_ERROR: return "error";
    default: return nullptr;
  }
}

const char* runaudit_claims_name(int claims) {
  switch (claims) {
    case RUNAUDIT_CLAIMS_MATCH: return "match";
    case RUNAUDIT_CLAIMS_DIFFER: return "differ";
    default: return nullptr;
  }
}

const char* runaudit_alive_at_name(int aliveAt) {
  switch (aliveAt) {
    case RUNAUDIT_ALIVE_AT_END_MARKER: return "end marker";
    case RUNAUDIT_ALIVE_AT_END_OF_RECORDS: return "records exhausted";
    default: return nullptr;
  }
}

}  // extern "C"
