#include "api/result_facts.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "view/json_text.h"

namespace {

std::string quoted(const char* text) { return text == nullptr ? "null" : jsonString(text, std::strlen(text)); }

std::string differs(const char* what, std::int32_t claimed, std::int32_t reached) {
  char text[80];
  std::snprintf(text, sizeof text, "%s %" PRId32 " claimed, %" PRId32 " reached", what, claimed, reached);
  return text;
}

}  // namespace

std::string resultJsonFields(const runaudit_result& r) {
  std::string j = "\"verdict\":" + quoted(runaudit_verdict_name(r.verdict)) + ",\"error\":" + quoted(r.error);
  if (r.verdict == RUNAUDIT_ERROR)
    return j.append(
        ",\"frames\":null,\"ended\":null,\"aliveAt\":null,\"endMarkerRecord\":null,\"markerFollows\":null,"
        "\"highestFloor\":null,\"bestCombo\":null,\"comboScore\":null,\"speedLevel\":null,\"claimed\":null,\"claims\":null");
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
  return j.append(",\"claims\":").append(quoted(runaudit_claims_name(r.claims)));
}

std::string resultJson(const runaudit_result& r) {
  std::string j = "{";
  j.append(resultJsonFields(r)).append(",\"header\":");
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
