// The C API: the same facts from bytes and from a path as the programs
// print, from many threads at once, and the loader's message (never a
// crash) for any buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "api/runaudit.h"
#include "replay/replay_file.h"
#include "replay/replay_text.h"
#include "sim/extended.h"
#include "verify/playback.h"
#include "verify/sha256.h"
#include "support/replay_builder.h"
#include "support/run_program.h"

namespace {

struct Replay {
  std::string path;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> bytesOf(const std::string& path) {
  const std::string text = slurp(path);
  return {text.begin(), text.end()};
}

void addFolder(std::vector<Replay>& out, const std::string& dir) {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".wlx") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  for (const std::string& p : paths) out.push_back({p, bytesOf(p)});
}

// Every sample, text fixture, edge find, costly file and API fixture.
const std::vector<Replay>& everyReplay() {
  static const std::vector<Replay> all = [] {
    std::vector<Replay> out;
    for (const char* dir : {RUNAUDIT_SAMPLES, RUNAUDIT_EDGE_FINDS, RUNAUDIT_BENCH_WORST, API_FIXTURES}) addFolder(out, dir);
    for (const char* name : {"combo_climb", "marker_late", "still_alive"}) {
      std::vector<std::uint8_t> bytes;
      std::string error;
      EXPECT_TRUE(replayTextToBytes(slurp(std::string(TOOL_FIXTURES) + "/" + name + ".txt"), bytes, error)) << error;
      out.push_back({writeTempFile(std::string("api_") + name, bytes), bytes});
    }
    return out;
  }();
  return all;
}

// The raw JSON value after the first "key": in `json` (objects whole).
std::string jsonValue(const std::string& json, const std::string& key) {
  std::size_t at = json.find("\"" + key + "\":");
  if (at == std::string::npos) return "<missing " + key + ">";
  at += key.size() + 3;
  std::size_t end = at;
  for (int depth = 0; end < json.size(); ++end) {
    const char c = json[end];
    if (c == '{') ++depth;
    if (c == '}' && depth-- == 0) break;
    if (c == ',' && depth == 0) break;
  }
  return json.substr(at, end - at);
}

#if RUNAUDIT_TESTS_RUN_PROGRAMS
std::string quoted(const char* text) { return text == nullptr ? "null" : std::string("\"") + text + "\""; }
#endif

// Every fact of two results, field by field (the record has padding).
void expectSameResult(const runaudit_result& a, const runaudit_result& b, const std::string& where) {
  EXPECT_EQ(a.verdict, b.verdict) << where;
  EXPECT_EQ(a.loadError, b.loadError) << where;
  EXPECT_EQ(a.error, b.error) << where;
  EXPECT_EQ(a.rejection, b.rejection) << where;
  EXPECT_EQ(a.size.needed, b.size.needed) << where;
  EXPECT_EQ(a.size.present, b.size.present) << where;
  EXPECT_EQ(a.checksum.stored, b.checksum.stored) << where;
  EXPECT_EQ(a.checksum.computed, b.checksum.computed) << where;
  EXPECT_EQ(std::memcmp(a.header.signature, b.header.signature, 6), 0) << where;
  EXPECT_EQ(std::memcmp(a.header.name, b.header.name, 32), 0) << where;
  EXPECT_EQ(std::memcmp(a.header.date, b.header.date, 32), 0) << where;
  EXPECT_EQ(a.header.recordCount, b.header.recordCount) << where;
  EXPECT_EQ(a.header.score, b.header.score) << where;
  EXPECT_EQ(a.header.floor, b.header.floor) << where;
  EXPECT_EQ(a.header.combo, b.header.combo) << where;
  EXPECT_EQ(a.header.rejump, b.header.rejump) << where;
  EXPECT_EQ(a.header.seed, b.header.seed) << where;
  EXPECT_EQ(a.header.checksum, b.header.checksum) << where;
  EXPECT_EQ(a.frames, b.frames) << where;
  EXPECT_EQ(a.ended.frame, b.ended.frame) << where;
  EXPECT_EQ(a.ended.record, b.ended.record) << where;
  EXPECT_EQ(a.ended.frameInRecord, b.ended.frameInRecord) << where;
  EXPECT_EQ(a.aliveAt, b.aliveAt) << where;
  EXPECT_EQ(a.endMarkerRecord, b.endMarkerRecord) << where;
  EXPECT_EQ(a.markerFollows, b.markerFollows) << where;
  EXPECT_EQ(a.highestFloor, b.highestFloor) << where;
  EXPECT_EQ(a.bestCombo, b.bestCombo) << where;
  EXPECT_EQ(a.comboScore, b.comboScore) << where;
  EXPECT_EQ(a.speedLevel, b.speedLevel) << where;
  EXPECT_EQ(a.claims, b.claims) << where;
}

// (Where the programs cannot be started from a test, as under Wine or
// node, the comparison with them is made by scripts/compare-models.sh.)
TEST(Api, BytesAndPathsGiveWhatTheProgramsPrint) {
  ASSERT_GT(everyReplay().size(), 20u);
  for (const Replay& replay : everyReplay()) {
    runaudit_result fromBytes, fromPath;
    const int verdict = runaudit_check_bytes(replay.bytes.data(), replay.bytes.size(), &fromBytes);
    EXPECT_EQ(runaudit_check_file(replay.path.c_str(), &fromPath), verdict) << replay.path;
    EXPECT_EQ(verdict, fromBytes.verdict);
    expectSameResult(fromBytes, fromPath, replay.path);
#if RUNAUDIT_TESTS_RUN_PROGRAMS

    // runaudit's own verdict line.
    const RunResult checker = runProgram(std::string(RUNAUDIT_BINARY) + " " + shellQuote(replay.path));
    const std::string last = checker.out.substr(checker.out.rfind('\n', checker.out.size() - 2) + 1);
    EXPECT_EQ(last, verdict == RUNAUDIT_VALID ? "Replay is valid\n" : "Replay is invalid\n") << replay.path;

    // show --json, fact by fact.
    const std::string json = runProgram(std::string(REPLAYTOOL_BINARY) + " show --json " + shellQuote(replay.path)).out;
    const runaudit_result& r = fromBytes;
    EXPECT_EQ(jsonValue(json, "verdict"), quoted(runaudit_verdict_name(r.verdict))) << replay.path;
    EXPECT_EQ(jsonValue(json, "frames"), std::to_string(r.frames)) << replay.path;
    const std::string ended = r.ended.frame == 0 ? "null"
                                                 : "{\"frame\":" + std::to_string(r.ended.frame) + ",\"record\":" +
                                                       std::to_string(r.ended.record) + ",\"frameInRecord\":" +
                                                       std::to_string(r.ended.frameInRecord) + "}";
    EXPECT_EQ(jsonValue(json, "ended"), ended) << replay.path;
    EXPECT_EQ(jsonValue(json, "aliveAt"), quoted(runaudit_alive_at_name(r.aliveAt))) << replay.path;
    EXPECT_EQ(jsonValue(json, "endMarkerRecord"), r.endMarkerRecord == 0 ? "null" : std::to_string(r.endMarkerRecord));
    EXPECT_EQ(jsonValue(json, "markerFollows"), r.markerFollows ? "true" : "false") << replay.path;
    EXPECT_EQ(jsonValue(json, "highestFloor"), std::to_string(r.highestFloor)) << replay.path;
    EXPECT_EQ(jsonValue(json, "bestCombo"), std::to_string(r.bestCombo)) << replay.path;
    EXPECT_EQ(jsonValue(json, "comboScore"), std::to_string(r.comboScore)) << replay.path;
    EXPECT_EQ(jsonValue(json, "speedLevel"), std::to_string(r.speedLevel)) << replay.path;
    EXPECT_EQ(jsonValue(json, "claims"), quoted(runaudit_claims_name(r.claims))) << replay.path;
    EXPECT_EQ(jsonValue(json, "recordCount"), std::to_string(r.header.recordCount)) << replay.path;
    EXPECT_EQ(jsonValue(json, "seed"), std::to_string(r.header.seed)) << replay.path;
    EXPECT_EQ(jsonValue(json, "checksum"), std::to_string(r.header.checksum)) << replay.path;
    EXPECT_EQ(jsonValue(json, "claimed"), "{\"score\":" + std::to_string(r.header.score) + ",\"floor\":" +
                                              std::to_string(r.header.floor) + ",\"combo\":" +
                                              std::to_string(r.header.combo) + "}")
        << replay.path;
#endif
  }
}

struct ProgressCall {
  std::uint32_t played, count;
};

void recordProgress(void* context, std::uint32_t played, std::uint32_t count) {
  static_cast<std::vector<ProgressCall>*>(context)->push_back({played, count});
}

// The text the library hands over, freed by the library.
std::string takeText(char* text) {
  std::string out = text != nullptr ? text : "<null>";
  runaudit_free(text);
  return out;
}

// The progress reports, the result as JSON and the viewer's data all say
// what the plain check says, and the JSON what the programs print.
TEST(Api, ProgressJsonAndViewerDataAgreeWithTheCheck) {
  bool sawManyReports = false;
  [[maybe_unused]] bool cutGameViewed = false;
  for (const Replay& replay : everyReplay()) {
    runaudit_result plain, reported;
    const int verdict = runaudit_check_bytes(replay.bytes.data(), replay.bytes.size(), &plain);
    std::vector<ProgressCall> calls;
    EXPECT_EQ(runaudit_check_bytes_progress(replay.bytes.data(), replay.bytes.size(), &reported, recordProgress, &calls), verdict);
    expectSameResult(plain, reported, replay.path);
    const auto count = static_cast<std::uint32_t>(plain.header.recordCount);
    // From record 0, every 1024 records, never past the records played.
    ASSERT_FALSE(calls.empty()) << replay.path;
    for (std::size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].played, i * 1024) << replay.path;
      EXPECT_EQ(calls[i].count, count) << replay.path;
    }
    EXPECT_LT(calls.back().played, count) << replay.path;
    sawManyReports = sawManyReports || calls.size() > 2;

