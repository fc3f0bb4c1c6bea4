#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "tool/state_fields.h"
#include "tool/tool_common.h"
#include "verify/playback.h"
#include "view/view_data.h"

namespace {

struct Window {
  std::uint64_t from;
  std::uint64_t to;
  bool headerPrinted;
  bool limited;  // `to` is the default limit, not the user's --to
  bool cut;      // the game went on past the limit
};

// The CSV header, once, before the first frame (or alone when the window
// holds none): a window past the end prints only its error.
void printHeader(Window& w) {
  if (w.headerPrinted) return;
  w.headerPrinted = true;
  std::printf(
      "frame,record,input,x_bits,x,y_bits,y,vx_bits,vx,vy_bits,vy,jumpState,scrolled,speedLevel,floorCount,lastFloor,"
      "comboTimer,comboScore,bestCombo\n");
}

bool printFrame(void* context, const FrameReport& r) {
  Window& w = *static_cast<Window*>(context);
  if (r.frame > w.to) {  // one frame past the limit: the game goes on
    w.cut = true;
    return false;
  }
  if (r.frame >= w.from) {
    printHeader(w);
    const GameState& s = *r.state;
    std::printf("%" PRIu64 ",%" PRIu32 ",0x%02X", r.frame, r.record + 1, r.input);
    char field[48];
    for (int i = 0; i < TRACE_FIELDS; ++i) {
      formatTraceField(s, i, field, sizeof field);
      std::printf(",%s", field);
    }
    std::putchar('\n');
  }
  // Output that fails ends the trace: nothing more can be shown.
  if (std::ferror(stdout) != 0) {
    keepStandardOutputReason(errno);
    return false;
  }
  return w.limited || r.frame < w.to;
}

}  // namespace

int runTrace(const CommandLine& line) {
  Window window{1, UINT64_MAX, false, false, false};
  for (const char* option : {"--from", "--to"}) {
    const std::string* text = line.value(option);
    if (text != nullptr && !parseCount(text->c_str(), option[2] == 'f' ? window.from : window.to))
      return reportError(EXIT_USAGE, std::string("trace: ") + option + " needs a frame number");
  }
  if (const std::string wrong = operandError("trace", line, 1, "FILE"); !wrong.empty())
    return reportError(EXIT_USAGE, wrong);
  const char* path = line.operands[0].c_str();

  if (window.from > window.to)
    return reportError(EXIT_USAGE, "trace: --from " + std::to_string(window.from) + " is after --to " +
                                       std::to_string(window.to));
  window.from = std::max<std::uint64_t>(window.from, 1);  // frames count from 1: --to 0 shows none
  if (line.has("--all") && line.has("--to")) return reportError(EXIT_USAGE, "trace: --all and --to exclude each other");
  // A few bytes can hold a game of billions of frames: without --to or
  // --all, as many frames as the viewer keeps.
  if (!line.has("--to") && !line.has("--all")) {
    window.limited = true;
    window.to = window.from + std::min<std::uint64_t>(MAX_VIEW_FRAMES - 1, UINT64_MAX - window.from);
  }

  ReplayImage image;
  ReplayFile replay{};
  std::string error;
  if (!loadReplayImage(path, image, replay, error)) return reportError(EXIT_FAILED, error);
  if (window.to == 0) {  // no frame is asked for: none is simulated
    releaseReplay(replay);
    printHeader(window);
    return 0;
  }
  PlaybackOptions options;
  options.observer = printFrame;
  options.context = &window;
  options.observeFrom = window.from;  // the frames before it are skipped where playback can
  const PlaybackOutcome out = playReplayOutcome(replay, options);
  releaseReplay(replay);
  if (window.cut)
    std::fprintf(stderr, "replaytool: trace: stopped at frame %" PRIu64 " (at most %" PRIu64 " frames without --to or --all)"
                 "; the game goes on\n", window.to, MAX_VIEW_FRAMES);
  if (!out.stopped && out.frames < window.from)
    return reportError(EXIT_FAILED, "trace: --from " + std::to_string(window.from) + " is past the end: the replay has " +
                                        std::to_string(out.frames) + " frames");
  printHeader(window);
  return 0;
}
