#include "tool/evidence_summary.h"

#include <cstdio>

#include "replay/replay_file.h"
#include "tool/tool_common.h"

namespace {

std::string u64(std::uint64_t v) { return std::to_string(v); }

// "3 frame-perfect (2.4%)"; no share without a decisive edge.
std::string framePerfectText(const EvidenceSummary& s, const char* of) {
  std::string out = u64(s.framePerfect) + " frame-perfect";
  if (s.decisive == 0) return out;
  char share[32];
  std::snprintf(share, sizeof share, " (%.1f%%%s)",
                100.0 * static_cast<double>(s.framePerfect) / static_cast<double>(s.decisive), of);
  return out + share;
}

// The numbers of a cut analysis cover only the game up to the cut: said on
// the same line, in the words of replaytool evidence.
std::string cutText(const Evidence& ev) {
  if (ev.cut == EvidenceCut::None) return "";
  return "; analysis stopped at frame " + u64(ev.cutAtFrame) +
         (ev.cut == EvidenceCut::Edges ? " (at most 20000 edges are analysed)" : " (the frame budget ran out)");
}

}  // namespace

std::optional<Evidence> imageEvidence(const ReplayImage& image) {
  ReplayFile replay{};
  if (loadReplayBytes(image.bytes.data(), image.bytes.size(), replay) != nullptr) return std::nullopt;
  std::optional<Evidence> evidence = analyseEvidence(replay, image.size());
  releaseReplay(replay);
  return evidence;
}

std::string evidenceSummaryText(const Evidence& ev) {
  const EvidenceSummary& s = ev.summary;
  return u64(s.decisive) + " decisive, " + framePerfectText(s, "") + ", longest run " + u64(s.longestRun) + cutText(ev);
}

std::string evidenceShowText(const Evidence& ev) {
  const EvidenceSummary& s = ev.summary;
  std::string out =
      countOf(s.decisive, "decisive edge", "decisive edges") + ", " + framePerfectText(s, " of decisive") + ", longest run " + u64(s.longestRun);
  if (s.longestRun != 0) out += " (frames " + u64(s.runFirstFrame) + " to " + u64(s.runLastFrame) + ")";
  return out + cutText(ev);
}