    char* text = nullptr;
    std::size_t length = 0;
    ASSERT_EQ(runaudit_result_json(&plain, &text, &length), 0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::strlen(text), length);
    const std::string json = takeText(text);
    EXPECT_EQ(jsonValue(json, "recordCount"), std::to_string(plain.header.recordCount)) << replay.path;
#if RUNAUDIT_TESTS_RUN_PROGRAMS
    // check --json's object with its file name taken out, then the header.
    std::string line = runProgram(std::string(REPLAYTOOL_BINARY) + " check --json " + shellQuote(replay.path)).out;
    line.erase(1, line.find(",\"checker\""));  // {"file":...,"checker"... to {"checker"...
    line.resize(line.size() - 2);  // "}\n"
    EXPECT_EQ(json.substr(0, line.size() + 11), line + ",\"header\":{") << replay.path;
    // The header is show --json's, without its hex spellings of the texts.
    std::string shown = runProgram(std::string(REPLAYTOOL_BINARY) + " show --json " + shellQuote(replay.path)).out;
    shown = shown.substr(shown.find("\"header\":{"));
    shown.resize(shown.find("},\"valid\"") + 1);
    const std::size_t hex = shown.find(",\"signatureHex\"");
    shown.erase(hex, shown.find(",\"score\":", hex) - hex);
    EXPECT_EQ(json.substr(json.find(",\"header\":{") + 1), shown + "}") << replay.path;

