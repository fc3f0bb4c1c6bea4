// Readable replay fixtures: a header description plus records, turned into
// the stored bytes with the checksum computed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "replay/replay_file.h"

struct ReplayFixture {
  std::string signature = "WLX130";
  std::string name;
  std::string date;
  std::int32_t score = 0;
  std::int32_t floor = 0;
  std::int32_t combo = 0;
  std::int32_t rejump = 0;
  std::uint32_t seed = 0;
  std::vector<InputRecord> records;
  std::optional<std::int32_t> recordCount;  // default: records.size()
  std::optional<std::uint32_t> checksum;    // default: the right one
  std::int64_t checksumDelta = 0;           // added to the stored checksum
  std::size_t trailingBytes = 0;            // unread bytes after the records
};

std::vector<std::uint8_t> buildReplayBytes(const ReplayFixture& fixture);

// The replay as the loader would hand it over (records block owned by the
// result; release with releaseReplay).
ReplayFile buildReplay(const ReplayFixture& fixture);

// Writes bytes to a fresh file under the test temp directory; returns its path.
std::string writeTempFile(const std::string& stem, const std::vector<std::uint8_t>& bytes);

// The seed-36 recording whose game ends in its sixth record.
ReplayFixture seed36Replay();
// The 113-byte example file (name abc, date xyz, score 1000, ...).
ReplayFixture exampleReplay();
