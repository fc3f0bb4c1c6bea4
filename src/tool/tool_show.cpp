#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "replay/replay_text.h"
#include "api/runaudit.h"
#include "view/json_text.h"
#include "api/result_facts.h"
#include "tool/tool_common.h"
#include "verify/playback.h"
#include "view/display_text.h"

namespace {

std::size_t textLength(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, '\0', width);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width;
}

void printText(const char* path, const runaudit_result& r) {
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
}

void printJson(const char* path, const runaudit_result& r) {
  const runaudit_header& h = r.header;
  std::printf("{%s", jsonNameField("file", path, std::strlen(path)).c_str());
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
  std::printf("\"simulated\":{\"floor\":%" PRId32 ",\"combo\":%" PRId32 "}}\n", r.highestFloor, r.bestCombo);
}

// What a file the loader rejects as "not a valid replay" holds, check by
// check in the loader's order: the first that fails is the reason.
struct Rejection {
  std::uint64_t size;
  bool sizeAtLeast;  // a stream that went on: size is a lower bound
  bool hasHeader;
  ReplayHeader header;
  bool signatureOk;
  std::uint64_t bodyNeeded;
  bool checksumKnown;
  std::uint32_t computed;
  const char* reason;
};

Rejection examine(const ReplayImage& image) {
  const std::vector<std::uint8_t>& bytes = image.bytes;
  Rejection r{};
  r.size = image.size();
  r.sizeAtLeast = image.tail.atLeast;
  r.hasHeader = bytes.size() >= REPLAY_HEADER_SIZE;
  if (!r.hasHeader) {
    r.reason = "shorter than the 98-byte header";
    return r;
  }
  r.header = decodeHeader(bytes.data());
  r.signatureOk = std::memcmp(r.header.signature, REPLAY_SIGNATURE, sizeof REPLAY_SIGNATURE) == 0;
  r.bodyNeeded = r.header.recordCount < 0 ? 0 : static_cast<std::uint64_t>(r.header.recordCount) * INPUT_RECORD_SIZE;
  if (!r.signatureOk) {
    r.reason = "the signature is not WLX130";
  } else if (r.header.recordCount < 0) {
    r.reason = "the record count is negative";
  } else if (bytes.size() - REPLAY_HEADER_SIZE < r.bodyNeeded) {
    r.reason = "the file is shorter than its records";
  } else {
    const ReplayFile replay{r.header, bytes.data() + REPLAY_HEADER_SIZE, nullptr};
    r.checksumKnown = true;
    r.computed = replayChecksum(replay);
    r.reason = r.computed != r.header.checksum ? "the checksum does not match" : "none found (the file changed?)";
  }
  return r;
}

void printRejection(const char* path, const Rejection& r, bool json) {
  const ReplayHeader& h = r.header;
  if (json) {
    std::printf("{%s\"valid\":false,\"rejected\":%s,\"size\":%" PRIu64 ",%s", jsonNameField("file", path, std::strlen(path)).c_str(),
                jsonString(r.reason, std::strlen(r.reason)).c_str(), r.size, r.sizeAtLeast ? "\"sizeIsLowerBound\":true," : "");
    if (r.hasHeader)
      std::printf("\"signatureHex\":%s,\"recordCount\":%" PRId32 ",\"bodyNeeded\":%" PRIu64 ",\"storedChecksum\":%" PRIu32 ",",
                  hexString(h.signature, sizeof h.signature).c_str(), h.recordCount, r.bodyNeeded, h.checksum);
    if (r.checksumKnown)
      std::printf("\"computedChecksum\":%" PRIu32 "}\n", r.computed);
    else
      std::printf("\"computedChecksum\":null}\n");
    return;
  }
  std::printf("File:           %s\n", displayText(path, std::strlen(path)).c_str());
  std::printf("Rejected:       %s\n", r.reason);
  std::printf("Size:           %s%" PRIu64 " bytes (a 98-byte header, then 5 bytes per record)\n", r.sizeAtLeast ? "at least " : "",
              r.size);
  if (!r.hasHeader) return;
  std::printf("Signature:      %s (expected WLX130)\n", displayText(h.signature, sizeof h.signature).c_str());
  std::printf("Records:        %" PRId32 ", needing %" PRIu64 " bytes after the header: the file has %s%" PRIu64 "\n",
              h.recordCount, r.bodyNeeded, r.sizeAtLeast ? "at least " : "", r.size - REPLAY_HEADER_SIZE);
  if (r.checksumKnown)
    std::printf("Checksum:       stored 0x%08" PRIX32 ", computed 0x%08" PRIX32 "\n", h.checksum, r.computed);
  else
    std::printf("Checksum:       stored 0x%08" PRIX32 ", not computed\n", h.checksum);
}

}  // namespace

int runShow(const CommandLine& line) {
  if (const std::string wrong = operandError("show", line, 1, "FILE"); !wrong.empty())
    return reportError(EXIT_USAGE, wrong);
  const char* path = line.operands[0].c_str();
  const bool json = line.has("--json");

  ReplayImage image;
  std::string error;
  if (!readReplayImage(path, image, error)) return reportError(EXIT_FAILED, error);
  runaudit_result result;
  if (runaudit_check_bytes(image.bytes.data(), image.bytes.size(), &result) == RUNAUDIT_ERROR) {
    // show exists to explain: say which check a rejected file fails.
    if (result.loadError == RUNAUDIT_NOT_A_REPLAY) printRejection(path, examine(image), json);
    return reportError(EXIT_FAILED, fileError(path, result.error));
  }
  json ? printJson(path, result) : printText(path, result);
  // show has done its job once it has explained the file, valid or not.
  return EXIT_ALL_VALID;
}