    // The viewer's data is the data of replaytool view's page, with the
    // overview added. (Games cut at the page's million frames cost a
    // million frames each, both ways: one of them is enough.)
    if (plain.frames > 1000000 && std::exchange(cutGameViewed, true)) continue;
    const std::string page = runProgram(std::string(REPLAYTOOL_BINARY) + " view " + shellQuote(replay.path)).out;
    const std::size_t from = page.find("application/json\">") + 18, to = page.find("</script>", from);
    ASSERT_EQ(runaudit_view_bytes(replay.bytes.data(), replay.bytes.size(), &text, nullptr), verdict) << replay.path;
    const std::string view = takeText(text);
    const std::size_t overview = view.rfind(",\"overview\":\"\\u003csvg");  // "<" escaped for a script element
    ASSERT_NE(overview, std::string::npos) << replay.path;
    EXPECT_EQ(view.substr(0, overview) + "}", page.substr(from, to - from)) << replay.path;
#endif
  }
  EXPECT_TRUE(sawManyReports) << "no replay long enough for several progress reports";

  // What did not load has no viewer data and no header.
  const std::uint8_t junk[7] = {};
  char* text = reinterpret_cast<char*>(1);
  EXPECT_EQ(runaudit_view_bytes(junk, sizeof junk, &text, nullptr), RUNAUDIT_ERROR);
  EXPECT_EQ(text, nullptr);
  runaudit_result rejected;
  ASSERT_EQ(runaudit_check_bytes(junk, sizeof junk, &rejected), RUNAUDIT_ERROR);
  ASSERT_EQ(runaudit_result_json(&rejected, &text, nullptr), 0);
  const std::string json = takeText(text);
  EXPECT_EQ(jsonValue(json, "error"), "\"File is not a valid replay\"");
  EXPECT_EQ(jsonValue(json, "header"), "null");
  EXPECT_EQ(runaudit_result_json(nullptr, &text, nullptr), -1);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(runaudit_result_json(&rejected, nullptr, nullptr), -1);
  runaudit_free(nullptr);
}

