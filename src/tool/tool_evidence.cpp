// replaytool evidence: timing windows and file facts, as text to paste into
// a report or as JSON. Facts and one labelled model figure, never a verdict
// about the player.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "evidence/evidence.h"
#include "evidence/evidence_json.h"
#include "evidence/file_facts.h"
#include "tool/tool_common.h"
#include "view/display_text.h"
#include "view/json_text.h"

namespace {

// Frame-perfect and narrowest edges listed in the text, at most.
constexpr std::size_t LISTED_EDGES = 20;

std::string u64(std::uint64_t v) { return std::to_string(v); }

std::string outcomeText(const EdgeOutcome& o) {
  switch (o.kind) {
    case OutcomeKind::Floor: return "floor " + std::to_string(o.floor);
    case OutcomeKind::Dies: return "dies";
    case OutcomeKind::None: return "none";
  }
  return "?";
}

bool hasShare(const Evidence& ev) { return ev.summary.decisive != 0; }
double share(const Evidence& ev) {
  return hasShare(ev) ? static_cast<double>(ev.summary.framePerfect) / static_cast<double>(ev.summary.decisive) : 0.0;
}

std::string histogramText(const Histogram& h) {
  if (h.empty()) return "none";
  std::string out;
  for (const auto& [value, count] : h) out += (out.empty() ? "" : ", ") + u64(value) + ": " + u64(count);
  return out;
}

std::string placesText(const FileFact& f) {
  if (f.places.empty()) return "";
  std::string out = " (";
  for (std::size_t i = 0; i < f.places.size(); ++i) {
    out += (i ? ", " : "") + std::string("record ") + std::to_string(f.places[i].record);
    if (f.places[i].frame != 0) out += " at frame " + u64(f.places[i].frame);
  }
  return out + (f.count > f.places.size() ? ", ...)" : ")");
}

std::string edgeLine(const EvidenceEdge& e) {
  char text[200];
  std::snprintf(text, sizeof text, "  frame %7" PRIu64 "  record %6" PRIu32 "  %-5s %-7s  window [%d, %d]  ends %s, %s  -> %s\n",
                e.frame, e.record, keyName(e.key), e.press ? "press" : "release", e.lo, e.hi, windowEndName(e.loEnd),
                windowEndName(e.hiEnd), outcomeText(e.outcome).c_str());
  return text;
}

void printText(const std::string& path, const Evidence& ev, const FileFacts& facts) {
  const EvidenceSummary& s = ev.summary;
  std::printf("File:              %s\n", displayText(path).c_str());
  std::printf("Game:              %s, %s\n", countOf(ev.gameFrames, "frame", "frames").c_str(),
              ev.died ? "ended by dropping off the screen" : "not ended when the records stop");
  std::printf("Reach, horizon:    %d frames, %d frames\n", ev.reach, ev.horizon);
  std::printf("Edges:             %" PRIu64, s.edges);
  if (ev.cut != EvidenceCut::None)
    std::printf(" of %" PRIu64 " in the game; analysis stopped at frame %" PRIu64 " (%s)", ev.edgesInGame, ev.cutAtFrame,
                ev.cut == EvidenceCut::Edges ? "at most 20000 edges are analysed" : "the frame budget ran out");
  std::printf("\nDecisive edges:    %" PRIu64 "\n", s.decisive);
  if (hasShare(ev))
    std::printf("Frame-perfect:     %" PRIu64 " (%.1f%% of decisive)\n", s.framePerfect, 100.0 * share(ev));
  else
    std::printf("Frame-perfect:     0 (no decisive edges)\n");
  std::printf("Window widths:     %s (frames: decisive edges)\n", histogramText(s.widths).c_str());
  if (s.longestRun != 0)
    std::printf("Longest run:       %s in a row all frame-perfect, frames %" PRIu64 " to %" PRIu64 "\n",
                countOf(s.longestRun, "decisive edge", "decisive edges").c_str(), s.runFirstFrame, s.runLastFrame);
  else
    std::printf("Longest run:       0 decisive edges in a row all frame-perfect\n");
  for (int k = 0; k < EVIDENCE_KEYS; ++k) {
    const KeyRhythm& r = s.keys[k];
    std::printf("%-5s presses:     %" PRIu64 "; held (frames: presses) %s; released between presses (frames: times) %s; "
                "shortest gap %s\n", keyName(static_cast<EvidenceKey>(k)), r.presses, histogramText(r.durations).c_str(),
                histogramText(r.gaps).c_str(), r.shortestGap != 0 ? countOf(r.shortestGap, "frame", "frames").c_str() : "none");
  }
  std::printf("Left+right held:   %s\n", countOf(s.leftAndRight, "frame", "frames").c_str());
  std::printf("Model figure:      %.3f (%s)\n", s.modelLog10, EVIDENCE_MODEL_TEXT);

  std::vector<const EvidenceEdge*> perfect, narrow;
  for (const EvidenceEdge& e : ev.edges)
    if (isFramePerfect(e)) perfect.push_back(&e);
    else if (isDecisive(e)) narrow.push_back(&e);
  std::printf("Frame-perfect edges (%zu%s):\n", perfect.size(), perfect.size() > LISTED_EDGES ? ", the first 20" : "");
  for (std::size_t i = 0; i < perfect.size() && i < LISTED_EDGES; ++i) std::fputs(edgeLine(*perfect[i]).c_str(), stdout);
  std::stable_sort(narrow.begin(), narrow.end(),
                   [](const EvidenceEdge* a, const EvidenceEdge* b) { return a->hi - a->lo < b->hi - b->lo; });
  std::printf("Narrowest other decisive edges (%zu%s):\n", narrow.size(),
              narrow.size() > LISTED_EDGES ? ", the 20 narrowest" : "");
  for (std::size_t i = 0; i < narrow.size() && i < LISTED_EDGES; ++i) std::fputs(edgeLine(*narrow[i]).c_str(), stdout);

  std::printf("File facts:\n");
  std::printf("  Adjacent records with the same input: %" PRIu64 "%s\n", facts.sameInputAdjacent.count,
              placesText(facts.sameInputAdjacent).c_str());
  std::printf("  Records with bits no key sets:        %" PRIu64 "%s\n", facts.strayBits.count,
              placesText(facts.strayBits).c_str());
  std::printf("  Records after the end marker:         %" PRIu64 "%s\n", facts.recordsAfterMarker.count,
              placesText(facts.recordsAfterMarker).c_str());
  std::printf("  Repeats of 0 or less after record 1:  %" PRIu64 "%s\n", facts.nonPositiveRepeats.count,
              placesText(facts.nonPositiveRepeats).c_str());
  std::printf("  Frames of the ending record after the game ended: %" PRIu64 "%s\n", facts.framesAfterEnd.count,
              facts.framesAfterEnd.places.empty()
                  ? ""
                  : (" (record " + std::to_string(facts.framesAfterEnd.places[0].record) + ", the game ended at frame " +
                     u64(facts.framesAfterEnd.places[0].frame) + ")").c_str());
  std::printf("  Bytes after the records:              %" PRIu64 "\n", facts.bytesAfterRecords.count);
  std::printf("  Claims:                               %s\n", facts.claimsDiffer ? "differ" : "match");
}

void printJson(const std::string& path, const Evidence& ev, const FileFacts& facts, std::size_t rank) {
  std::string out = "{";
  out += jsonNameField("file", path.data(), path.size());
  out += "\"rank\":" + u64(rank) + ",";
  out += evidenceJsonFields(ev, facts);
  out += "}\n";
  std::fputs(out.c_str(), stdout);
}

bool parseBounded(const std::string* text, std::int32_t low, std::int32_t high, std::int32_t& value) {
  if (text == nullptr) return true;
  std::uint64_t v = 0;
  if (!parseCount(text->c_str(), v) || v < static_cast<std::uint64_t>(low) || v > static_cast<std::uint64_t>(high))
    return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

struct Analysed {
  std::string path;
  Evidence evidence;
  FileFacts facts;
};

}  // namespace

int runEvidence(const CommandLine& line) {
  EvidenceOptions options;
  if (!parseBounded(line.value("--reach"), 0, MAX_EVIDENCE_REACH, options.reach))
    return reportError(EXIT_USAGE, "evidence: --reach needs a number from 0 to " + std::to_string(MAX_EVIDENCE_REACH));
  if (!parseBounded(line.value("--horizon"), 1, MAX_EVIDENCE_HORIZON, options.horizon))
    return reportError(EXIT_USAGE,
                       "evidence: --horizon needs a number from 1 to " + std::to_string(MAX_EVIDENCE_HORIZON));
  if (line.operands.empty()) return reportError(EXIT_USAGE, "evidence needs FILE...");
  const bool json = line.has("--json");
  int status = EXIT_ALL_VALID;
  std::vector<Analysed> done;
  for (const std::string& path : line.operands) {
    ReplayImage image;
    ReplayFile replay{};
    std::string error;
    if (!loadReplayImage(path, image, replay, error)) {
      status = reportError(EXIT_FAILED, error);
      continue;
    }
    Evidence evidence = analyseEvidence(replay, image.size(), options);
    FileFacts facts = fileFacts(replay, image.size(), evidence.played);
    done.push_back({path, std::move(evidence), std::move(facts)});
    releaseReplay(replay);
  }
  // Rank: 1 + the files with a larger frame-perfect share; a file with no
  // decisive edge comes after every file with one.
  std::vector<std::size_t> rank(done.size(), 1);
  for (std::size_t i = 0; i < done.size(); ++i)
    for (std::size_t j = 0; j < done.size(); ++j) {
      const Evidence &a = done[i].evidence, &b = done[j].evidence;
      if (hasShare(b) && (!hasShare(a) || share(b) > share(a))) ++rank[i];
    }
  for (std::size_t i = 0; i < done.size(); ++i) {
    if (json) {
      printJson(done[i].path, done[i].evidence, done[i].facts, rank[i]);
    } else {
      if (i) std::printf("\n");
      printText(done[i].path, done[i].evidence, done[i].facts);
    }
  }
  if (!json && done.size() > 1) {
    std::vector<std::size_t> order(done.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return rank[a] < rank[b]; });
    std::printf("\nRank  Frame-perfect share  Frame-perfect  Decisive  Model figure  File\n");
    for (std::size_t i : order) {
      const Evidence& ev = done[i].evidence;
      char cell[32];
      if (hasShare(ev)) std::snprintf(cell, sizeof cell, "%.1f%%", 100.0 * share(ev));
      else std::snprintf(cell, sizeof cell, "-");
      std::printf("%4zu  %19s  %13" PRIu64 "  %8" PRIu64 "  %12.3f  %s\n", rank[i], cell, ev.summary.framePerfect,
                  ev.summary.decisive, ev.summary.modelLog10, displayText(done[i].path).c_str());
    }
  }
  return status;
}
