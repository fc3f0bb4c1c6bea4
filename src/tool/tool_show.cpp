#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "replay/replay_text.h"
#include "evidence/evidence_json.h"
#include "api/runaudit.h"
#include "view/json_text.h"
#include "api/result_facts.h"
#include "tool/evidence_summary.h"
#include "tool/tool_common.h"
#include "verify/playback.h"
#include "view/display_text.h"

namespace {

std::size_t textLength(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, '\0', width);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width;
}

void printText(const char* path, const runaudit_result& r, const Evidence& evidence) {
  const runaudit_header& h = r.header;
  std::printf("File:           %s\n", displayText(path, std::strlen(path)).c_str());
  std::printf("Signature:      %s\n", displayText(h.signature, sizeof h.signature).c_str());
  std::printf("Name:           %s\n", displayText(h.name, textLength(h.name, 32)).c_str());
  std::printf("Date:           %s\n", displayText(h.date, textLength(h.date, 32)).c_str());
  std::printf("Score:          %" PRId32 "\n", h.score);
  std::printf("Floor:          %" PRId32 "\n", h.floor);
  std::printf("Combo:          %" PRId32 "\n", h.combo);
  std::printf("Rejump:         %" PRId32 " (%s)\n", h.rejump, h.rejump != 0 ? "on" : "off");
  std::printf("Seed:           0x%08" PRIX32 "\n", h.seed);
  std::printf("Checksum:       0x%08" PRIX32 " (matches)\n", h.checksum);
  std::printf("Records:        %" PRId32 "\n", h.recordCount);
  std::printf("Verdict:        %s\n", runaudit_verdict_name(r.verdict));
  std::printf("Frames:         %" PRIu64 "\n", r.frames);
  if (r.ended.frame != 0)
    std::printf("Game ended:     frame %" PRIu64 ", frame %" PRIu64 " of record %" PRIu32 "\n", r.ended.frame,
                r.ended.frameInRecord, r.ended.record);
  else
    std::printf("Game ended:     no; the player was still alive at the %s\n",
                r.aliveAt == RUNAUDIT_ALIVE_AT_END_MARKER ? "end marker" : "end of the records");
  if (r.endMarkerRecord == 0)
    std::printf("End marker:     none\n");
  else
    std::printf("End marker:     record %" PRIu32 "%s\n", r.endMarkerRecord,
                r.markerFollows ? " (follows the record in which the game ended)" : "");
  std::printf("Highest floor:  %" PRId32 "\n", r.highestFloor);
  std::printf("Best combo:     %" PRId32 "\n", r.bestCombo);
  std::printf("Combo score:    %" PRId32 "\n", r.comboScore);
  std::printf("Speed level:    %" PRId32 "\n", r.speedLevel);
  std::printf("Claimed:        score %" PRId32 ", floor %" PRId32 ", combo %" PRId32 "\n", h.score, h.floor, h.combo);
  std::printf("Simulated:      floor %" PRId32 ", combo %" PRId32 "\n", r.highestFloor, r.bestCombo);
  if (r.claims == RUNAUDIT_CLAIMS_MATCH)
    std::printf("Claims:         match (floor and combo; the score is not checked)\n");
  else
    std::printf("Claims:         differ (%s)\n", claimsDifference(r).c_str());
  std::printf("Game digest:    %s\n", gameDigestHex(r).c_str());
  std::printf("Evidence:       %s\n", evidenceShowText(evidence).c_str());
}

void printJson(const char* path, const runaudit_result& r, const Evidence& evidence) {
  const runaudit_header& h = r.header;
  std::printf("{%s%s,", jsonNameField("file", path, std::strlen(path)).c_str(), checkerJsonField().c_str());
  // The text fields as UTF-8 text, and as hex for the bytes that are not.
  const std::size_t nameLength = textLength(h.name, 32), dateLength = textLength(h.date, 32);
  std::printf("\"header\":{\"signature\":%s,\"recordCount\":%" PRId32 ",\"name\":%s,\"date\":%s,",
              jsonString(h.signature, sizeof h.signature).c_str(), h.recordCount,
              jsonString(h.name, nameLength).c_str(), jsonString(h.date, dateLength).c_str());
  std::printf("\"signatureHex\":%s,\"nameHex\":%s,\"dateHex\":%s,", hexString(h.signature, sizeof h.signature).c_str(),
              hexString(h.name, nameLength).c_str(), hexString(h.date, dateLength).c_str());
  std::printf("\"score\":%" PRId32 ",\"floor\":%" PRId32 ",\"combo\":%" PRId32 ",\"rejump\":%" PRId32
              ",\"seed\":%" PRIu32 ",\"checksum\":%" PRIu32 "},",
              h.score, h.floor, h.combo, h.rejump, h.seed, h.checksum);
  std::printf("\"valid\":%s,%s,", r.verdict == RUNAUDIT_VALID ? "true" : "false", resultJsonFields(r).c_str());
  std::printf("\"simulated\":{\"floor\":%" PRId32 ",\"combo\":%" PRId32 "},\"evidence\":%s}\n", r.highestFloor,
              r.bestCombo, evidenceBriefJson(evidence).c_str());
}

// A file that did not load, in the shape of any other: the loader's
// message and, in plain words, which of its checks refused the file.
void printRejection(const char* path, const runaudit_result& r, bool json) {
  if (json) {
    std::printf("{%s%s,\"header\":null,\"valid\":false,%s,\"simulated\":null,\"evidence\":null}\n",
                jsonNameField("file", path, std::strlen(path)).c_str(), checkerJsonField().c_str(),
                resultJsonFields(r).c_str());
    return;
  }
  std::printf("File:           %s\n", displayText(path, std::strlen(path)).c_str());
  std::printf("Verdict:        %s\n", runaudit_verdict_name(r.verdict));
  std::printf("Error:          %s\n", r.error);
  std::printf("Rejected:       %s\n", rejectionText(r).c_str());
}

}  // namespace

int runShow(const CommandLine& line) {
  if (const std::string wrong = operandError("show", line, 1, "FILE"); !wrong.empty())
    return reportError(EXIT_USAGE, wrong);
  const char* path = line.operands[0].c_str();
  const bool json = line.has("--json");

  ReplayImage image;
  std::string error;
  runaudit_result result;
  if (!readReplayImage(path, image, error)) {
    // Not read at all: still a result in the shape of any other, with the
    // system's reason on standard error.
    runaudit_check_file(isStandardStream(path) ? nullptr : path, &result);
    if (result.verdict == RUNAUDIT_ERROR) printRejection(path, result, json);
    return reportError(EXIT_FAILED, error);
  }
  if (runaudit_check_bytes(image.bytes.data(), image.bytes.size(), &result) == RUNAUDIT_ERROR) {
    // show exists to explain: say which check a rejected file fails.
    printRejection(path, result, json);
    return reportError(EXIT_FAILED, fileError(path, result.error));
  }
  // The bytes loaded once already; the analysis is bounded by the file's size.
  const std::optional<Evidence> evidence = imageEvidence(image);
  if (!evidence) return reportError(EXIT_FAILED, fileError(path, MSG_NOT_A_REPLAY));
  json ? printJson(path, result, *evidence) : printText(path, result, *evidence);
  // show has done its job once it has explained the file, valid or not.
  return EXIT_ALL_VALID;
}