// The evidence from bytes is the object replaytool evidence --json prints
// for the file, without its "file" and "rank".
TEST(Api, EvidenceIsWhatReplaytoolPrints) {
#if RUNAUDIT_TESTS_RUN_PROGRAMS
  int seen = 0;
  for (const Replay& replay : everyReplay()) {
    if (replay.path.find(RUNAUDIT_BENCH_WORST) == 0) continue;  // the costly files: their bound is benchmarked
    char* text = nullptr;
    std::size_t length = 0;
    runaudit_result checked;
    const int verdict = runaudit_check_bytes(replay.bytes.data(), replay.bytes.size(), &checked);
    ASSERT_EQ(runaudit_evidence_bytes(replay.bytes.data(), replay.bytes.size(), &text, &length), verdict) << replay.path;
    if (verdict == RUNAUDIT_ERROR) {
      EXPECT_EQ(text, nullptr);
      continue;
    }
    const std::string json = takeText(text);
    EXPECT_EQ(json.size(), length);
    const std::string line = runProgram(std::string(REPLAYTOOL_BINARY) + " evidence --json " + shellQuote(replay.path)).out;
    const std::size_t fields = line.find(",\"checker\":");
    ASSERT_NE(fields, std::string::npos) << replay.path;
    ASSERT_EQ(json.substr(0, 1), "{");
    EXPECT_EQ(line.substr(fields + 1), json.substr(1) + "\n") << replay.path;
    EXPECT_EQ(jsonValue(json, "frames"), std::to_string(checked.frames)) << replay.path;
    ++seen;
  }
  EXPECT_GE(seen, 3);
#endif
  const std::uint8_t junk[7] = {};
  char* text = reinterpret_cast<char*>(1);
  EXPECT_EQ(runaudit_evidence_bytes(junk, sizeof junk, &text, nullptr), RUNAUDIT_ERROR);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(runaudit_evidence_bytes(junk, sizeof junk, nullptr, nullptr), RUNAUDIT_ERROR);
}

TEST(Api, ManyThreadsAtOnceGetEachFilesOwnResult) {
#ifdef __EMSCRIPTEN__
  GTEST_SKIP() << "this WebAssembly build has no threads";
#endif
  const std::vector<Replay>& all = everyReplay();
  std::vector<runaudit_result> expected(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) runaudit_check_file(all[i].path.c_str(), &expected[i]);

  constexpr int THREADS = 8;
  std::vector<std::vector<runaudit_result>> seen(THREADS, std::vector<runaudit_result>(all.size()));
  std::atomic<bool> go{false};
  std::vector<std::thread> pool;
  for (int t = 0; t < THREADS; ++t)
    pool.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      // Each thread walks the files from its own place, by bytes or by path.
      for (std::size_t k = 0; k < all.size(); ++k) {
        const std::size_t i = (k + static_cast<std::size_t>(t) * 5) % all.size();
        if ((i + static_cast<std::size_t>(t)) % 2 == 0)
          runaudit_check_bytes(all[i].bytes.data(), all[i].bytes.size(), &seen[t][i]);
        else
          runaudit_check_file(all[i].path.c_str(), &seen[t][i]);
      }
    });
  go = true;
  for (std::thread& t : pool) t.join();
  for (int t = 0; t < THREADS; ++t)
    for (std::size_t i = 0; i < all.size(); ++i)
      expectSameResult(seen[t][i], expected[i], all[i].path + " in thread " + std::to_string(t));
}

// A genuine replay's header with its floor or combo changed and the
// checksum recomputed: still valid, as the verdict ignores the claims, but
// the claims differ, one off either way.
TEST(Api, ClaimsOffByOneEitherWayDiffer) {
  const std::vector<std::uint8_t> genuine = bytesOf(std::string(RUNAUDIT_SAMPLES) + "/climb.wlx");
  runaudit_result truth;
  ASSERT_EQ(runaudit_check_bytes(genuine.data(), genuine.size(), &truth), RUNAUDIT_VALID);
  EXPECT_EQ(truth.claims, RUNAUDIT_CLAIMS_MATCH);
  for (int field = 0; field < 2; ++field)
    for (int delta : {-1, 1}) {
      std::vector<std::uint8_t> forged = genuine;
      ReplayFile file{decodeHeader(forged.data()), forged.data() + REPLAY_HEADER_SIZE, nullptr};
      (field == 0 ? file.header.floor : file.header.combo) += delta;
      file.header.checksum = replayChecksum(file);
      encodeHeader(file.header, forged.data());
      runaudit_result r;
      EXPECT_EQ(runaudit_check_bytes(forged.data(), forged.size(), &r), RUNAUDIT_VALID) << field << delta;
      EXPECT_EQ(r.claims, RUNAUDIT_CLAIMS_DIFFER) << field << delta;
      EXPECT_EQ(r.highestFloor, truth.highestFloor);
      EXPECT_EQ(r.bestCombo, truth.bestCombo);
      EXPECT_EQ(r.header.floor, truth.header.floor + (field == 0 ? delta : 0));
    }
}

