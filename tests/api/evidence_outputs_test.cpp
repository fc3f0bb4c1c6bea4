// The evidence's summary is one set of numbers wherever it is shown:
// replaytool evidence --json, show (text and JSON), check --evidence (text
// and JSON, many files on two threads) and runaudit_evidence_bytes, on
// every sample, edge find, API fixture and text fixture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "api/runaudit.h"
#include "replay/replay_text.h"
#include "support/replay_builder.h"
#include "support/run_program.h"

namespace {

#if RUNAUDIT_TESTS_RUN_PROGRAMS

struct File {
  std::string path;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> bytesOf(const std::string& path) {
  const std::string text = slurp(path);
  return {text.begin(), text.end()};
}

std::vector<std::string> sorted(const std::string& dir, const std::string& extension) {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == extension) paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

// The costly files of bench/worst are left out: their evidence is bounded
// by the frame budget, which the benchmarks measure.
std::vector<File> everyFile() {
  std::vector<File> out;
  for (const char* dir : {RUNAUDIT_SAMPLES, RUNAUDIT_EDGE_FINDS, API_FIXTURES})
    for (const std::string& p : sorted(dir, ".wlx")) out.push_back({p, bytesOf(p)});
  for (const std::string& text : sorted(TOOL_FIXTURES, ".txt")) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    const std::string source = slurp(text);
    EXPECT_TRUE(replayTextToBytes(source, bytes, error)) << text << ": " << error;
    if (const std::size_t at = source.find("\n#cut "); at != std::string::npos)
      bytes.resize(std::min(bytes.size(), static_cast<std::size_t>(std::stoul(source.substr(at + 6)))));
    out.push_back({writeTempFile("agree_" + std::filesystem::path(text).stem().string(), bytes), bytes});
  }
  return out;
}

// The raw JSON value after the first "key": in `json` (objects whole; the
// summary holds no array).
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

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// What the text lines must say, written from the JSON's numbers alone.
struct TextsFromJson {
  std::string show;   // show's line after its label
  std::string check;  // check's field
};
TextsFromJson textsFrom(const std::string& summary, const std::string& cut) {
  const std::string decisive = jsonValue(summary, "decisive"), perfect = jsonValue(summary, "framePerfect");
  const std::string share = jsonValue(summary, "framePerfectShare"), run = jsonValue(summary, "longestRun");
  std::string shareText;
  if (share != "null") {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * std::stod(share));
    shareText = text;
  }
  const std::string runLength = run == "null" ? "0" : jsonValue(run, "edges");
  std::string cutText;
  if (cut != "null")
    cutText = "; analysis stopped at frame " + jsonValue(cut, "frame") +
              (jsonValue(cut, "reason") == "\"edges\"" ? " (at most 20000 edges are analysed)" : " (the frame budget ran out)");
  TextsFromJson t;
  t.check = decisive + " decisive, " + perfect + " frame-perfect" + (shareText.empty() ? "" : " (" + shareText + ")") +
            ", longest run " + runLength + cutText;
  t.show = decisive + (decisive == "1" ? " decisive edge, " : " decisive edges, ") + perfect + " frame-perfect" +
           (shareText.empty() ? "" : " (" + shareText + " of decisive)") + ", longest run " + runLength +
           (run == "null" ? "" : " (frames " + jsonValue(run, "first") + " to " + jsonValue(run, "last") + ")") + cutText;
  return t;
}

#endif

TEST(EvidenceOutputs, EverySurfaceShowsTheSameSummary) {
#if !RUNAUDIT_TESTS_RUN_PROGRAMS
  GTEST_SKIP() << "the programs cannot be started from this test";
#else
  const std::vector<File> files = everyFile();
  const std::string tool = REPLAYTOOL_BINARY;
  std::string operands;
  for (const File& f : files) operands += " " + shellQuote(f.path);
  const std::vector<std::string> evidence = linesOf(runProgram(tool + " evidence --json" + operands).out);
  const std::vector<std::string> checkJson = linesOf(runProgram(tool + " check --evidence --json -j2" + operands).out);
  const std::vector<std::string> checkText = linesOf(runProgram(tool + " check --evidence -j2" + operands).out);
  ASSERT_EQ(checkJson.size(), files.size());
  ASSERT_EQ(checkText.size(), files.size());

  std::size_t loaded = 0, cut = 0, withRun = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const File& f = files[i];
    char* text = nullptr;
    const int verdict = runaudit_evidence_bytes(f.bytes.data(), f.bytes.size(), &text, nullptr);
    const std::string shownJson = runProgram(tool + " show --json " + shellQuote(f.path)).out;
    const std::string shownText = runProgram(tool + " show " + shellQuote(f.path)).out;
    const std::size_t label = shownText.find("\nEvidence:       ");
    if (verdict == RUNAUDIT_ERROR) {
      EXPECT_EQ(text, nullptr) << f.path;
      EXPECT_EQ(jsonValue(shownJson, "evidence"), "null") << f.path;
      EXPECT_EQ(jsonValue(checkJson[i], "evidence"), "null") << f.path;
      EXPECT_EQ(label, std::string::npos) << f.path;
      EXPECT_EQ(checkText[i].rfind(f.path + "\terror\t", 0), 0u) << checkText[i];
      continue;
    }
    ASSERT_LT(loaded, evidence.size()) << "evidence --json printed a line for each file that loads";
    const std::string& line = evidence[loaded++];
    EXPECT_EQ(jsonValue(line, "file"), "\"" + f.path + "\"");
    const std::string library = text;
    runaudit_free(text);
    const std::string summary = jsonValue(line, "summary"), cutAt = jsonValue(line, "cut");
    EXPECT_EQ(jsonValue(library, "summary"), summary) << f.path;
    EXPECT_EQ(jsonValue(library, "cut"), cutAt) << f.path;
    const std::string brief = "{\"cut\":" + cutAt + ",\"summary\":" + summary + "}";
    EXPECT_EQ(jsonValue(shownJson, "evidence"), brief) << f.path;
    EXPECT_EQ(jsonValue(checkJson[i], "evidence"), brief) << f.path;
    EXPECT_EQ(jsonValue(checkJson[i], "file"), "\"" + f.path + "\"");

    const TextsFromJson texts = textsFrom(summary, cutAt);
    ASSERT_NE(label, std::string::npos) << f.path;
    EXPECT_EQ(shownText.substr(label + 17), texts.show + "\n") << f.path;
    EXPECT_EQ(checkText[i].rfind(f.path + "\t", 0), 0u) << checkText[i];
    // A later copy of a game says so after its evidence.
    std::string checkLine = checkText[i];
    if (const std::size_t same = checkLine.find("\tsame game as "); same != std::string::npos) checkLine.erase(same);
    EXPECT_EQ(checkLine.substr(checkLine.rfind('\t') + 1), texts.check) << f.path;
    cut += cutAt != "null";
    withRun += jsonValue(summary, "longestRun") != "null";
  }
  EXPECT_EQ(loaded, evidence.size());
  // The files reach a cut analysis, runs of frame-perfect edges and files
  // that do not load.
  EXPECT_GE(cut, 1u);
  EXPECT_GE(withRun, 3u);
  EXPECT_GE(files.size() - loaded, 5u);
  for (const File& f : files)
    if (f.path.find("/runaudit_agree_") != std::string::npos) std::filesystem::remove(f.path);
#endif
}

}  // namespace
