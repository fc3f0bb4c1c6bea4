// replaytool view: the exactly simulated game as a self-contained HTML page
// (or its overview alone as SVG). The page draws what is stored here and
// never simulates anything itself.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tool/tool_common.h"
#include "tool/viewer_assets.h"
#include "view/view_data.h"

namespace {

// The page: the template with each mark, in order, replaced by its part.
// Only the template is searched, so no part can be mistaken for a mark.
std::string fillTemplate(const char* page, const std::vector<std::pair<const char*, std::string>>& parts) {
  const std::string text = page;
  std::string out;
  std::size_t from = 0;
  for (const auto& [mark, part] : parts) {
    const std::size_t at = text.find(mark, from);
    if (at == std::string::npos) continue;
    out.append(text, from, at - from).append(part);
    from = at + std::strlen(mark);
  }
  return out.append(text, from, std::string::npos);
}

}  // namespace

int runView(const CommandLine& line) {
  if (const std::string wrong = operandError("view", line, 1, "FILE"); !wrong.empty())
    return reportError(EXIT_USAGE, wrong);
  const char* path = line.operands[0].c_str();
  const std::string* htmlOption = line.value("--output");
  const std::string* svgOption = line.value("--svg");
  const char* html = htmlOption != nullptr ? htmlOption->c_str() : nullptr;
  const char* svg = svgOption != nullptr ? svgOption->c_str() : nullptr;
  for (const char* out : {html, svg})
    if (out != nullptr && !isStandardStream(out) && !isStandardStream(path) && sameFile(path, out))
      return reportError(EXIT_USAGE, fileError(out, "the output would replace the input"));
  if (html != nullptr && svg != nullptr && isStandardStream(html) && isStandardStream(svg))
    return reportError(EXIT_USAGE, "view: -o and --svg cannot both be standard output");

  ReplayView view{};
  {
    ReplayImage image;
    ReplayFile replay{};
    std::string error;
    if (!loadReplayImage(path, image, replay, error)) return reportError(EXIT_FAILED, error);
    view = viewReplay(replay, image.size());
    releaseReplay(replay);
  }

  const std::string overview = overviewSvg(view);
  std::string error;
  if (svg != nullptr && !writeOutputBytes(svg, std::vector<std::uint8_t>(overview.begin(), overview.end()), error))
    return reportError(EXIT_FAILED, error);
  if (svg != nullptr && html == nullptr) return 0;

  const std::string page = fillTemplate(VIEWER_HTML, {{"/*VIEWER_CSS*/", VIEWER_CSS},
                                                      {"<!--VIEWER_OVERVIEW-->", overview},
                                                      {"/*VIEWER_DATA*/", viewJson(view, nullptr)},
                                                      {"/*VIEWER_JS*/", VIEWER_JS}});
  if (html == nullptr) {
    writeStandardOutput(page.data(), page.size());
    return 0;
  }
  if (!writeOutputBytes(html, std::vector<std::uint8_t>(page.begin(), page.end()), error)) return reportError(EXIT_FAILED, error);
  return 0;
}