// Why a file was refused: the step and its numbers, as the record holds
// them and as its JSON says them.
struct Rejection {
  int rejection;
  std::uint64_t needed = 0, present = 0;
  std::uint32_t stored = 0, computed = 0;
};

void expectRejected(const runaudit_result& r, int loadError, const Rejection& why, const std::string& what) {
  EXPECT_EQ(r.verdict, RUNAUDIT_ERROR) << what;
  EXPECT_EQ(r.loadError, loadError) << what;
  ASSERT_NE(r.error, nullptr) << what;
  EXPECT_STREQ(r.error, runaudit_load_error_message(loadError)) << what;
  EXPECT_EQ(r.frames, 0u) << what;
  EXPECT_EQ(r.header.recordCount, 0) << what;
  EXPECT_EQ(r.claims, RUNAUDIT_CLAIMS_NONE) << what;
  EXPECT_EQ(r.rejection, why.rejection) << what;
  EXPECT_EQ(r.size.needed, why.needed) << what;
  EXPECT_EQ(r.size.present, why.present) << what;
  EXPECT_EQ(r.checksum.stored, why.stored) << what;
  EXPECT_EQ(r.checksum.computed, why.computed) << what;

  char* text = nullptr;
  ASSERT_EQ(runaudit_result_json(&r, &text, nullptr), 0);
  const std::string json = text;
  runaudit_free(text);
  ASSERT_NE(runaudit_rejection_name(r.rejection), nullptr) << what;
  EXPECT_EQ(jsonValue(json, "rejection"), std::string("\"") + runaudit_rejection_name(r.rejection) + "\"") << what;
  const bool sized = why.rejection == RUNAUDIT_REJECT_TOO_SHORT || why.rejection == RUNAUDIT_REJECT_RECORDS_PAST_END;
  EXPECT_EQ(jsonValue(json, "size"), sized ? "{\"needed\":" + std::to_string(why.needed) + ",\"present\":" +
                                                 std::to_string(why.present) + "}"
                                           : "null")
      << what;
  EXPECT_EQ(jsonValue(json, "checksum"), why.rejection == RUNAUDIT_REJECT_BAD_CHECKSUM
                                             ? "{\"stored\":" + std::to_string(why.stored) + ",\"computed\":" +
                                                   std::to_string(why.computed) + "}"
                                             : "null")
      << what;
  // The sentence: the same in the JSON and from runaudit_rejection_text,
  // and cut to fit a small buffer.
  const std::size_t length = runaudit_rejection_text(&r, nullptr, 0);
  ASSERT_GT(length, 20u) << what;
  std::string sentence(length + 1, 'x');
  EXPECT_EQ(runaudit_rejection_text(&r, sentence.data(), sentence.size()), length);
  sentence.resize(length);
  EXPECT_NE(json.find(",\"why\":\"" + sentence + "\",\"size\":"), std::string::npos) << what << ": " << json;
  char small[8];
  EXPECT_EQ(runaudit_rejection_text(&r, small, sizeof small), length);
  EXPECT_EQ(std::string(small), sentence.substr(0, 7)) << what;
}

