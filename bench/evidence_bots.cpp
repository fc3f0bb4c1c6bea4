// Two populations of games made by the project's own planner
// (bot_planner.h): one presses on the frame it planned, the other with a
// uniform timing error on every change of input. For each game: its
// evidence (the library's analysis), and whether its replay is valid; then
// the distributions of frame-perfect share and of the model figure.
//   runaudit_evidence_bots [--games N] [--first SEED] [--frames CAP] [--error E] [--out DIR] [--list]
// Exits 1 when a game is not a valid replay, or when the timing-error
// population's mean share is not below the exact one's.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bot_planner.h"
#include "evidence/evidence.h"
#include "replay_writer.h"
#include "sim/fpu_mode.h"
#include "verify/playback.h"

namespace {

struct Settings {
  std::uint32_t games = 50;
  std::uint32_t first = 1;
  std::uint32_t frames = 36000;
  std::int32_t error = 2;
  std::string out;
  bool list = false;
};

struct GameFacts {
  std::uint32_t seed;
  std::uint64_t frames;
  std::uint64_t planned;
  bool valid;
  std::uint64_t edges;
  std::uint64_t decisive;
  std::uint64_t framePerfect;
  double model;
};

bool parse(int argc, char** argv, Settings& s) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--list") {
      s.list = true;
    } else if (a == "--games" && hasValue) {
      s.games = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--first" && hasValue) {
      s.first = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--frames" && hasValue) {
      s.frames = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--error" && hasValue) {
      s.error = static_cast<std::int32_t>(std::strtol(argv[++i], nullptr, 10));
    } else if (a == "--out" && hasValue) {
      s.out = argv[++i];
    } else {
      return false;
    }
  }
  return s.games > 0 && s.error >= 0 && s.error <= 8;
}

GameFacts runGame(const Settings& set, std::uint32_t seed, std::int32_t error, const char* name) {
  BotOptions o;
  o.seed = seed;
  o.maxFrames = set.frames;
  o.timingError = error;
  o.errorSeed = 0x5EED0000ull + seed;
  const BotGame g = playBot(o);
  const std::vector<std::uint8_t> bytes = botReplayBytes(g);
  GameFacts f{seed, g.game.inputs.size(), g.plannedFrames, false, 0, 0, 0, 0.0};
  ReplayFile replay{};
  if (g.died && loadReplayBytes(bytes.data(), bytes.size(), replay) == nullptr) {
    f.valid = playReplay(replay);  // what runaudit prints "Replay is valid" for
    const Evidence ev = analyseEvidence(replay, bytes.size());
    f.edges = ev.summary.edges;
    f.decisive = ev.summary.decisive;
    f.framePerfect = ev.summary.framePerfect;
    f.model = ev.summary.modelLog10;
    releaseReplay(replay);
  }
  if (!set.out.empty()) {
    const std::string path = set.out + "/" + name + "-" + std::to_string(seed) + ".wlx";
    if (!writeBytes(path, bytes)) std::fprintf(stderr, "runaudit_evidence_bots: cannot write %s\n", path.c_str());
  }
  return f;
}

double share(const GameFacts& f) { return static_cast<double>(f.framePerfect) / static_cast<double>(f.decisive); }

// Quartiles by the nearest rank.
void printQuartiles(const char* what, std::vector<double> v, const char* format) {
  std::sort(v.begin(), v.end());
  if (v.empty()) {
    std::printf("  %-22s none\n", what);
    return;
  }
  const auto at = [&](double q) { return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)]; };
  double sum = 0;
  for (const double x : v) sum += x;
  std::printf("  %-22s min ", what);
  std::printf(format, v.front());
  std::printf("  q1 ");
  std::printf(format, at(0.25));
  std::printf("  median ");
  std::printf(format, at(0.5));
  std::printf("  q3 ");
  std::printf(format, at(0.75));
  std::printf("  max ");
  std::printf(format, v.back());
  std::printf("  mean ");
  std::printf(format, sum / static_cast<double>(v.size()));
  std::printf("\n");
}

void printShareHistogram(const std::vector<double>& shares) {
  std::uint32_t bins[10] = {};
  for (const double x : shares) ++bins[std::min(9, static_cast<int>(x * 10.0))];
  for (int b = 0; b < 10; ++b) {
    std::printf("    %3d%%-%3d%%%s %3u %s\n", b * 10, b * 10 + 10, b == 9 ? "]" : ")", bins[b],
                std::string(bins[b], '#').c_str());
  }
}

struct Population {
  std::vector<GameFacts> games;
  double meanShare = 0.0;
  std::uint32_t invalid = 0;
};

Population runPopulation(const Settings& set, std::int32_t error, const char* name) {
  Population p;
  std::vector<double> shares, models, perDecisive, frames, decisive;
  for (std::uint32_t k = 0; k < set.games; ++k) {
    const GameFacts f = runGame(set, set.first + k, error, name);
    p.games.push_back(f);
    if (!f.valid) ++p.invalid;
    frames.push_back(static_cast<double>(f.frames));
    decisive.push_back(static_cast<double>(f.decisive));
    if (f.decisive > 0) {
      shares.push_back(share(f));
      perDecisive.push_back(f.model / static_cast<double>(f.decisive));
    }
    models.push_back(f.model);
    if (set.list)
      std::printf("  %s seed %u: %llu frames (%llu planned), %s, %llu edges, %llu decisive, %llu frame-perfect, model %.3f\n",
                  name, f.seed, static_cast<unsigned long long>(f.frames), static_cast<unsigned long long>(f.planned),
                  f.valid ? "valid" : "NOT VALID", static_cast<unsigned long long>(f.edges),
                  static_cast<unsigned long long>(f.decisive), static_cast<unsigned long long>(f.framePerfect), f.model);
  }
  double sum = 0;
  for (const double x : shares) sum += x;
  p.meanShare = shares.empty() ? 0.0 : sum / static_cast<double>(shares.size());
  std::printf("%s (timing error %d..%d), %u games, %u valid replays, %zu with a decisive edge:\n", name, -error, error,
              set.games, set.games - p.invalid, shares.size());
  printQuartiles("game frames", frames, "%.0f");
  printQuartiles("decisive edges", decisive, "%.0f");
  printQuartiles("frame-perfect share", shares, "%.3f");
  printQuartiles("model figure", models, "%.1f");
  printQuartiles("model per decisive", perDecisive, "%.3f");
  std::printf("  frame-perfect share, games per tenth:\n");
  printShareHistogram(shares);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  Settings set;
  if (!parse(argc, argv, set)) {
    std::fprintf(stderr,
                 "usage: runaudit_evidence_bots [--games N] [--first SEED] [--frames CAP] [--error E] [--out DIR] [--list]\n");
    return 2;
  }
  resetFloatingPointUnit();  // the planner plays the game to choose its keys
  std::printf("Seeds %u to %u, rejump off, planning capped at %u frames (then no key until the fall), reach 8, horizon 600\n",
              set.first, set.first + set.games - 1, set.frames);
  const Population exact = runPopulation(set, 0, "exact");
  const Population noisy = runPopulation(set, set.error, "noisy");
  const bool lower = noisy.meanShare < exact.meanShare;
  std::printf("Check: every game a valid replay: %s; mean frame-perfect share, timing error below exact (%.3f < %.3f): %s\n",
              exact.invalid + noisy.invalid == 0 ? "yes" : "NO", noisy.meanShare, exact.meanShare, lower ? "yes" : "NO");
  return exact.invalid + noisy.invalid == 0 && lower ? 0 : 1;
}
