#include "support/replay_builder.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

namespace {

// A name no other test process or thread uses at the same time. The
// process id alone is not enough: under node every process has the same
// one, and ctest runs test processes side by side.
std::string uniqueSuffix() {
  static const unsigned tag = std::random_device{}();
  static std::atomic<unsigned> count{0};
  return std::to_string(::getpid()) + "_" + std::to_string(tag) + "_" + std::to_string(count++);
}

void putText(char* field, const std::string& text, std::size_t width) {
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), text.size() < width ? text.size() : width);
}

}  // namespace

std::vector<std::uint8_t> buildReplayBytes(const ReplayFixture& fixture) {
  ReplayHeader h{};
  std::memset(h.signature, 0, sizeof h.signature);
  std::memcpy(h.signature, fixture.signature.data(), fixture.signature.size() < 6 ? fixture.signature.size() : 6);
  h.recordCount = fixture.recordCount.value_or(static_cast<std::int32_t>(fixture.records.size()));
  putText(h.playerName, fixture.name, sizeof h.playerName);
  putText(h.date, fixture.date, sizeof h.date);
  h.score = fixture.score;
  h.floor = fixture.floor;
  h.combo = fixture.combo;
  h.rejump = fixture.rejump;
  h.seed = fixture.seed;

  std::vector<std::uint8_t> body(fixture.records.size() * INPUT_RECORD_SIZE + fixture.trailingBytes, 0xA5);
  for (std::size_t j = 0; j < fixture.records.size(); ++j) encodeRecord(fixture.records[j], body.data() + j * INPUT_RECORD_SIZE);

  if (fixture.checksum) {
    h.checksum = *fixture.checksum;
  } else {
    // The checksum covers only the records the header announces and the body holds.
    ReplayFile file{h, body.data(), nullptr};
    const std::size_t held = fixture.records.size();
    if (h.recordCount < 0 || static_cast<std::size_t>(h.recordCount) > held)
      file.header.recordCount = static_cast<std::int32_t>(held);
    h.checksum = replayChecksum(file);
  }
  h.checksum += static_cast<std::uint32_t>(fixture.checksumDelta);

  std::vector<std::uint8_t> bytes(REPLAY_HEADER_SIZE);
  encodeHeader(h, bytes.data());
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

ReplayFile buildReplay(const ReplayFixture& fixture) {
  const std::vector<std::uint8_t> bytes = buildReplayBytes(fixture);
  ReplayFile file{};
  file.header = decodeHeader(bytes.data());
  const std::size_t body = bytes.size() - REPLAY_HEADER_SIZE;
  file.block = static_cast<std::uint8_t*>(std::malloc(body == 0 ? 1 : body));
  std::memcpy(file.block, bytes.data() + REPLAY_HEADER_SIZE, body);
  file.records = file.block;
  return file;
}

std::string writeTempFile(const std::string& stem, const std::vector<std::uint8_t>& bytes) {
  const char* dir = std::getenv("TEST_TMPDIR");
  std::string path = std::string(dir ? dir : "/tmp") + "/runaudit_" + stem + "_" + uniqueSuffix();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

ReplayFixture seed36Replay() {
  ReplayFixture fixture;
  fixture.name = "tester";
  fixture.date = "2026-12-07";
  fixture.rejump = 1;
  fixture.seed = 36;
  fixture.floor = 1;  // the floor the game reaches: the claims hold
  fixture.records = {{9, 0x02}, {25, 0x12}, {17, 0x02}, {8, 0x12}, {17, 0x02}, {21, 0x01}, {0, 0x80}};
  return fixture;
}

ReplayFixture exampleReplay() {
  ReplayFixture fixture;
  fixture.name = "abc";
  fixture.date = "xyz";
  fixture.score = 1000;
  fixture.floor = 25;
  fixture.combo = 3;
  fixture.rejump = 1;
  fixture.seed = 7;
  fixture.records = {{0, 0x02}, {4, 0x12}, {0, 0x80}};
  return fixture;
}
