// The viewer's columns, overview and JSON (see view_data.h).
#include "view/view_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/extended.h"
#include "view/json_text.h"
#include "view/view_encode.h"

namespace {

void addFrame(ViewColumns& c, const GameState& s, std::uint32_t record, std::uint8_t input) {
  c.x.push_back(truncLow32(widen(s.x)));
  c.y.push_back(truncLow32(widen(s.y)));
  c.scrolled.push_back(s.scrolled);
  c.jump.push_back(static_cast<std::int32_t>(s.jumpState));
  c.input.push_back(input);
  c.record.push_back(static_cast<std::int32_t>(record));
  c.speed.push_back(s.speedLevel);
  c.combo.push_back(s.comboTimer != 0 ? s.comboFloors : 0);
  c.floor.push_back(s.lastFloor);
  c.best.push_back(s.bestCombo);
  c.score.push_back(s.comboScore);
  // Floors are created in order; the newest sits just before ringNext.
  while (static_cast<std::int64_t>(c.floorLeft.size()) < s.floorCount) {
    const auto n = static_cast<std::int32_t>(c.floorLeft.size());
    const std::int32_t back = s.floorCount - n;  // 1 for the newest
    if (back > FLOOR_RING_SIZE) {                // already gone from the ring: unseen
      c.floorLeft.push_back(0);
      c.floorRight.push_back(0);
      continue;
    }
    const FloorSlot& f = s.floors.slot[(s.ringNext - back + FLOOR_RING_SIZE) % FLOOR_RING_SIZE];
    c.floorLeft.push_back(f.left);
    c.floorRight.push_back(f.right);
  }
}

bool collect(void* context, const FrameReport& r) {
  auto& c = *static_cast<ViewColumns*>(context);
  addFrame(c, *r.state, r.record, r.input);
  return r.frame < MAX_VIEW_FRAMES;
}

// The player's height and the screen's bottom edge, in floors.
double heightOf(const ViewColumns& c, std::size_t i) { return (431.0 - c.y[i] + c.scrolled[i]) / 80.0; }
double bottomOf(const ViewColumns& c, std::size_t i) { return (c.scrolled[i] - 108) / 80.0; }

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

// Digits in groups of three ("1,234,567"), as the viewer shows numbers.
std::string grouped(std::uint64_t v) {
  const std::string digits = std::to_string(v);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

// A round step between ticks (1, 2 or 5 times a power of ten) that gives
// at most `most` of them over `span`.
std::uint64_t tickStep(double span, double most) {
  for (std::uint64_t power = 1;; power *= 10)
    for (const std::uint64_t m : {std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{5}})
      if (span / static_cast<double>(power * m) <= most) return power * m;
}

std::string overviewOf(const ViewColumns& c, const PlaybackOutcome& o, const std::vector<EvidenceEdge>& edges) {
  constexpr double W = 1000, H = 240, PAD = 20;
  const std::size_t n = c.y.size();
  double top = 1;
  for (std::size_t i = 0; i < n; ++i) top = std::max(top, heightOf(c, i));
  top = std::ceil(top + 0.5);
  double bottom = 0;
  for (std::size_t i = 0; i < n; ++i) bottom = std::min(bottom, bottomOf(c, i));
  const double span = n > 1 ? static_cast<double>(n - 1) : 1.0;
  auto px = [&](std::size_t i) { return number(PAD + (W - 2 * PAD) * static_cast<double>(i) / span); };
  auto py = [&](double h) { return number(H - PAD - (H - 2 * PAD) * (h - bottom) / (top - bottom)); };

  // At most one point per horizontal unit: the highest and lowest of each.
  const std::size_t step = std::max<std::size_t>(1, n / 1000);
  std::string height, edge;
  for (std::size_t i = 0; i < n; i += step) {
    std::size_t hi = i, lo = i;
    for (std::size_t k = i; k < std::min(n, i + step); ++k) {
      if (heightOf(c, k) > heightOf(c, hi)) hi = k;
      if (heightOf(c, k) < heightOf(c, lo)) lo = k;
    }
    for (std::size_t k : {std::min(hi, lo), std::max(hi, lo)}) height.append(px(k)).append(",").append(py(heightOf(c, k))).append(" ");
    edge.append(px(i)).append(",").append(py(bottomOf(c, i))).append(" ");
  }
  // The scales: floors at the right, frames along the bottom, each tick a
  // faint line across with its number.
  std::string scales;
  const std::uint64_t floorStep = tickStep(top - bottom, 6);
  for (std::uint64_t f = 0; static_cast<double>(f) <= top; f += floorStep) {
    const std::string y = py(static_cast<double>(f));
    scales.append("<path class=\"tick\" d=\"M").append(number(PAD)).append(" ").append(y).append("H").append(number(W - PAD))
        .append("\"/><text class=\"floor-scale\" x=\"").append(number(W - PAD - 2)).append("\" y=\"").append(y)
        .append("\" dy=\"-2\" text-anchor=\"end\">")
        .append(grouped(f)).append("</text>");
  }
  const std::uint64_t frameStep = tickStep(span, 8);
  for (std::uint64_t f = 0; f < std::max<std::size_t>(n, 1); f += frameStep) {
    const std::string x = px(static_cast<std::size_t>(f));
    scales.append("<path class=\"tick\" d=\"M").append(x).append(" ").append(number(H - PAD)).append("v4\"/>")
        .append("<text class=\"frame-scale\" x=\"").append(x).append("\" y=\"").append(number(H - 5))
        .append("\" text-anchor=\"middle\">").append(grouped(f)).append("</text>");
  }
  std::string marks;
  std::size_t landings = 0;
  for (std::size_t i = 1; i < n; ++i) {
    if (c.jump[i] == 0 && c.jump[i - 1] != 0 && c.floor[i] != c.floor[i - 1] && ++landings <= 5000)
      marks.append("<circle class=\"landing\" cx=\"").append(px(i)).append("\" cy=\"").append(py(heightOf(c, i))).append("\" r=\"2\"/>");
    if (c.score[i] != c.score[i - 1])
      marks.append("<path class=\"combo\" d=\"M").append(px(i)).append(" ").append(number(PAD)).append("V").append(number(H - PAD))
          .append("\"><title>combo of ").append(std::to_string(c.score[i] - c.score[i - 1]))
          .append(" points at frame ").append(std::to_string(i)).append("</title></path>");
  }
  // Frame-perfect edges: a short tick along the top, each with its place;
  // as many as landings at most, which keeps a crafted file's page small.
  std::size_t perfect = 0;
  for (const EvidenceEdge& e : edges)
    if (isFramePerfect(e) && ++perfect <= 5000)
      marks.append("<path class=\"frame-perfect\" d=\"M").append(px(static_cast<std::size_t>(e.frame))).append(" ")
          .append(number(PAD)).append("v8\"><title>frame-perfect ").append(keyName(e.key)).append(e.press ? " press" : " release")
          .append(" at frame ").append(grouped(e.frame)).append("</title></path>");
  if (o.died && n > 0)
    marks.append("<g class=\"death\"><circle cx=\"").append(px(n - 1)).append("\" cy=\"").append(py(heightOf(c, n - 1)))
        .append("\" r=\"6\"/><title>the game ends at frame ").append(grouped(o.frames)).append("</title></g>");

  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"overview\" viewBox=\"0 0 1000 240\" width=\"1000\" height=\"240\">";
  svg.append("<style>.overview{background:#10141c;font:11px sans-serif}.height{fill:none;stroke:#7fd1ff;stroke-width:1.5}"
             ".edge{fill:none;stroke:#ff7f7f;stroke-dasharray:4 3}.landing{fill:#ffe08a}.combo{stroke:#c38bff;stroke-opacity:.6}"
             ".death circle{fill:none;stroke:#ff4040;stroke-width:2}text{fill:#cfd6e0}.tick{stroke:#cfd6e0;stroke-opacity:.15}"
             ".floor-scale,.frame-scale{font-size:10px;fill-opacity:.7}.frame-perfect{stroke:#ff9f40;stroke-width:2}</style>");
  svg.append(scales);
  svg.append("<polyline class=\"edge\" points=\"").append(edge).append("\"/>");
  svg.append("<polyline class=\"height\" points=\"").append(height).append("\"/>");
  svg.append(marks);
  svg.append("<text x=\"24\" y=\"14\">height in floors (blue), screen bottom (red), landings, combos, frame-perfect edges (orange), end; ")
      .append(grouped(n > 0 ? n - 1 : 0)).append(" frames</text></svg>");
  return svg;
}

std::string column(const std::vector<std::int32_t>& v) { return std::string("\"").append(base64(encodeColumn(v))).append("\""); }

// JSON for embedding in a script element: "<" never appears raw.
std::string safeForScript(std::string json) {
  std::string out;
  for (char ch : json) ch == '<' ? (void)out.append("\\u003c") : (void)out.push_back(ch);
  return out;
}

}  // namespace

std::string encodeEdges(const std::vector<EvidenceEdge>& edges) {
  std::vector<std::uint8_t> out;
  std::uint64_t frame = 0;
  std::uint32_t record = 0;
  for (const EvidenceEdge& e : edges) {
    appendVarint(out, static_cast<std::int64_t>(e.frame - frame));
    appendVarint(out, static_cast<std::int64_t>(e.record) - static_cast<std::int64_t>(record));
    appendVarint(out, static_cast<std::int64_t>(e.key) * 2 + (e.press ? 1 : 0));
    appendVarint(out, e.lo);
    appendVarint(out, e.hi);
    appendVarint(out, static_cast<std::int64_t>(e.loEnd) * 3 + static_cast<std::int64_t>(e.hiEnd));
    appendVarint(out, e.outcome.kind == OutcomeKind::Floor ? e.outcome.floor : e.outcome.kind == OutcomeKind::Dies ? -1 : -2);
    frame = e.frame;
    record = e.record;
  }
  return base64(out);
}

ReplayView viewReplay(const ReplayFile& replay, std::uint64_t fileBytes) {
  ReplayView view{};
  view.header = replay.header;
  GameState start;
  initGame(start, replay.header.rejump, replay.header.seed);
  addFrame(view.columns, start, 0, 0);
  PlaybackOptions options;
  options.observer = collect;
  options.context = &view.columns;
  const PlaybackOutcome shown = playReplayOutcome(replay, options);
  // When the frame limit stopped the frames kept, the verdict comes from a
  // second playback of the whole file.
  view.verdict = shown.stopped && !shown.died ? playReplayOutcome(replay) : shown;
  view.cut = view.verdict.frames > MAX_VIEW_FRAMES;
  view.markerRecord = firstEndMarker(replay);
  view.aliveAt = view.verdict.died ? "" : stoppedAtMarker(replay, view.verdict) ? "end marker" : "records exhausted";
  view.evidence = analyseEvidence(replay, fileBytes);
  // Edges past the frames kept have no place on the timeline.
  const std::uint64_t kept = view.columns.y.size() - 1;
  auto& edges = view.evidence.edges;
  edges.erase(std::find_if(edges.begin(), edges.end(), [kept](const EvidenceEdge& e) { return e.frame > kept; }), edges.end());
  return view;
}

std::string overviewSvg(const ReplayView& view) { return overviewOf(view.columns, view.verdict, view.evidence.edges); }

std::string viewJson(const ReplayView& view, const std::string* overview) {
  const ViewColumns& c = view.columns;
  const ReplayHeader& h = view.header;
  const PlaybackOutcome& o = view.verdict;
  const std::size_t nameLength = strnlen(h.playerName, 32), dateLength = strnlen(h.date, 32);
  std::string j = "{\"version\":1,\"fps\":60,\"frames\":";
  j.append(std::to_string(c.y.size() - 1));
  j.append(",\"limit\":").append(std::to_string(MAX_VIEW_FRAMES)).append(",\"cut\":").append(view.cut ? "true" : "false");
  j.append(",\"totalFrames\":").append(std::to_string(o.frames));
  j.append(",\"name\":").append(jsonString(h.playerName, nameLength)).append(",\"date\":").append(jsonString(h.date, dateLength));
  j.append(",\"valid\":").append(o.valid ? "true" : "false").append(",\"died\":").append(o.died ? "true" : "false");
  j.append(",\"endRecord\":").append(std::to_string(o.recordsPlayed));
  j.append(",\"frameInRecord\":").append(std::to_string(o.frames - o.lastRecordStart));
  j.append(",\"markerRecord\":").append(std::to_string(view.markerRecord));
  j.append(",\"markerFollows\":").append(o.died && o.markerFollows ? "true" : "false");
  j.append(",\"aliveAt\":\"").append(view.aliveAt).append("\"");
  j.append(",\"claimed\":{\"score\":").append(std::to_string(h.score)).append(",\"floor\":").append(std::to_string(h.floor))
      .append(",\"combo\":").append(std::to_string(h.combo)).append("}");
  j.append(",\"simulated\":{\"floor\":").append(std::to_string(o.highestFloor)).append(",\"combo\":")
      .append(std::to_string(o.finalState.bestCombo)).append("}");
  j.append(",\"claims\":\"").append(claimsMatch(h, o) ? "match" : "differ").append("\"");
  j.append(",\"columns\":{\"x\":").append(column(c.x)).append(",\"y\":").append(column(c.y));
  j.append(",\"scrolled\":").append(column(c.scrolled)).append(",\"jump\":").append(column(c.jump));
  j.append(",\"input\":").append(column(c.input)).append(",\"record\":").append(column(c.record));
  j.append(",\"speed\":").append(column(c.speed)).append(",\"combo\":").append(column(c.combo));
  j.append(",\"floor\":").append(column(c.floor)).append(",\"best\":").append(column(c.best)).append("}");
  j.append(",\"floorLeft\":").append(column(c.floorLeft)).append(",\"floorRight\":").append(column(c.floorRight));
  const Evidence& ev = view.evidence;
  j.append(",\"evidence\":{\"reach\":").append(std::to_string(ev.reach)).append(",\"horizon\":").append(std::to_string(ev.horizon))
      .append(",\"edgesInGame\":").append(std::to_string(ev.edgesInGame)).append(",\"cut\":");
  if (ev.cut == EvidenceCut::None)
    j.append("null");
  else
    j.append("{\"reason\":\"").append(ev.cut == EvidenceCut::Edges ? "edges" : "frames").append("\",\"frame\":")
        .append(std::to_string(ev.cutAtFrame)).append("}");
  j.append(",\"count\":").append(std::to_string(ev.edges.size())).append(",\"edges\":\"").append(encodeEdges(ev.edges)).append("\"}");
  if (overview != nullptr) j.append(",\"overview\":").append(jsonString(overview->data(), overview->size()));
  j.append("}");
  return safeForScript(j);
}
