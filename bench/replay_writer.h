// Replay files for benchmarks and the worst-case search: records in, the
// stored bytes (checksum computed) out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "replay/replay_file.h"

inline std::vector<std::uint8_t> replayBytes(std::int32_t rejump, std::uint32_t seed,
                                             const std::vector<InputRecord>& records) {
  ReplayHeader h{};
  std::copy(std::begin(REPLAY_SIGNATURE), std::end(REPLAY_SIGNATURE), h.signature);
  h.rejump = rejump;
  h.seed = seed;
  h.recordCount = static_cast<std::int32_t>(records.size());
  std::vector<std::uint8_t> bytes(REPLAY_HEADER_SIZE + records.size() * INPUT_RECORD_SIZE);
  for (std::size_t j = 0; j < records.size(); ++j)
    encodeRecord(records[j], bytes.data() + REPLAY_HEADER_SIZE + j * INPUT_RECORD_SIZE);
  const ReplayFile file{h, bytes.data() + REPLAY_HEADER_SIZE, nullptr};
  h.checksum = replayChecksum(file);
  encodeHeader(h, bytes.data());
  return bytes;
}

inline bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
