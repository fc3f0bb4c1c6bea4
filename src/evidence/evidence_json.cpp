#include "evidence/evidence_json.h"

#include <cstdio>

#include "api/result_facts.h"

namespace {

std::string u64(std::uint64_t v) { return std::to_string(v); }

bool hasShare(const Evidence& ev) { return ev.summary.decisive != 0; }
double share(const Evidence& ev) {
  return hasShare(ev) ? static_cast<double>(ev.summary.framePerfect) / static_cast<double>(ev.summary.decisive) : 0.0;
}

std::string outcomeJson(const EdgeOutcome& o) {
  if (o.kind == OutcomeKind::Floor) return std::to_string(o.floor);
  std::string quoted = "\"";
  quoted += outcomeName(o);
  quoted += '"';
  return quoted;
}

std::string histogramJson(const Histogram& h) {
  std::string out = "{";
  for (const auto& [value, count] : h) out += (out.size() > 1 ? ",\"" : "\"") + u64(value) + "\":" + u64(count);
  return out + "}";
}

std::string factJson(const FileFact& f) {
  std::string out = "{\"count\":" + u64(f.count) + ",\"places\":[";
  for (std::size_t i = 0; i < f.places.size(); ++i)
    out += (i ? ",{\"record\":" : "{\"record\":") + std::to_string(f.places[i].record) + ",\"frame\":" +
           (f.places[i].frame != 0 ? u64(f.places[i].frame) : "null") + "}";
  return out + "]}";
}

}  // namespace

const char* outcomeName(const EdgeOutcome& o) {
  return o.kind == OutcomeKind::Dies ? "dies" : o.kind == OutcomeKind::None ? "none" : "floor";
}

std::string evidenceCutJson(const Evidence& ev) {
  if (ev.cut == EvidenceCut::None) return "null";
  return "{\"reason\":\"" + std::string(ev.cut == EvidenceCut::Edges ? "edges" : "frames") + "\",\"frame\":" +
         u64(ev.cutAtFrame) + "}";
}

std::string evidenceSummaryJson(const Evidence& ev) {
  const EvidenceSummary& s = ev.summary;
  char number[64];
  std::snprintf(number, sizeof number, "%.17g", share(ev));
  std::string out = "{\"edges\":" + u64(s.edges) + ",\"decisive\":" + u64(s.decisive) +
         ",\"framePerfect\":" + u64(s.framePerfect) + ",\"framePerfectShare\":" + (hasShare(ev) ? number : "null") +
         ",\"widths\":" + histogramJson(s.widths) + ",\"longestRun\":";
  out += s.longestRun == 0 ? std::string("null")
                           : "{\"edges\":" + u64(s.longestRun) + ",\"first\":" + u64(s.runFirstFrame) +
                                 ",\"last\":" + u64(s.runLastFrame) + "}";
  out += ",\"keys\":{";
  for (int k = 0; k < EVIDENCE_KEYS; ++k) {
    const KeyRhythm& r = s.keys[k];
    out += (k ? ",\"" : "\"") + std::string(keyName(static_cast<EvidenceKey>(k))) + "\":{\"presses\":" + u64(r.presses) +
           ",\"durations\":" + histogramJson(r.durations) + ",\"gaps\":" + histogramJson(r.gaps) +
           ",\"shortestGap\":" + (r.shortestGap != 0 ? u64(r.shortestGap) : "null") + "}";
  }
  std::snprintf(number, sizeof number, "%.17g", s.modelLog10);
  out += "},\"leftAndRight\":" + u64(s.leftAndRight) + ",\"model\":{\"log10\":" + number + ",\"model\":\"" +
         EVIDENCE_MODEL_TEXT + "\"}}";
  return out;
}

std::string evidenceBriefJson(const Evidence& ev) {
  return "{\"cut\":" + evidenceCutJson(ev) + ",\"summary\":" + evidenceSummaryJson(ev) + "}";
}

std::string evidenceJsonFields(const Evidence& ev, const FileFacts& facts) {
  std::string out = checkerJsonField() + ",\"reach\":" + std::to_string(ev.reach) + ",\"horizon\":" + std::to_string(ev.horizon) +
         ",\"frames\":" + u64(ev.gameFrames) + ",\"died\":" + (ev.died ? "true" : "false") +
         ",\"edgesInGame\":" + u64(ev.edgesInGame) + ",\"cut\":";
  out += evidenceCutJson(ev);
  out += ",\"framesStepped\":" + u64(ev.framesStepped) + ",\"edges\":[";
  for (std::size_t i = 0; i < ev.edges.size(); ++i) {
    const EvidenceEdge& e = ev.edges[i];
    out += (i ? ",{\"frame\":" : "{\"frame\":") + u64(e.frame) + ",\"record\":" + std::to_string(e.record) +
           ",\"key\":\"" + keyName(e.key) + "\",\"press\":" + (e.press ? "true" : "false") + ",\"window\":[" +
           std::to_string(e.lo) + "," + std::to_string(e.hi) + "],\"ends\":[\"" + windowEndName(e.loEnd) + "\",\"" +
           windowEndName(e.hiEnd) + "\"],\"outcome\":" + outcomeJson(e.outcome) + "}";
  }
  out += "],\"summary\":" + evidenceSummaryJson(ev) + ",\"facts\":{";
  out += "\"sameInputAdjacent\":" + factJson(facts.sameInputAdjacent) + ",\"strayBits\":" + factJson(facts.strayBits) +
         ",\"recordsAfterMarker\":" + factJson(facts.recordsAfterMarker) +
         ",\"nonPositiveRepeats\":" + factJson(facts.nonPositiveRepeats) +
         ",\"framesAfterEnd\":" + factJson(facts.framesAfterEnd) +
         ",\"bytesAfterRecords\":{\"count\":" + u64(facts.bytesAfterRecords.count) + "},\"claims\":\"" +
         (facts.claimsDiffer ? "differ" : "match") + "\"}";
  return out;
}

