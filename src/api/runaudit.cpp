// The C API: both entry points load into a ReplayFile and meet in
// checkLoaded, the one path from a loaded replay to a result.
#include "api/runaudit.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "replay/replay_file.h"
#include "api/result_facts.h"
#include "evidence/evidence.h"
#include "evidence/evidence_json.h"
#include "evidence/file_facts.h"
#include "sim/fpu_mode.h"
#include "sim/frame_variants.h"
#include "verify/game_digest.h"
#include "verify/playback.h"
#include "view/view_data.h"

static_assert(sizeof(runaudit_header::signature) == sizeof(ReplayHeader::signature));
static_assert(sizeof(runaudit_header::name) == sizeof(ReplayHeader::playerName));
static_assert(sizeof(runaudit_header::date) == sizeof(ReplayHeader::date));
static_assert(sizeof(runaudit_result::gameDigest) == sizeof(Sha256Digest));

namespace {

int loadErrorOf(LoadFailure failure) {
  switch (failure) {
    case LoadFailure::None: return RUNAUDIT_LOADED;
    case LoadFailure::OpenFailed: return RUNAUDIT_OPEN_FAILED;
    case LoadFailure::ReadFailed: return RUNAUDIT_READ_FAILED;
    case LoadFailure::NoMemory: return RUNAUDIT_NO_MEMORY;
    default: return RUNAUDIT_NOT_A_REPLAY;
  }
}

// The loader's steps and the API's rejections are one list, in one order.
static_assert(static_cast<int>(LoadFailure::OpenFailed) == RUNAUDIT_REJECT_OPEN_FAILED);
static_assert(static_cast<int>(LoadFailure::TooShort) == RUNAUDIT_REJECT_TOO_SHORT);
static_assert(static_cast<int>(LoadFailure::BadSignature) == RUNAUDIT_REJECT_BAD_SIGNATURE);
static_assert(static_cast<int>(LoadFailure::NegativeCount) == RUNAUDIT_REJECT_NEGATIVE_COUNT);
static_assert(static_cast<int>(LoadFailure::RecordsPastEnd) == RUNAUDIT_REJECT_RECORDS_PAST_END);
static_assert(static_cast<int>(LoadFailure::BadChecksum) == RUNAUDIT_REJECT_BAD_CHECKSUM);
static_assert(static_cast<int>(LoadFailure::ReadFailed) == RUNAUDIT_REJECT_READ_FAILED);
static_assert(static_cast<int>(LoadFailure::NoMemory) == RUNAUDIT_REJECT_NO_MEMORY);

int failed(runaudit_result& result, const LoadReport& report) {
  result = runaudit_result{};
  result.verdict = RUNAUDIT_ERROR;
  result.loadError = loadErrorOf(report.failure);
  result.error = runaudit_load_error_message(result.loadError);
  result.rejection = static_cast<int32_t>(report.failure);
  if (report.failure == LoadFailure::TooShort || report.failure == LoadFailure::RecordsPastEnd)
    result.size = runaudit_sizes{report.needed, report.present};
  if (report.failure == LoadFailure::BadChecksum) result.checksum = runaudit_checksums{report.stored, report.computed};
  return RUNAUDIT_ERROR;
}

int failed(runaudit_result& result, LoadFailure failure) {
  LoadReport report;
  report.failure = failure;
  return failed(result, report);
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
    // The digest is gathered as the records play: no second playback.
    GameDigest digest;
    startGameDigest(digest, replay.header.seed, replay.header.rejump);
    PlaybackOptions digesting = options;
    digesting.digest = &digest;
    describe(replay, playReplayOutcome(replay, digesting), result);
    const Sha256Digest game = finishGameDigest(digest);
    std::memcpy(result.gameDigest, game.data(), game.size());
    verdict = result.verdict;
  } catch (...) {
    // Playback throws nothing but bad_alloc, and nothing crosses the API.
    verdict = failed(result, LoadFailure::NoMemory);
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

// Loads the bytes, then hands over the JSON that `describe` writes of the
// replay (with its verdict), in the model's floating-point mode; a file
// that does not load, or memory that runs out, gives RUNAUDIT_ERROR and no
// text.
template <class Describe>
int describeBytes(const void* bytes, size_t size, char** json, size_t* length, Describe describe) {
  if (json == nullptr) return RUNAUDIT_ERROR;
  *json = nullptr;
  ReplayFile replay{};
  if (loadReplayBytes(static_cast<const std::uint8_t*>(bytes), size, replay) != nullptr) return RUNAUDIT_ERROR;
  const FloatingPointMode callers = enterGameMode();
  int verdict = RUNAUDIT_ERROR;
  try {
    bool valid = false;
    const std::string text = describe(replay, valid);
    if (handOver(text, json, length) == 0) verdict = valid ? RUNAUDIT_VALID : RUNAUDIT_INVALID;
  } catch (...) {
    // Out of memory: no text, and nothing crosses the API.
  }
  leaveGameMode(callers);
  releaseReplay(replay);
  return verdict;
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
  LoadReport report;
  if (loadReplayBytes(static_cast<const std::uint8_t*>(bytes), size, replay, report) != nullptr) return failed(*result, report);
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
  return describeBytes(bytes, size, json, length, [size](const ReplayFile& replay, bool& valid) {
    const ReplayView view = viewReplay(replay, size);
    valid = view.verdict.valid;
    const std::string overview = overviewSvg(view);
    return viewJson(view, &overview);
  });
}

int runaudit_evidence_bytes(const void* bytes, size_t size, char** json, size_t* length) {
  return describeBytes(bytes, size, json, length, [size](const ReplayFile& replay, bool& valid) {
    const Evidence evidence = analyseEvidence(replay, size);
    valid = evidence.valid;
    std::string text = "{";
    text.append(evidenceJsonFields(evidence, fileFacts(replay, size, evidence.played))).append("}");  // g++ 12 misreads "{" + s + "}" (-Wrestrict)
    return text;
  });
}

void runaudit_free(void* memory) { std::free(memory); }

int runaudit_check_file(const char* path, runaudit_result* result) {
  if (result == nullptr) return RUNAUDIT_ERROR;
  if (path == nullptr) return failed(*result, LoadFailure::OpenFailed);
  ReplayFile replay{};
  LoadReport report;
  if (loadReplay(path, replay, report) != nullptr) return failed(*result, report);
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

const char* runaudit_rejection_name(int rejection) {
  switch (rejection) {
    case RUNAUDIT_REJECT_OPEN_FAILED: return "open-failed";
    case RUNAUDIT_REJECT_TOO_SHORT: return "too-short";
    case RUNAUDIT_REJECT_BAD_SIGNATURE: return "bad-signature";
    case RUNAUDIT_REJECT_NEGATIVE_COUNT: return "negative-count";
    case RUNAUDIT_REJECT_RECORDS_PAST_END: return "records-past-end";
    case RUNAUDIT_REJECT_BAD_CHECKSUM: return "bad-checksum";
    case RUNAUDIT_REJECT_READ_FAILED: return "read-failed";
    case RUNAUDIT_REJECT_NO_MEMORY: return "no-memory";
    default: return nullptr;
  }
}

size_t runaudit_rejection_text(const runaudit_result* result, char* buffer, size_t size) {
  if (buffer == nullptr) size = 0;
  if (result == nullptr) {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  const int n = formatRejection(*result, buffer, size);
  return n < 0 ? 0 : static_cast<size_t>(n);
}

int runaudit_game_digest_hex(const runaudit_result* result, char hex[65]) {
  if (hex == nullptr) return -1;
  hex[0] = '\0';
  if (result == nullptr || result->verdict == RUNAUDIT_ERROR) return -1;
  const std::string text = gameDigestHex(*result);
  std::memcpy(hex, text.c_str(), text.size() + 1);
  return 0;
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
