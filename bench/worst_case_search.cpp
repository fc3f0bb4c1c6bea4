// Searches for the replay records that cost playback the most CPU time per
// byte of file: hill climbing with restarts over a short block of records
// that the file repeats after a lead-in played once (which can leave the
// player in a state whose frames are slow: a speed decaying toward the
// subnormals, a pin at a wall, a running combo). A frame's cost is not
// constant, so candidates are scored by the time their playback takes,
// the least of two runs. Prints the worst found and writes it out as a
// replay file.
//
//   runaudit_worst_search SECONDS OUT.wlx [RANDOM_SEED]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/frames_option.h"
#include "replay_writer.h"
#include "sim/fpu_mode.h"
#include "verify/playback.h"

namespace {

struct Candidate {
  std::int32_t rejump = 0;
  std::uint32_t seed = 0;
  std::vector<InputRecord> lead;   // played once
  std::vector<InputRecord> block;  // repeated to fill the file
};

// Candidates are played as files of about this many bytes: large enough
// that the block's first copies, before playback's memo of records knows
// them, do not make the cost per MB of a small file stand for a megabyte's.
constexpr std::size_t SCORED_BYTES = 200000;
constexpr std::uint8_t INPUTS[] = {0x00, 0x01, 0x02, 0x10, 0x11, 0x12};

std::vector<InputRecord> recordsOf(const Candidate& c, std::size_t repeats) {
  std::vector<InputRecord> records = c.lead;
  for (std::size_t r = 0; r < repeats; ++r) records.insert(records.end(), c.block.begin(), c.block.end());
  records.push_back({0, END_MARKER});
  return records;
}

double cpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Seconds of CPU per megabyte of file: the least of two playbacks.
double cost(const Candidate& c) {
  const std::vector<InputRecord> records = recordsOf(c, std::max<std::size_t>(1, SCORED_BYTES / (INPUT_RECORD_SIZE * c.block.size())));
  std::vector<std::uint8_t> bytes = replayBytes(c.rejump, c.seed, records);
  const ReplayFile file{decodeHeader(bytes.data()), bytes.data() + REPLAY_HEADER_SIZE, nullptr};
  double least = 1e30;
  for (int run = 0; run < 2; ++run) {
    const double start = cpuSeconds();
    const PlaybackOutcome out = playReplayOutcome(file);
    const double spent = cpuSeconds() - start;
    if (out.frames == 0) return 0;
    least = std::min(least, spent);
  }
  return least * 1e6 / static_cast<double>(bytes.size());
}

// Lengths on both sides of what playback treats differently: the
// fast-forward threshold (64 frames), a combo's 100 frames, a jump's 32.
std::int32_t thresholdRepeat(std::mt19937& rng) {
  constexpr std::int32_t near[] = {30, 31, 32, 33, 61, 62, 63, 64, 65, 98, 99, 100, 101};
  return near[rng() % std::size(near)];
}

std::int32_t randomRepeat(std::mt19937& rng) {
  // Log-uniform up to 2^31 - 1, with small values common.
  const int bits = static_cast<int>(rng() % 32);
  return static_cast<std::int32_t>(rng() & ((bits == 31 ? 0x7FFFFFFFu : (1u << bits) - 1u)));
}

InputRecord randomRecord(std::mt19937& rng) { return {randomRepeat(rng), INPUTS[rng() % std::size(INPUTS)]}; }

Candidate randomCandidate(std::mt19937& rng) {
  Candidate c;
  c.rejump = static_cast<std::int32_t>(rng() % 2);
  c.seed = rng() % 64;
  // Lead-ins that leave a slow state: a run then standing (the speed
  // decays), a run into a wall, a climb, or nothing.
  switch (rng() % 4) {
    case 0: c.lead = {{static_cast<std::int32_t>(rng() % 80), INPUTS[1 + rng() % 2]}, {static_cast<std::int32_t>(rng() % 3000), 0x00}}; break;
    case 1: c.lead = {{static_cast<std::int32_t>(100 + rng() % 400), INPUTS[1 + rng() % 5]}}; break;
    case 2: c.lead = {{static_cast<std::int32_t>(rng() % 40), 0x12}, {static_cast<std::int32_t>(rng() % 40), 0x11}}; break;
    default: break;
  }
  const std::size_t n = 1 + rng() % 4;
  for (std::size_t i = 0; i < n; ++i)
    c.block.push_back(rng() % 2 ? randomRecord(rng) : InputRecord{thresholdRepeat(rng), INPUTS[rng() % std::size(INPUTS)]});
  return c;
}

Candidate mutate(Candidate c, std::mt19937& rng) {
  InputRecord& r = c.block[rng() % c.block.size()];
  switch (rng() % 9) {
    case 7: r.repeat = thresholdRepeat(rng); break;
    case 8:
      if (!c.lead.empty()) {
        InputRecord& l = c.lead[rng() % c.lead.size()];
        l.repeat = std::max<std::int32_t>(0, l.repeat + static_cast<std::int32_t>(rng() % 401) - 200);
      }
      break;
    case 0: r.input = INPUTS[rng() % std::size(INPUTS)]; break;
    case 1: r.repeat = randomRepeat(rng); break;
    case 2: r.repeat = std::max<std::int32_t>(0, r.repeat + static_cast<std::int32_t>(rng() % 201) - 100); break;
    case 3: r.repeat = std::max<std::int32_t>(0, r.repeat + static_cast<std::int32_t>(rng() % 11) - 5); break;
    case 4:
      if (c.block.size() < 6) c.block.insert(c.block.begin() + static_cast<long>(rng() % (c.block.size() + 1)), randomRecord(rng));
      break;
    case 5:
      if (c.block.size() > 1) c.block.erase(c.block.begin() + static_cast<long>(rng() % c.block.size()));
      break;
    default: c.rejump ^= 1; break;
  }
  return c;
}

void print(const Candidate& c, double score) {
  std::printf("%.3f s/MB  rejump %d seed %u  lead:", score, c.rejump, c.seed);
  for (const InputRecord& r : c.lead) std::printf(" {%d, 0x%02X}", r.repeat, r.input);
  std::printf("  block:");
  for (const InputRecord& r : c.block) std::printf(" {%d, 0x%02X}", r.repeat, r.input);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: runaudit_worst_search SECONDS OUT.wlx [RANDOM_SEED]\n");
    return 2;
  }
  resetFloatingPointUnit();
  useFramePathFromEnvironment();
  const double seconds = std::atof(argv[1]);
  std::mt19937 rng(argc > 3 ? static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 1u);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);

  Candidate best = randomCandidate(rng);
  double bestScore = cost(best);
  while (std::chrono::steady_clock::now() < deadline) {
    Candidate current = randomCandidate(rng);
    double score = cost(current);
    for (int stale = 0; stale < 300 && std::chrono::steady_clock::now() < deadline; ++stale) {
      const Candidate next = mutate(current, rng);
      const double s = cost(next);
      if (s >= score) {
        if (s > score) stale = 0;
        current = next;
        score = s;
      }
    }
    if (score > bestScore) {
      best = current;
      bestScore = score;
      print(best, bestScore);
    }
  }
  print(best, bestScore);
  // The file: the block repeated to about 1 MB.
  const std::size_t repeats = (1000000 - INPUT_RECORD_SIZE * best.lead.size()) / (INPUT_RECORD_SIZE * best.block.size());
  if (!writeBytes(argv[2], replayBytes(best.rejump, best.seed, recordsOf(best, repeats)))) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