TEST(Api, BadBuffersGetTheLoadersMessageAndWhy) {
  const std::vector<std::uint8_t> good = bytesOf(std::string(RUNAUDIT_SAMPLES) + "/seed36.wlx");
  ASSERT_EQ(good.size(), 133u);
  auto withCount = [&](std::int32_t count) {
    std::vector<std::uint8_t> b = good;
    ReplayFile file{decodeHeader(b.data()), b.data() + REPLAY_HEADER_SIZE, nullptr};
    file.header.recordCount = count;
    encodeHeader(file.header, b.data());
    return b;
  };
  std::vector<std::uint8_t> signature = good;
  signature[5] = '1';
  std::vector<std::uint8_t> checksum = good;
  checksum.back() ^= 1;
  const std::uint32_t stored = decodeHeader(good.data()).checksum;
  const std::uint32_t computed = replayChecksum(ReplayFile{decodeHeader(checksum.data()), checksum.data() + 98, nullptr});
  ASSERT_NE(stored, computed);
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    Rejection why;
  } cases[] = {
      {"empty", {}, {RUNAUDIT_REJECT_TOO_SHORT, 98, 0}},
      {"97 bytes", std::vector<std::uint8_t>(good.begin(), good.begin() + 97), {RUNAUDIT_REJECT_TOO_SHORT, 98, 97}},
      {"header alone", std::vector<std::uint8_t>(good.begin(), good.begin() + 98), {RUNAUDIT_REJECT_RECORDS_PAST_END, 133, 98}},
      {"one byte short", std::vector<std::uint8_t>(good.begin(), good.end() - 1), {RUNAUDIT_REJECT_RECORDS_PAST_END, 133, 132}},
      {"a count one past the records", withCount(8), {RUNAUDIT_REJECT_RECORDS_PAST_END, 138, 133}},
      {"the largest count", withCount(2147483647), {RUNAUDIT_REJECT_RECORDS_PAST_END, 98 + 5ull * 2147483647, 133}},
      {"a negative count", withCount(-1), {RUNAUDIT_REJECT_NEGATIVE_COUNT}},
      {"wrong signature", signature, {RUNAUDIT_REJECT_BAD_SIGNATURE}},
      {"wrong checksum", checksum, {RUNAUDIT_REJECT_BAD_CHECKSUM, 0, 0, stored, computed}},
  };
  for (const auto& c : cases) {
    runaudit_result r;
    EXPECT_EQ(runaudit_check_bytes(c.bytes.data(), c.bytes.size(), &r), RUNAUDIT_ERROR) << c.what;
    expectRejected(r, RUNAUDIT_NOT_A_REPLAY, c.why, c.what);
  }
  runaudit_result r;
  EXPECT_EQ(runaudit_check_bytes(nullptr, 0, &r), RUNAUDIT_ERROR);
  expectRejected(r, RUNAUDIT_NOT_A_REPLAY, {RUNAUDIT_REJECT_TOO_SHORT, 98, 0}, "null, 0");
  EXPECT_EQ(runaudit_check_bytes(nullptr, good.size(), &r), RUNAUDIT_ERROR);
  expectRejected(r, RUNAUDIT_NOT_A_REPLAY, {RUNAUDIT_REJECT_TOO_SHORT, 98, 0}, "null with a size");
  EXPECT_EQ(runaudit_check_bytes(good.data(), good.size(), nullptr), RUNAUDIT_ERROR);
  EXPECT_EQ(runaudit_check_file(nullptr, &r), RUNAUDIT_ERROR);
  expectRejected(r, RUNAUDIT_OPEN_FAILED, {RUNAUDIT_REJECT_OPEN_FAILED}, "null path");
  EXPECT_EQ(runaudit_check_file("/nonexistent/replay.wlx", nullptr), RUNAUDIT_ERROR);
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
  EXPECT_EQ(runaudit_check_file("/", &r), RUNAUDIT_ERROR);
  expectRejected(r, RUNAUDIT_READ_FAILED, {RUNAUDIT_REJECT_READ_FAILED}, "a directory");
#endif

  // A loaded replay has no rejection, in the record or its JSON.
  ASSERT_EQ(runaudit_check_bytes(good.data(), good.size(), &r), RUNAUDIT_VALID);
  EXPECT_EQ(r.rejection, RUNAUDIT_REJECT_NONE);
  char none[4] = "abc";
  EXPECT_EQ(runaudit_rejection_text(&r, none, sizeof none), 0u);
  EXPECT_STREQ(none, "");
  EXPECT_EQ(runaudit_rejection_text(nullptr, nullptr, 0), 0u);
  char* text = nullptr;
  ASSERT_EQ(runaudit_result_json(&r, &text, nullptr), 0);
  const std::string json = text;
  runaudit_free(text);
  EXPECT_NE(json.find(",\"error\":null,\"rejection\":null,\"why\":null,\"size\":null,\"checksum\":null,\"frames\":101,"),
            std::string::npos)
      << json;

