#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "tool/tool_common.h"
#include "verify/playback.h"

namespace {

const char* jumpStateName(JumpState s) {
  switch (s) {
    case JumpState::Grounded: return "Grounded";
    case JumpState::Rising: return "Rising";
    case JumpState::Falling: return "Falling";
    case JumpState::Airborne: return "Airborne";
  }
  return "?";
}

// A real as its exact binary64 pattern and as a decimal that reads back to it.
void printReal(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  std::printf(",0x%016" PRIX64 ",%.17g", bits, v);
}

struct Window {
  std::uint64_t from;
  std::uint64_t to;
};

bool printFrame(void* context, const FrameReport& r) {
  const Window& w = *static_cast<const Window*>(context);
  if (r.frame >= w.from) {
    const GameState& s = *r.state;
    std::printf("%" PRIu64 ",%" PRIu32 ",0x%02X", r.frame, r.record + 1, r.input);
    printReal(s.x);
    printReal(s.y);
    printReal(s.vx);
    printReal(s.vy);
    std::printf(",%s,%" PRId32 ",%" PRId32 ",%" PRId32 ",%" PRId32 ",%" PRId32 ",%" PRId32 ",%" PRId32 "\n",
                jumpStateName(s.jumpState), s.scrolled, s.speedLevel, s.floorCount, s.lastFloor, s.comboTimer,
                s.comboScore, s.bestCombo);
  }
  // A reader that has gone away ends the trace: nothing more can be shown.
  return r.frame < w.to && std::ferror(stdout) == 0;
}

}  // namespace

int runTrace(int argc, char** argv) {
  const char* path = nullptr;
  Window window{1, UINT64_MAX};
  for (int i = 0; i < argc; ++i) {
    const bool from = std::strcmp(argv[i], "--from") == 0;
    if (from || std::strcmp(argv[i], "--to") == 0) {
      if (i + 1 >= argc || !parseCount(argv[i + 1], from ? window.from : window.to))
        return reportError(EXIT_USAGE, std::string("trace: ") + argv[i] + " needs a frame number");
      ++i;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return reportError(EXIT_USAGE, std::string("trace: unknown option ") + argv[i]);
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      return reportError(EXIT_USAGE, "trace takes one FILE");
    }
  }
  if (path == nullptr) return reportError(EXIT_USAGE, "trace needs FILE");
  if (window.from > window.to)
    return reportError(EXIT_USAGE, "trace: --from " + std::to_string(window.from) + " is after --to " +
                                       std::to_string(window.to));

  ReplayFile replay{};
  if (const char* message = loadReplay(path, replay)) return reportError(EXIT_FAILED, fileError(path, message));
  std::printf(
      "frame,record,input,x_bits,x,y_bits,y,vx_bits,vx,vy_bits,vy,jumpState,scrolled,speedLevel,floorCount,lastFloor,"
      "comboTimer,comboScore,bestCombo\n");
  PlaybackOptions options;
  options.observer = printFrame;
  options.context = &window;
  options.observeFrom = window.from;  // the frames before it are skipped where playback can
  const PlaybackOutcome out = playReplayOutcome(replay, options);
  releaseReplay(replay);
  if (!out.stopped && out.frames < window.from)
    return reportError(EXIT_FAILED, "trace: --from " + std::to_string(window.from) + " is past the end: the replay has " +
                                        std::to_string(out.frames) + " frames");
  return 0;
}
