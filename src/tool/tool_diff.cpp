// replaytool diff: two replays side by side, as files and as games.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api/result_facts.h"
#include "api/runaudit.h"
#include "tool/game_compare.h"
#include "tool/tool_common.h"
#include "view/display_text.h"
#include "view/json_text.h"

namespace {

std::size_t textLength(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, '\0', width);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width;
}

// A header field that differs, with show's label and show --json's name,
// each value as show prints it.
struct HeaderDifference {
  const char* label;
  const char* name;
  std::string text[2];
  std::string json[2];
};

std::string number(const char* format, std::int64_t v) {
  char out[32];
  std::snprintf(out, sizeof out, format, v);
  return out;
}

std::vector<HeaderDifference> headerDifferences(const ReplayHeader& a, const ReplayHeader& b) {
  std::vector<HeaderDifference> out;
  const auto text = [&out](const char* label, const char* name, const char* x, const char* y) {
    const std::size_t lx = textLength(x, 32), ly = textLength(y, 32);
    if (lx == ly && std::memcmp(x, y, lx) == 0) return;
    out.push_back({label, name, {displayText(x, lx), displayText(y, ly)}, {jsonString(x, lx), jsonString(y, ly)}});
  };
  const auto integer = [&out](const char* label, const char* name, const char* format, std::int64_t x,
                              std::int64_t y) {
    if (x == y) return;
    out.push_back({label, name, {number(format, x), number(format, y)}, {std::to_string(x), std::to_string(y)}});
  };
  text("Name:", "name", a.playerName, b.playerName);
  text("Date:", "date", a.date, b.date);
  integer("Score:", "score", "%" PRId64, a.score, b.score);
  integer("Floor:", "floor", "%" PRId64, a.floor, b.floor);
  integer("Combo:", "combo", "%" PRId64, a.combo, b.combo);
  if (a.rejump != b.rejump) {
    const auto shown = [](std::int32_t r) { return std::to_string(r) + (r != 0 ? " (on)" : " (off)"); };
    out.push_back({"Rejump:", "rejump", {shown(a.rejump), shown(b.rejump)},
                   {std::to_string(a.rejump), std::to_string(b.rejump)}});
  }
  integer("Seed:", "seed", "0x%08" PRIX64, a.seed, b.seed);
  integer("Checksum:", "checksum", "0x%08" PRIX64, a.checksum, b.checksum);
  integer("Records:", "recordCount", "%" PRId64, a.recordCount, b.recordCount);
  return out;
}

const char* gameText(const GameComparison& c) {
  if (c.sameGame) return "same (seed, rejump and the input of every frame played)";
  if (!c.sameSeed) return c.sameRejump ? "different (seed differs)" : "different (seed and rejump differ)";
  if (!c.sameRejump) return "different (rejump differs)";
  return "different (inputs differ)";
}

const char* stateComparisonName(StateComparison k) {
  switch (k) {
    case StateComparison::NotCompared: return "not compared";
    case StateComparison::Same: return "same inputs";
    case StateComparison::Found: return "found";
    case StateComparison::Bounded: return "bounded";
    case StateComparison::Ended: return "to the end";
  }
  return "?";
}

void printText(const std::string paths[2], const GameComparison& c, const std::vector<HeaderDifference>& header,
               const std::string digests[2]) {
  std::printf("File A:         %s\n", displayText(paths[0]).c_str());
  std::printf("File B:         %s\n", displayText(paths[1]).c_str());
  if (header.empty()) std::printf("Header:         same\n");
  for (const HeaderDifference& d : header)
    std::printf("%-16s%s | %s\n", d.label, d.text[0].c_str(), d.text[1].c_str());
  std::printf("Game:           %s\n", gameText(c));
  if (digests[0] == digests[1])
    std::printf("Game digest:    %s (both)\n", digests[0].c_str());
  else
    std::printf("Game digest:    %s | %s\n", digests[0].c_str(), digests[1].c_str());
  std::printf("Frames:         %" PRIu64 " | %" PRIu64 "\n", c.frames[0], c.frames[1]);
  std::printf("Shared frames:  %" PRIu64 "\n", c.sharedFrames);
  if (c.input.found)
    std::printf("Input differs:  frame %" PRIu64 ": record %" PRIu32 " | record %" PRIu32 ", input 0x%02X | 0x%02X\n",
                c.input.frame, c.input.record[0], c.input.record[1], c.input.input[0], c.input.input[1]);
  else
    std::printf("Input differs:  none on the %" PRIu64 " frames both play\n", c.sharedFrames);
  const StateDifference& s = c.state;
  const std::uint64_t from = c.input.frame;
  switch (s.kind) {
    case StateComparison::NotCompared:
      std::printf("State differs:  not compared (different games from the first frame)\n");
      break;
    case StateComparison::Same:
      std::printf("State differs:  none (the same inputs on the %" PRIu64 " frames both play)\n", s.comparedTo);
      break;
    case StateComparison::Found:
      std::printf("State differs:  frame %" PRIu64 ": %s %s | %s\n", s.frame, s.field.field, s.field.a, s.field.b);
      break;
    case StateComparison::Bounded:
      std::printf("State differs:  none on frames %" PRIu64 " to %" PRIu64 " (compared no further)\n", from,
                  s.comparedTo);
      break;
    case StateComparison::Ended:
      std::printf("State differs:  none on frames %" PRIu64 " to %" PRIu64 ", the last both play\n", from,
                  s.comparedTo);
      break;
  }
  if (c.prefix == 0)
    std::printf("Prefix:         none\n");
  else
    std::printf("Prefix:         %s (its %" PRIu64 " frames are %s's first %" PRIu64 ")\n", c.prefix == 1 ? "A" : "B",
                c.sharedFrames, c.prefix == 1 ? "B" : "A", c.sharedFrames);
}

