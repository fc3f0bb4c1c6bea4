#include "api/result_facts.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "replay/replay_file.h"
#include "verify/sha256.h"
#include "view/json_text.h"

namespace {

std::string quoted(const char* text) { return text == nullptr ? "null" : jsonString(text, std::strlen(text)); }

std::string differs(const char* what, std::int32_t claimed, std::int32_t reached) {
  char text[80];
  std::snprintf(text, sizeof text, "%s %" PRId32 " claimed, %" PRId32 " reached", what, claimed, reached);
  return text;
}

const char* plural(std::uint64_t n) { return n == 1 ? "" : "s"; }

// The rejection's members: its name, its sentence and its numbers.
std::string rejectionJson(const runaudit_result& r) {
  const char* name = runaudit_rejection_name(r.rejection);
  std::string j = ",\"rejection\":" + quoted(name) + ",\"why\":";
  if (name == nullptr) return j.append("null,\"size\":null,\"checksum\":null");
  const std::string why = rejectionText(r);
  j.append(jsonString(why.data(), why.size()));
  char text[160];
  if (r.rejection == RUNAUDIT_REJECT_TOO_SHORT || r.rejection == RUNAUDIT_REJECT_RECORDS_PAST_END)
    std::snprintf(text, sizeof text, ",\"size\":{\"needed\":%" PRIu64 ",\"present\":%" PRIu64 "}", r.size.needed, r.size.present);
  else
    std::snprintf(text, sizeof text, ",\"size\":null");
  j.append(text);
  if (r.rejection == RUNAUDIT_REJECT_BAD_CHECKSUM)
    std::snprintf(text, sizeof text, ",\"checksum\":{\"stored\":%" PRIu32 ",\"computed\":%" PRIu32 "}", r.checksum.stored,
                  r.checksum.computed);
  else
    std::snprintf(text, sizeof text, ",\"checksum\":null");
  return j.append(text);
}

}  // namespace

int formatRejection(const runaudit_result& r, char* buffer, std::size_t size) {
  const std::uint64_t body = r.size.present > REPLAY_HEADER_SIZE ? r.size.present - REPLAY_HEADER_SIZE : 0;
  const std::uint64_t wanted = r.size.needed > REPLAY_HEADER_SIZE ? r.size.needed - REPLAY_HEADER_SIZE : 0;
  switch (r.rejection) {
    case RUNAUDIT_REJECT_OPEN_FAILED:
      return std::snprintf(buffer, size, "there is no such file, or it may not be opened");
    case RUNAUDIT_REJECT_TOO_SHORT:
      return std::snprintf(buffer, size, "too short: its size is %" PRIu64 " byte%s, less than the 98 of a header", r.size.present,
                           plural(r.size.present));
    case RUNAUDIT_REJECT_BAD_SIGNATURE:
      return std::snprintf(buffer, size, "it does not begin with the signature WLX130");
    case RUNAUDIT_REJECT_NEGATIVE_COUNT:
      return std::snprintf(buffer, size, "the header announces a negative number of records");
    case RUNAUDIT_REJECT_RECORDS_PAST_END:
      return std::snprintf(buffer, size, "cut short: the header announces %" PRIu64 " record%s (%" PRIu64 " bytes) but %" PRIu64
                           " byte%s follow%s", wanted / 5, plural(wanted / 5), wanted, body, plural(body), body == 1 ? "s" : "");
    case RUNAUDIT_REJECT_BAD_CHECKSUM:
      return std::snprintf(buffer, size, "the checksum is 0x%08" PRIX32 " but the bytes give 0x%08" PRIX32
                           ": the file was changed after it was recorded", r.checksum.stored, r.checksum.computed);
    case RUNAUDIT_REJECT_READ_FAILED:
      return std::snprintf(buffer, size, "reading it stopped before the bytes its size promised");
    case RUNAUDIT_REJECT_NO_MEMORY:
      return std::snprintf(buffer, size, "there was not enough memory to check it");
    default:
      if (size > 0) buffer[0] = '\0';
      return 0;
  }
}

std::string rejectionText(const runaudit_result& r) {
  char text[256];
  const int n = formatRejection(r, text, sizeof text);
  return std::string(text, n < 0 ? 0 : static_cast<std::size_t>(n));
}

