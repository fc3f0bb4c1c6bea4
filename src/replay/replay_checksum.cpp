#include "replay/replay_file.h"

// All terms wrap modulo 2^32, so everything is computed in uint32_t.
std::uint32_t replayChecksum(const ReplayFile& replay) {
  const ReplayHeader& h = replay.header;
  auto u = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };

  std::uint32_t sum = 43u + 7u * u(h.score) + 13u * u(h.floor) + 23u * u(h.combo) + 26u * u(h.rejump) + 17u * h.seed;

  for (std::uint32_t k = 0; k < 32; ++k) {
    // Text bytes count as signed 8-bit values.
    const auto n = u(static_cast<std::int8_t>(h.playerName[k]));
    const auto d = u(static_cast<std::int8_t>(h.date[k]));
    sum += 117u * (n + k) * (d + k) * (k + 1);
  }

  const std::uint32_t count = recordCountOf(replay);
  for (std::uint32_t j = 1; j < count; ++j) {  // record 0 has weight 0
    const InputRecord r = recordAt(replay, j);
    sum += j * (3u * u(r.repeat) + 5u * r.input);
  }
  return sum;
}
