#include <algorithm>
#include <cinttypes>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <new>
#include <thread>
#include <vector>

#include "api/runaudit.h"
#include "platform/files.h"
#include "replay/replay_text.h"
#include "view/display_text.h"
#include "view/json_text.h"
#include "api/result_facts.h"
#include "tool/check_against.h"
#include "tool/check_operands.h"
#include "tool/evidence_summary.h"
#include "evidence/evidence_json.h"
#include "tool/tool_common.h"

namespace {

struct Batch {
  std::vector<CheckItem> paths;
  std::vector<std::optional<std::string>> lines;
  std::atomic<std::size_t> next{0};
  std::mutex printing;
  std::size_t printed = 0;
  std::size_t done = 0;
  bool allValid = true;
  std::atomic<bool> outOfMemory{false};
  bool progress = false;
  bool json = false;
  bool requireClaims = false;
  bool evidence = false;
  bool unique = false;
  // Each file's game digest (empty: no game), and the first file of each game.
  std::vector<std::string> digests;
  std::map<std::string, std::size_t> firstOfGame;
  // --against: the earlier results, and the files whose facts changed.
  const OldResults* against = nullptr;
  std::size_t changed = 0;
};

// Standard input ("-", at most once) is read whole first; files as the C
// API reads them.
void checkOne(const char* path, runaudit_result& r) {
  if (!isStandardStream(path)) {
    runaudit_check_file(path, &r);
    return;
  }
  ReplayImage image;
  std::string error;
  if (readReplayImage(path, image, error))
    runaudit_check_bytes(image.bytes.data(), image.bytes.size(), &r);
  else
    runaudit_check_file(nullptr, &r);  // could not be read: as a file that could not be opened
}

// With --evidence every file is read whole first (as standard input is),
// and the evidence analyses the very bytes the verdict judged. A file that
// cannot be read so is judged by the C API as without --evidence, and has
// no evidence.
void checkWithEvidence(const std::string& path, runaudit_result& r, std::optional<Evidence>& evidence) {
  ReplayImage image;
  std::string error;
  if (!readReplayImage(path, image, error)) {
    runaudit_check_file(isStandardStream(path) ? nullptr : path.c_str(), &r);
    return;
  }
  if (runaudit_check_bytes(image.bytes.data(), image.bytes.size(), &r) != RUNAUDIT_ERROR) evidence = imageEvidence(image);
}

// Paths are shown by displayText: a file name holding a tab or a line end
// must not be able to forge a result line. With --json each line is one
// JSON object. A line's verdict counts as a failure unless valid, and, with
// --require-claims, its claims match. A folder that gave nothing is an
// error line of its own, with its reason.
std::string verdictLine(const CheckItem& item, const Batch& b, bool& passed, std::string& digest) {
  runaudit_result r{};
  std::optional<Evidence> evidence;
  if (item.error.empty() && b.evidence) {
    checkWithEvidence(item.path, r, evidence);
  } else if (item.error.empty()) {
    checkOne(item.path.c_str(), r);
  } else {
    r.verdict = RUNAUDIT_ERROR;
    r.loadError = RUNAUDIT_OPEN_FAILED;
    r.error = item.error.c_str();
  }
  passed = r.verdict == RUNAUDIT_VALID && (!b.requireClaims || r.claims == RUNAUDIT_CLAIMS_MATCH);
  if (r.verdict != RUNAUDIT_ERROR) digest = gameDigestHex(r);
  const std::string& rawPath = item.path;
  if (b.json || b.against != nullptr) {
    std::string json = std::string("{").append(jsonNameField("file", rawPath.data(), rawPath.size()));
    json.append(checkerJsonField()).append(",").append(resultJsonFields(r));
    if (b.evidence) json.append(",\"evidence\":").append(evidence ? evidenceBriefJson(*evidence) : "null");
    json.append("}");
    if (b.against == nullptr) return json.append("\n");
    const std::string changes = changesSince(*b.against, json);
    return changes.empty() ? std::string() : displayText(rawPath).append(changes).append("\n");
  }

  std::string line = displayText(rawPath);
  line.append("\t").append(runaudit_verdict_name(r.verdict));
  if (r.verdict == RUNAUDIT_ERROR) {
    line.append("\t");
    if (!item.error.empty())
      line.append(item.error);  // a folder's own error
    else if (r.loadError == RUNAUDIT_OPEN_FAILED && !isStandardStream(rawPath))
      line.append(r.error).append(": ").append(openFailure(rawPath, rejectionText(r).c_str()));
    else
      line.append(r.error).append(": ").append(rejectionText(r));
  }
  // The evidence's field ends the line of every file that loaded.
  std::string tail = evidence ? std::string("\t").append(evidenceSummaryText(*evidence)) : std::string();
  tail += '\n';
  if (r.verdict != RUNAUDIT_VALID) return line.append(tail);
  char facts[160];
  std::snprintf(facts, sizeof facts, "\tframes %" PRIu64 "\tfloor %" PRId32 "\tcombo %" PRId32 "\tcombo score %" PRId32,
                r.frames, r.highestFloor, r.bestCombo, r.comboScore);
  line.append(facts);
  if (r.claims == RUNAUDIT_CLAIMS_MATCH) return line.append("\tclaims match").append(tail);
  return line.append("\tclaims differ\t").append(claimsDifference(r)).append(tail);
}

// A later file of a game already seen names the first: "same game as
// FILE" at the end of its line, or "sameGameAs" last in its object.
void markSameGame(const Batch& b, std::string& line, std::size_t first) {
  const std::string& path = b.paths[first].path;
  if (b.json) {
    std::string field = jsonNameField("sameGameAs", path.data(), path.size());
    field.pop_back();  // its ','
    line.insert(line.size() - 2, "," + field);
  } else {
    line.insert(line.size() - 1, "\tsame game as " + displayText(path));
  }
}

// Lines go out in the order the files were given, as soon as every earlier
// file is done.
void finish(Batch& b, std::size_t index, std::string line, bool valid, std::string digest) {
  std::lock_guard<std::mutex> lock(b.printing);
  b.lines[index] = std::move(line);
  b.digests[index] = std::move(digest);
  b.allValid = b.allValid && valid;
  ++b.done;
  if (b.progress) std::fputs("\r\033[K", stderr);
  while (b.printed < b.lines.size() && b.lines[b.printed]) {
    // In the files' order, so the first of each game is the one named.
    if (b.against != nullptr) {
      if (!b.lines[b.printed]->empty()) ++b.changed;
    } else if (!b.digests[b.printed].empty()) {
      const auto [first, fresh] = b.firstOfGame.emplace(b.digests[b.printed], b.printed);
      if (!fresh && b.unique) b.lines[b.printed]->clear();
      else if (!fresh) markSameGame(b, *b.lines[b.printed], first->second);
    }
    std::fputs(b.lines[b.printed]->c_str(), stdout);
    b.lines[b.printed].reset();
    ++b.printed;
  }
  // Once the output is gone, no later result can reach anyone: stop.
  if (!flushStandardOutput()) b.next.store(b.paths.size());
  if (b.progress) std::fprintf(stderr, "checked %zu of %zu", b.done, b.lines.size());
}

void worker(Batch& b) {
  try {
    for (std::size_t i; (i = b.next.fetch_add(1)) < b.paths.size();) {
      bool passed = false;
      std::string digest;
      std::string line = verdictLine(b.paths[i], b, passed, digest);
      finish(b, i, std::move(line), passed, std::move(digest));
    }
  } catch (const std::bad_alloc&) {
    // No exception leaves a thread: the batch stops and says why.
    b.outOfMemory = true;
    b.next.store(b.paths.size());
  }
}

}  // namespace

