// What the JavaScript side of the WebAssembly module calls: a check that
// reports its progress to the module's onProgress, and the results as the
// library's JSON. Everything else is the C API as it is.
#include <emscripten.h>

#include <cstdint>

#include "runaudit.h"

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

}  // extern "C"