#if RUNAUDIT_TESTS_RUN_PROGRAMS
  // Paths: the message runaudit prints for the same file.
  const std::string empty = writeTempFile("api_empty", {});
  const std::string shortFile = writeTempFile("api_short", std::vector<std::uint8_t>(good.begin(), good.begin() + 97));
  for (const std::string& path : {std::string("/nonexistent/replay.wlx"), std::string("/"), std::string("/dev/null"), empty,
                                  shortFile}) {
    EXPECT_EQ(runaudit_check_file(path.c_str(), &r), RUNAUDIT_ERROR) << path;
    const RunResult checker = runProgram(std::string(RUNAUDIT_BINARY) + " " + shellQuote(path));
    EXPECT_EQ(checker.out, std::string("Error occured while loading replay: ") + r.error + "\n") << path;
  }
#endif
}

// The digest recomputed as anyone would from docs/format.md: the records
// walked one by one, their frames counted up to the result's `frames`,
// equal three-bit inputs run together. Every replay, the long ones whose
// records playback fast-forwards through included.
TEST(Api, TheGameDigestIsWhatTheFormatDefines) {
  int games = 0;
  for (const Replay& replay : everyReplay()) {
    runaudit_result r;
    if (runaudit_check_bytes(replay.bytes.data(), replay.bytes.size(), &r) == RUNAUDIT_ERROR) continue;
    const std::uint8_t* b = replay.bytes.data();
    std::vector<std::uint8_t> message{'r', 'u', 'n', 'a', 'u', 'd', 'i', 't', ' ', 'g', 'a', 'm', 'e', ' ', '1', 0};
    message.insert(message.end(), b + 90, b + 94);  // the seed
    message.push_back(loadLE32(b + 86) != 0 ? 1 : 0);
    std::uint64_t left = r.frames, run = 0;
    int input = -1;
    const auto endRun = [&] {
      if (run == 0) return;
      message.push_back(static_cast<std::uint8_t>(input));
      for (int i = 0; i < 8; ++i) message.push_back(static_cast<std::uint8_t>(run >> (8 * i)));
    };
    for (std::int32_t i = 0; i < r.header.recordCount && left != 0; ++i) {
      const std::uint8_t* record = b + REPLAY_HEADER_SIZE + 5 * static_cast<std::size_t>(i);
      if (record[4] & END_MARKER) break;
      const auto repeat = static_cast<std::int32_t>(loadLE32(record));
      const std::uint64_t frames = std::min<std::uint64_t>(left, repeat > 0 ? std::uint64_t(repeat) + 1 : 1);
      if ((record[4] & 0x13) != input) {
        endRun();
        input = record[4] & 0x13;
        run = 0;
      }
      run += frames;
      left -= frames;
    }
    endRun();
    EXPECT_EQ(left, 0u) << replay.path;
    Sha256 sha;
    sha256Add(sha, message.data(), message.size());
    const Sha256Digest expected = sha256Finish(sha);
    EXPECT_EQ(std::memcmp(r.gameDigest, expected.data(), expected.size()), 0) << replay.path;
    ++games;
  }
  EXPECT_GT(games, 20);
}

TEST(Api, NamesAndVersion) {
  EXPECT_STREQ(runaudit_version(), RUNAUDIT_VERSION);
  EXPECT_EQ(runaudit_version_number(), RUNAUDIT_VERSION_NUMBER);
  const std::string number = std::to_string(RUNAUDIT_VERSION_NUMBER / 1000000) + "." +
                             std::to_string(RUNAUDIT_VERSION_NUMBER / 1000 % 1000) + "." +
                             std::to_string(RUNAUDIT_VERSION_NUMBER % 1000);
  EXPECT_EQ(number, RUNAUDIT_VERSION);
  EXPECT_EQ(runaudit_verdict_name(3), nullptr);
  EXPECT_EQ(runaudit_claims_name(RUNAUDIT_CLAIMS_NONE), nullptr);
  EXPECT_EQ(runaudit_alive_at_name(RUNAUDIT_ALIVE_NOWHERE), nullptr);
  EXPECT_EQ(runaudit_load_error_message(RUNAUDIT_LOADED), nullptr);
  EXPECT_EQ(runaudit_load_error_message(5), nullptr);
  EXPECT_EQ(runaudit_rejection_name(RUNAUDIT_REJECT_NONE), nullptr);
  EXPECT_EQ(runaudit_rejection_name(9), nullptr);
  const char* names[] = {"open-failed", "too-short", "bad-signature", "negative-count", "records-past-end",
                         "bad-checksum", "read-failed", "no-memory"};
  for (int k = 1; k <= 8; ++k) EXPECT_STREQ(runaudit_rejection_name(k), names[k - 1]) << k;
}

