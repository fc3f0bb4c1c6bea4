// The viewer's edges, decoded from its JSON the way the page reads them,
// against the evidence analysis of the same file: every sample and text
// fixture, and a game longer than the frames a page keeps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "evidence/evidence.h"
#include "replay/replay_text.h"
#include "support/replay_builder.h"
#include "view/view_data.h"

namespace {

std::vector<std::uint8_t> unbase64(const std::string& text) {
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<std::uint8_t> out;
  std::uint32_t bits = 0;
  int held = 0;
  for (char ch : text) {
    if (ch == '=') break;
    bits = (bits << 6) | static_cast<std::uint32_t>(digits.find(ch));
    held += 6;
    if (held >= 8) {
      held -= 8;
      out.push_back(static_cast<std::uint8_t>(bits >> held));
    }
  }
  return out;
}

std::vector<std::int64_t> varints(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::int64_t> out;
  std::uint64_t z = 0;
  int shift = 0;
  for (std::uint8_t b : bytes) {
    z |= static_cast<std::uint64_t>(b & 0x7f) << shift;
    shift += 7;
    if (b < 0x80) {
      out.push_back((z & 1) == 0 ? static_cast<std::int64_t>(z >> 1) : -static_cast<std::int64_t>(z >> 1) - 1);
      z = 0;
      shift = 0;
    }
  }
  return out;
}

// The text after `"name":` inside the JSON's evidence object, up to the
// next comma or brace (a string's quotes dropped).
std::string field(const std::string& json, const std::string& name) {
  const std::size_t evidence = json.find("\"evidence\":{");
  const std::size_t at = json.find("\"" + name + "\":", evidence);
  if (evidence == std::string::npos || at == std::string::npos) return "(missing)";
  std::size_t from = at + name.size() + 3;
  if (json[from] == '"') return json.substr(from + 1, json.find('"', from + 1) - from - 1);
  if (json[from] == '{') return json.substr(from, json.find('}', from) - from + 1);
  return json.substr(from, json.find_first_of(",}", from) - from);
}

std::vector<EvidenceEdge> decodeEdges(const std::string& text) {
  const std::vector<std::int64_t> v = varints(unbase64(text));
  std::vector<EvidenceEdge> out;
  std::uint64_t frame = 0;
  std::int64_t record = 0;
  for (std::size_t i = 0; i + 7 <= v.size(); i += 7) {
    frame += static_cast<std::uint64_t>(v[i]);
    record += v[i + 1];
    EvidenceEdge e{};
    e.frame = frame;
    e.record = static_cast<std::uint32_t>(record);
    e.key = static_cast<EvidenceKey>(v[i + 2] / 2);
    e.press = v[i + 2] % 2 == 1;
    e.lo = static_cast<std::int32_t>(v[i + 3]);
    e.hi = static_cast<std::int32_t>(v[i + 4]);
    e.loEnd = static_cast<WindowEnd>(v[i + 5] / 3);
    e.hiEnd = static_cast<WindowEnd>(v[i + 5] % 3);
    e.outcome = v[i + 6] == -1   ? EdgeOutcome{OutcomeKind::Dies, 0}
                : v[i + 6] == -2 ? EdgeOutcome{OutcomeKind::None, 0}
                                 : EdgeOutcome{OutcomeKind::Floor, static_cast<std::int32_t>(v[i + 6])};
    out.push_back(e);
  }
  EXPECT_EQ(v.size() % 7, 0u) << "edges end inside one";
  return out;
}

std::string cutJson(const Evidence& ev) {
  if (ev.cut == EvidenceCut::None) return "null";
  return std::string("{\"reason\":\"") + (ev.cut == EvidenceCut::Edges ? "edges" : "frames") +
         "\",\"frame\":" + std::to_string(ev.cutAtFrame) + "}";
}

struct Shown {
  std::size_t edges = 0;
  std::size_t dropped = 0;  // analysed, but past the frames kept
};

// The viewer's data for `bytes` against the analysis.
Shown compare(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  SCOPED_TRACE(name);
  ReplayFile replay{};
  if (loadReplayBytes(bytes.data(), bytes.size(), replay) != nullptr) return {};  // the viewer shows only files that load
  const ReplayView view = viewReplay(replay, bytes.size());
  const Evidence ev = analyseEvidence(replay, bytes.size());
  releaseReplay(replay);
  const std::string json = viewJson(view, nullptr);
  const std::vector<EvidenceEdge> shown = decodeEdges(field(json, "edges"));
  std::vector<EvidenceEdge> expected;
  for (const EvidenceEdge& e : ev.edges)
    if (e.frame <= view.columns.y.size() - 1) expected.push_back(e);
  EXPECT_EQ(field(json, "count"), std::to_string(expected.size()));
  EXPECT_EQ(field(json, "edgesInGame"), std::to_string(ev.edgesInGame));
  EXPECT_EQ(field(json, "reach"), "8");
  EXPECT_EQ(field(json, "horizon"), "600");
  EXPECT_EQ(field(json, "cut"), cutJson(ev));
  EXPECT_EQ(shown.size(), expected.size());
  for (std::size_t i = 0; i < std::min(shown.size(), expected.size()); ++i) {
    const EvidenceEdge &a = shown[i], &b = expected[i];
    EXPECT_TRUE(a.frame == b.frame && a.record == b.record && a.key == b.key && a.press == b.press && a.lo == b.lo &&
                a.hi == b.hi && a.loEnd == b.loEnd && a.hiEnd == b.hiEnd && a.outcome == b.outcome)
        << "edge " << i << " at frame " << b.frame << " shown as frame " << a.frame;
  }
  // The timeline marks exactly the frame-perfect ones.
  const std::string svg = overviewSvg(view);
  std::size_t marks = 0, perfect = 0;
  for (std::size_t at = svg.find("class=\"frame-perfect\""); at != std::string::npos; at = svg.find("class=\"frame-perfect\"", at + 1))
    ++marks;
  for (const EvidenceEdge& e : expected) perfect += isFramePerfect(e) ? 1 : 0;
  EXPECT_EQ(marks, perfect);
  return {shown.size(), ev.edges.size() - expected.size()};
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ViewEvidence, EdgesAreTheAnalysisOfEverySampleAndFixture) {
  const std::filesystem::path root = RUNAUDIT_SOURCE_ROOT;
  std::size_t files = 0, edges = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root / "samples"))
    if (entry.path().extension() == ".wlx") {
      edges += compare(readFile(entry.path()), entry.path().filename().string()).edges;
      ++files;
    }
  for (const auto& entry : std::filesystem::directory_iterator(root / "tests" / "tool" / "fixtures")) {
    if (entry.path().extension() != ".txt") continue;
    const std::vector<std::uint8_t> text = readFile(entry.path());
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!replayTextToBytes(std::string(text.begin(), text.end()), bytes, error)) continue;
    edges += compare(bytes, entry.path().filename().string()).edges;
    ++files;
  }
  EXPECT_GE(files, 3u);
  EXPECT_GT(edges, 0u) << "no file had an edge to compare";
}

// Past the frames a page keeps, the edges stop with the frames; the
// analysis's own cut and count stay as they are.
TEST(ViewEvidence, EdgesStopWithTheFramesKept) {
  ReplayFixture f = seed36Replay();
  f.records.clear();
  std::mt19937 random(7);
  std::uint64_t frames = 0;
  while (frames < MAX_VIEW_FRAMES + 5000) {
    // Standing still, left pressed now and then: the player never climbs, and the game goes on.
    const std::int32_t length = 50000 + static_cast<std::int32_t>(random() % 1000);
    f.records.push_back({length - 1, 0});
    f.records.push_back({0, INPUT_LEFT});
    frames += static_cast<std::uint64_t>(length) + 1;
  }
  f.records.push_back({0, END_MARKER});
  const Shown shown = compare(buildReplayBytes(f), "long game");
  EXPECT_GT(shown.edges, 0u);
  EXPECT_GT(shown.dropped, 0u);
}

}  // namespace