void printJson(const std::string paths[2], const GameComparison& c, const std::vector<HeaderDifference>& header,
               const std::string digests[2]) {
  for (int i = 0; i < 2; ++i) {
    std::string file = jsonNameField("file", paths[i].data(), paths[i].size());
    std::printf("%s{%s\"frames\":%" PRIu64 "}", i == 0 ? "{\"a\":" : ",\"b\":", file.c_str(), c.frames[i]);
  }
  std::printf(",\"headerDifferences\":{");
  for (std::size_t i = 0; i < header.size(); ++i)
    std::printf("%s\"%s\":[%s,%s]", i == 0 ? "" : ",", header[i].name, header[i].json[0].c_str(),
                header[i].json[1].c_str());
  std::printf("},\"sameGame\":%s,\"sameSeed\":%s,\"sameRejump\":%s", c.sameGame ? "true" : "false",
              c.sameSeed ? "true" : "false", c.sameRejump ? "true" : "false");
  std::printf(",\"gameDigest\":[\"%s\",\"%s\"]", digests[0].c_str(), digests[1].c_str());
  std::printf(",\"sharedFrames\":%" PRIu64 ",\"inputDifference\":", c.sharedFrames);
  if (c.input.found)
    std::printf("{\"frame\":%" PRIu64 ",\"records\":[%" PRIu32 ",%" PRIu32 "],\"inputs\":[%u,%u]}", c.input.frame,
                c.input.record[0], c.input.record[1], c.input.input[0], c.input.input[1]);
  else
    std::printf("null");
  const StateDifference& s = c.state;
  std::printf(",\"stateCompared\":\"%s\",\"stateComparedTo\":", stateComparisonName(s.kind));
  s.kind == StateComparison::NotCompared ? std::printf("null") : std::printf("%" PRIu64, s.comparedTo);
  std::printf(",\"stateDifference\":");
  if (s.kind == StateComparison::Found)
    std::printf("{\"frame\":%" PRIu64 ",\"field\":\"%s\",\"values\":[\"%s\",\"%s\"]}", s.frame, s.field.field,
                s.field.a, s.field.b);
  else
    std::printf("null");
  std::printf(",\"prefix\":%s}\n", c.prefix == 0 ? "null" : c.prefix == 1 ? "\"a\"" : "\"b\"");
}

}  // namespace

int runDiff(const CommandLine& line) {
  if (const std::string wrong = operandError("diff", line, 2, "A and B"); !wrong.empty())
    return reportError(EXIT_USAGE, wrong);
  const std::string paths[2] = {line.operands[0], line.operands[1]};
  if (isStandardStream(paths[0]) && isStandardStream(paths[1]))
    return reportError(EXIT_USAGE, "diff: - (standard input) given more than once");

  ReplayImage images[2];
  ReplayFile replays[2]{};
  std::string error;
  // A file that does not load is trouble, as it is for cmp: status 2.
  if (!loadReplayImage(paths[0], images[0], replays[0], error)) return reportError(EXIT_USAGE, error);
  if (!loadReplayImage(paths[1], images[1], replays[1], error)) {
    releaseReplay(replays[0]);
    return reportError(EXIT_USAGE, error);
  }
  const GameComparison c = compareGames(replays[0], replays[1]);
  // Each game's identity, as check and show give it (one playback each).
  std::string digests[2];
  for (int i = 0; i < 2; ++i) {
    runaudit_result r{};
    runaudit_check_bytes(images[i].bytes.data(), images[i].bytes.size(), &r);
    digests[i] = gameDigestHex(r);
  }
  const std::vector<HeaderDifference> header = headerDifferences(replays[0].header, replays[1].header);
  line.has("--json") ? printJson(paths, c, header, digests) : printText(paths, c, header, digests);
  releaseReplay(replays[0]);
  releaseReplay(replays[1]);
  return c.sameGame ? 0 : 1;
}