std::string checkerJsonField() { return "\"checker\":\"runaudit " RUNAUDIT_VERSION "\""; }

std::string gameDigestHex(const runaudit_result& r) {
  Sha256Digest digest;
  std::memcpy(digest.data(), r.gameDigest, digest.size());
  const std::array<char, 64> hex = sha256Hex(digest);
  return std::string(hex.data(), hex.size());
}

std::string resultJsonFields(const runaudit_result& r) {
  std::string j = "\"verdict\":" + quoted(runaudit_verdict_name(r.verdict)) + ",\"error\":" + quoted(r.error);
  j.append(rejectionJson(r));
  if (r.verdict == RUNAUDIT_ERROR)
    return j.append(
        ",\"frames\":null,\"ended\":null,\"aliveAt\":null,\"endMarkerRecord\":null,\"markerFollows\":null,"
        "\"highestFloor\":null,\"bestCombo\":null,\"comboScore\":null,\"speedLevel\":null,\"claimed\":null,\"claims\":null,"
        "\"gameDigest\":null");
  char text[512];
  std::snprintf(text, sizeof text, ",\"frames\":%" PRIu64, r.frames);
  j.append(text);
  if (r.ended.frame != 0) {
    std::snprintf(text, sizeof text, ",\"ended\":{\"frame\":%" PRIu64 ",\"record\":%" PRIu32 ",\"frameInRecord\":%" PRIu64 "}",
                  r.ended.frame, r.ended.record, r.ended.frameInRecord);
    j.append(text);
  } else {
    j.append(",\"ended\":null");
  }
  j.append(",\"aliveAt\":").append(quoted(runaudit_alive_at_name(r.aliveAt)));
  j.append(",\"endMarkerRecord\":").append(r.endMarkerRecord == 0 ? "null" : std::to_string(r.endMarkerRecord));
  std::snprintf(text, sizeof text,
                ",\"markerFollows\":%s,\"highestFloor\":%" PRId32 ",\"bestCombo\":%" PRId32 ",\"comboScore\":%" PRId32
                ",\"speedLevel\":%" PRId32 ",\"claimed\":{\"score\":%" PRId32 ",\"floor\":%" PRId32 ",\"combo\":%" PRId32 "}",
                r.markerFollows ? "true" : "false", r.highestFloor, r.bestCombo, r.comboScore, r.speedLevel, r.header.score,
                r.header.floor, r.header.combo);
  j.append(text);
  j.append(",\"claims\":").append(quoted(runaudit_claims_name(r.claims)));
  return j.append(",\"gameDigest\":\"").append(gameDigestHex(r)).append("\"");
}

std::string resultJson(const runaudit_result& r) {
  std::string j = "{";
  j.append(checkerJsonField()).append(",").append(resultJsonFields(r)).append(",\"header\":");
  if (r.verdict == RUNAUDIT_ERROR) return j.append("null}");
  const runaudit_header& h = r.header;
  char text[256];
  std::snprintf(text, sizeof text, ",\"recordCount\":%" PRId32, h.recordCount);
  j.append("{\"signature\":").append(jsonString(h.signature, sizeof h.signature)).append(text);
  j.append(",\"name\":").append(jsonString(h.name, strnlen(h.name, sizeof h.name)));
  j.append(",\"date\":").append(jsonString(h.date, strnlen(h.date, sizeof h.date)));
  std::snprintf(text, sizeof text,
                ",\"score\":%" PRId32 ",\"floor\":%" PRId32 ",\"combo\":%" PRId32 ",\"rejump\":%" PRId32 ",\"seed\":%" PRIu32
                ",\"checksum\":%" PRIu32 "}}",
                h.score, h.floor, h.combo, h.rejump, h.seed, h.checksum);
  return j.append(text);
}

std::string claimsDifference(const runaudit_result& r) {
  std::string text;
  if (r.claims != RUNAUDIT_CLAIMS_DIFFER) return text;
  if (r.header.floor != r.highestFloor) text = differs("floor", r.header.floor, r.highestFloor);
  if (r.header.combo != r.bestCombo) text.append(text.empty() ? "" : "; ").append(differs("combo", r.header.combo, r.bestCombo));
  return text;
}