int runCheck(const CommandLine& line) {
  Batch batch;
  std::uint64_t jobs = std::max(1u, std::thread::hardware_concurrency());
  if (const std::string* text = line.value("--jobs"); text != nullptr && (!parseCount(text->c_str(), jobs) || jobs == 0 || jobs > 1024))
    return reportError(EXIT_USAGE, "check: --jobs needs a number from 1 to 1024");
  batch.json = line.has("--json");
  batch.requireClaims = line.has("--require-claims");
  batch.evidence = line.has("--evidence");
  if (line.operands.empty()) return reportError(EXIT_USAGE, "check needs at least one FILE");
  if (std::count(line.operands.begin(), line.operands.end(), "-") > 1)
    return reportError(EXIT_USAGE, "check: - (standard input) given more than once");
  batch.unique = line.has("--unique");
  OldResults old;
  if (const std::string* path = line.value("--against")) {
    if (batch.json || batch.unique) return reportError(EXIT_USAGE, "check: --against prints changes only: not with --json or --unique");
    if (isStandardStream(*path) && std::count(line.operands.begin(), line.operands.end(), "-") != 0)
      return reportError(EXIT_USAGE, "check: - (standard input) given more than once");
    std::string error;
    if (!readOldResults(*path, old, error)) return reportError(EXIT_USAGE, "check: --against " + error);
    batch.against = &old;
  }
  batch.paths = checkItems(line.operands);

  batch.lines.resize(batch.paths.size());
  batch.digests.resize(batch.paths.size());
  batch.progress = standardErrorIsTerminal();
  const std::size_t threads = std::min<std::size_t>(jobs, batch.paths.size());
  std::vector<std::thread> pool;
  // Where the system grants fewer threads (an address-space limit, a
  // process cap), the batch runs on those it got: the current one at least.
  try {
    pool.reserve(threads);
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(worker, std::ref(batch));
  } catch (const std::exception&) {
  }
  worker(batch);
  for (std::thread& t : pool) t.join();
  if (batch.progress) std::fputs("\r\033[K", stderr);
  if (batch.outOfMemory) return reportError(EXIT_FAILED, "check: not enough memory");
  if (batch.against != nullptr) {
    std::printf("%zu of %zu file%s changed since %s\n", batch.changed, batch.paths.size(), batch.paths.size() == 1 ? "" : "s",
                displayText(*line.value("--against")).c_str());
    return batch.changed == 0 ? EXIT_ALL_VALID : EXIT_FAILED;
  }
  return batch.allValid ? EXIT_ALL_VALID : EXIT_FAILED;
}
