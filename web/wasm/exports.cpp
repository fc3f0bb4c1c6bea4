// What the JavaScript side of the WebAssembly module calls: a check that
// reports its progress to the module's onProgress, and the results as the
// library's JSON. Everything else is the C API as it is.
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "evidence/evidence.h"
#include "evidence/evidence_json.h"
#include "evidence/file_facts.h"
#include "replay/replay_file.h"
#include "runaudit.h"
#include "sim/fpu_mode.h"

// clang-format off
EM_JS(void, reportProgress, (std::uint32_t played, std::uint32_t count), {
  if (Module.onProgress) Module.onProgress(played >>> 0, count >>> 0);
});
// clang-format on

namespace {

void progress(void*, std::uint32_t played, std::uint32_t count) { reportProgress(played, count); }

}  // namespace

extern "C" {

// The result of checking the bytes, as JSON (free it with runaudit_free):
// every field of the result, the reason for a rejection included.
EMSCRIPTEN_KEEPALIVE char* runaudit_js_check(const void* bytes, size_t size) {
  runaudit_result result;
  runaudit_check_bytes_progress(bytes, size, &result, progress, nullptr);
  char* json = nullptr;
  runaudit_result_json(&result, &json, nullptr);
  return json;
}

// The viewer's data for the bytes, as JSON; NULL when they do not load.
EMSCRIPTEN_KEEPALIVE char* runaudit_js_view(const void* bytes, size_t size) {
  char* json = nullptr;
  runaudit_view_bytes(bytes, size, &json, nullptr);
  return json;
}

// The evidence of the bytes, as JSON (free it with runaudit_free): what
// runaudit_evidence_bytes gives, with the reach and horizon the caller
// chose (the JavaScript side checks their ranges). `size` bytes are the
// ones the loader reads; `fileBytes` is the whole file's size, which the
// facts (bytes after the records) and the frame budget count. NULL when
// the bytes do not load, or when there is no memory for the text.
EMSCRIPTEN_KEEPALIVE char* runaudit_js_evidence(const void* bytes, size_t size, double fileBytes,
                                                std::int32_t reach, std::int32_t horizon) {
  ReplayFile replay{};
  if (loadReplayBytes(static_cast<const std::uint8_t*>(bytes), size, replay) != nullptr) return nullptr;
  const FloatingPointMode callers = enterGameMode();
  char* json = nullptr;
  try {
    EvidenceOptions options;
    options.reach = reach;
    options.horizon = horizon;
    const auto whole = static_cast<std::uint64_t>(fileBytes);
    const Evidence evidence = analyseEvidence(replay, whole, options);
    std::string text = "{";
    text.append(evidenceJsonFields(evidence, fileFacts(replay, whole, evidence.played))).append("}");
    json = static_cast<char*>(std::malloc(text.size() + 1));
    if (json != nullptr) std::memcpy(json, text.c_str(), text.size() + 1);
  } catch (...) {
    // Out of memory: no text.
  }
  leaveGameMode(callers);
  releaseReplay(replay);
  return json;
}

}  // extern "C"