// Callers allocate the result record, so programs built against one 2.x
// header run with any 2.x library only while its layout stays put: these
// are the 2.0 offsets on 64-bit systems. A check clears `reserved`.
TEST(Api, TheResultRecordKeepsItsLayoutAndClearsWhatIsReserved) {
  if (sizeof(void*) != 8) GTEST_SKIP() << "the pinned offsets are those of 64-bit systems";
  EXPECT_EQ(sizeof(runaudit_result), 280u);
  EXPECT_EQ(offsetof(runaudit_result, rejection), 16u);
  EXPECT_EQ(offsetof(runaudit_result, header), 48u);
  EXPECT_EQ(offsetof(runaudit_result, frames), 152u);
  EXPECT_EQ(offsetof(runaudit_result, claims), 212u);
  EXPECT_EQ(offsetof(runaudit_result, gameDigest), 216u);
  EXPECT_EQ(offsetof(runaudit_result, reserved), 248u);
  const std::vector<std::uint8_t> bytes = bytesOf(std::string(RUNAUDIT_SAMPLES) + "/climb.wlx");
  for (const bool whole : {true, false}) {
    runaudit_result r;
    std::memset(&r, 0xA5, sizeof r);
    runaudit_check_bytes(bytes.data(), whole ? bytes.size() : 50, &r);
    for (const std::uint64_t word : r.reserved) EXPECT_EQ(word, 0u) << whole;
    // The digest, or zeros for no game, in the place of reserved words.
    char hex[65];
    EXPECT_EQ(runaudit_game_digest_hex(&r, hex), whole ? 0 : -1);
    EXPECT_STREQ(hex, whole ? "8ed8aba5d96272d9e9e77476a50cf3cac9cb329faa5bbfa187f8aecfd1a5fb13" : "");
    if (!whole) {
      for (const std::uint8_t byte : r.gameDigest) EXPECT_EQ(byte, 0u);
    }
  }
}

#if defined(__x86_64__)
unsigned short x87Control() {
  unsigned short control = 0;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  return control;
}
unsigned int sseControl() {
  unsigned int control = 0;
  __asm__ volatile("stmxcsr %0" : "=m"(control));
  return control;
}

// A caller whose unit rounds to 53 bits (common on other systems) and
// flushes subnormals: the check runs in the model's mode all the same, and
// the caller gets its own mode back. The fixture's game comes out
// differently when played in 53-bit mode.
TEST(Api, RunsInTheModelsModeAndGivesTheCallersBack) {
  const std::string path = std::string(API_FIXTURES) + "/needs-extended-precision.wlx";
  runaudit_result expected;
  ASSERT_EQ(runaudit_check_file(path.c_str(), &expected), RUNAUDIT_VALID);

  const unsigned short callersX87 = 0x027F;                   // 53-bit significand, all masked
  const unsigned int callersSse = 0x1F80 | 0x8000 | 0x0040;  // flush to zero, denormals are zero
  const unsigned short savedX87 = x87Control();
  const unsigned int savedSse = sseControl();
  __asm__ volatile("fldcw %0" : : "m"(callersX87));
  __asm__ volatile("ldmxcsr %0" : : "m"(callersSse));
  runaudit_result r;
  const int verdict = runaudit_check_file(path.c_str(), &r);
  const unsigned short afterX87 = x87Control();
  const unsigned int afterSse = sseControl() & ~0x3Fu;  // without the sticky exception flags
  __asm__ volatile("fldcw %0" : : "m"(savedX87));
  __asm__ volatile("ldmxcsr %0" : : "m"(savedSse));

  EXPECT_EQ(verdict, RUNAUDIT_VALID);
  expectSameResult(r, expected, path);
  EXPECT_EQ(afterX87, callersX87);
  EXPECT_EQ(afterSse, callersSse);

#if !RUNAUDIT_EXTENDED_IS_SOFTWARE
  // Played in the caller's mode instead, the same game is judged invalid.
  ReplayFile replay{};
  ASSERT_EQ(loadReplay(path.c_str(), replay), nullptr);
  __asm__ volatile("fldcw %0" : : "m"(callersX87));
  const bool validIn53Bits = playReplay(replay);
  __asm__ volatile("fldcw %0" : : "m"(savedX87));
  releaseReplay(replay);
  EXPECT_FALSE(validIn53Bits);
#endif
}
#endif

}  // namespace
