#include "support/replay_builder.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

void putText(char* field, const std::string& text, std::size_t width) {
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), text.size() < width ? text.size() : width);
}

}  // namespace

std::vector<std::uint8_t> buildReplayBytes(const ReplaySpec& spec) {
  ReplayHeader h{};
  std::memset(h.signature, 0, sizeof h.signature);
  std::memcpy(h.signature, spec.signature.data(), spec.signature.size() < 6 ? spec.signature.size() : 6);
  h.recordCount = spec.recordCount.value_or(static_cast<std::int32_t>(spec.records.size()));
  putText(h.playerName, spec.name, sizeof h.playerName);
  putText(h.date, spec.date, sizeof h.date);
  h.score = spec.score;
  h.floor = spec.floor;
  h.combo = spec.combo;
  h.rejump = spec.rejump;
  h.seed = spec.seed;

  std::vector<std::uint8_t> body(spec.records.size() * INPUT_RECORD_SIZE + spec.trailingBytes, 0xA5);
  for (std::size_t j = 0; j < spec.records.size(); ++j) encodeRecord(spec.records[j], body.data() + j * INPUT_RECORD_SIZE);

  if (spec.checksum) {
    h.checksum = *spec.checksum;
  } else {
    // The checksum covers only the records the header announces and the body holds.
    ReplayFile file{h, body.data()};
    const std::size_t held = spec.records.size();
    if (h.recordCount < 0 || static_cast<std::size_t>(h.recordCount) > held)
      file.header.recordCount = static_cast<std::int32_t>(held);
    h.checksum = replayChecksum(file);
  }
  h.checksum += static_cast<std::uint32_t>(spec.checksumDelta);

  std::vector<std::uint8_t> bytes(REPLAY_HEADER_SIZE);
  encodeHeader(h, bytes.data());
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

ReplayFile buildReplay(const ReplaySpec& spec) {
  const std::vector<std::uint8_t> bytes = buildReplayBytes(spec);
  ReplayFile file{};
  file.header = decodeHeader(bytes.data());
  const std::size_t body = bytes.size() - REPLAY_HEADER_SIZE;
  file.records = static_cast<std::uint8_t*>(std::malloc(body == 0 ? 1 : body));
  std::memcpy(file.records, bytes.data() + REPLAY_HEADER_SIZE, body);
  return file;
}

std::string writeTempFile(const std::string& stem, const std::vector<std::uint8_t>& bytes) {
  const char* dir = std::getenv("TEST_TMPDIR");
  std::string path = std::string(dir ? dir : "/tmp") + "/runaudit_" + stem + "_" + std::to_string(::getpid());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

ReplaySpec seed36Replay() {
  ReplaySpec spec;
  spec.name = "tester";
  spec.date = "2026-12-07";
  spec.rejump = 1;
  spec.seed = 36;
  spec.records = {{9, 0x02}, {25, 0x12}, {17, 0x02}, {8, 0x12}, {17, 0x02}, {21, 0x01}, {0, 0x80}};
  return spec;
}

ReplaySpec exampleReplay() {
  ReplaySpec spec;
  spec.name = "abc";
  spec.date = "xyz";
  spec.score = 1000;
  spec.floor = 25;
  spec.combo = 3;
  spec.rejump = 1;
  spec.seed = 7;
  spec.records = {{0, 0x02}, {4, 0x12}, {0, 0x80}};
  return spec;
}
