#include "replay/replay_file.h"

#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace {

std::int32_t getI32(const std::uint8_t* p) { return static_cast<std::int32_t>(loadLE32(p)); }

void putI32(std::uint8_t* p, std::int32_t v) { storeLE32(p, static_cast<std::uint32_t>(v)); }

// The size a platform reports when it cannot tell: large enough that every
// size test passes and the reads decide.
constexpr std::uint64_t UNKNOWN_SIZE = 4294967295u;

// An open replay file (see openForReading: a FIFO whose writer is absent
// reads as end of file and comes up short).
struct Source {
  int fd = -1;
};

bool openSource(Source& src, const char* path) {
  src.fd = openForReading(path);
  return src.fd >= 0;
}

void closeSource(Source& src) {
  closeFile(src.fd);
  src.fd = -1;
}

std::uint64_t sourceSize(const Source& src) {
  const std::int64_t size = sizeOfOpenFile(src.fd);
  return size < 0 ? UNKNOWN_SIZE : static_cast<std::uint64_t>(size);
}

// The one read path: true only when exactly `size` bytes arrived from the
// start position. A short read, an error or a non-rewindable source all fail.
bool readExactly(const Source& src, std::uint8_t* into, std::uint64_t size) {
  std::uint64_t done = 0;
  while (done < size) {
    const std::uint64_t want = size - done < (1u << 30) ? size - done : (1u << 30);
    const std::int64_t got = readSome(src.fd, into + done, static_cast<std::size_t>(want));
    if (got <= 0) return false;
    done += static_cast<std::uint64_t>(got);
  }
  return true;
}

// The checks on a decoded header, given how many bytes follow it: the
// signature, the record count, and room for the records.
bool headerFits(const ReplayHeader& header, std::uint64_t bodyAvailable) {
  if (std::memcmp(header.signature, REPLAY_SIGNATURE, sizeof REPLAY_SIGNATURE) != 0) return false;
  if (header.recordCount < 0) return false;
  // 5 × 2147483647 needs 34 bits: compare in 64 bits.
  return static_cast<std::uint64_t>(header.recordCount) * INPUT_RECORD_SIZE <= bodyAvailable;
}

std::uint64_t bodySizeOf(const ReplayHeader& header) {
  return static_cast<std::uint64_t>(header.recordCount) * INPUT_RECORD_SIZE;
}

const char* fail(Source& src, const char* message) {
  closeSource(src);
  return message;
}

}  // namespace

ReplayHeader decodeHeader(const std::uint8_t* b) {
  ReplayHeader h{};
  std::memcpy(h.signature, b + 0, 6);
  h.recordCount = getI32(b + 6);
  std::memcpy(h.playerName, b + 10, 32);
  std::memcpy(h.date, b + 42, 32);
  h.score = getI32(b + 74);
  h.floor = getI32(b + 78);
  h.combo = getI32(b + 82);
  h.rejump = getI32(b + 86);
  h.seed = loadLE32(b + 90);
  h.checksum = loadLE32(b + 94);
  return h;
}

void encodeHeader(const ReplayHeader& h, std::uint8_t* b) {
  std::memcpy(b + 0, h.signature, 6);
  putI32(b + 6, h.recordCount);
  std::memcpy(b + 10, h.playerName, 32);
  std::memcpy(b + 42, h.date, 32);
  putI32(b + 74, h.score);
  putI32(b + 78, h.floor);
  putI32(b + 82, h.combo);
  putI32(b + 86, h.rejump);
  storeLE32(b + 90, h.seed);
  storeLE32(b + 94, h.checksum);
}

const char* loadReplay(const char* path, ReplayFile& replay) {
  replay.records = nullptr;
  replay.block = nullptr;

  Source src;
  if (!openSource(src, path)) return MSG_OPEN_FAILED;

  const std::uint64_t fileSize = sourceSize(src);
  if (fileSize < REPLAY_HEADER_SIZE) return fail(src, MSG_NOT_A_REPLAY);

  std::uint8_t headerBytes[REPLAY_HEADER_SIZE];
  rewindOpenFile(src.fd);  // a source that cannot rewind never moved: the read decides
  if (!readExactly(src, headerBytes, REPLAY_HEADER_SIZE)) return fail(src, MSG_READ_FAILED);
  replay.header = decodeHeader(headerBytes);

  if (!headerFits(replay.header, fileSize - REPLAY_HEADER_SIZE)) return fail(src, MSG_NOT_A_REPLAY);
  const std::uint64_t bodySize = bodySizeOf(replay.header);

  // malloc(0) may return null; an empty body is still a valid block.
  auto* records = static_cast<std::uint8_t*>(std::malloc(bodySize == 0 ? 1 : static_cast<std::size_t>(bodySize)));
  if (records == nullptr) return fail(src, MSG_NO_MEMORY);
  if (!readExactly(src, records, bodySize)) {
    std::free(records);
    return fail(src, MSG_READ_FAILED);
  }
  closeSource(src);

  replay.records = records;
  replay.block = records;
  if (replayChecksum(replay) != replay.header.checksum) {
    releaseReplay(replay);
    return MSG_NOT_A_REPLAY;
  }
  return nullptr;
}

const char* loadReplayBytes(const std::uint8_t* bytes, std::size_t size, ReplayFile& replay) {
  replay.records = nullptr;
  replay.block = nullptr;
  if (bytes == nullptr || size < REPLAY_HEADER_SIZE) return MSG_NOT_A_REPLAY;
  const ReplayHeader header = decodeHeader(bytes);
  if (!headerFits(header, size - REPLAY_HEADER_SIZE)) return MSG_NOT_A_REPLAY;
  const ReplayFile loaded{header, bytes + REPLAY_HEADER_SIZE, nullptr};
  if (replayChecksum(loaded) != header.checksum) return MSG_NOT_A_REPLAY;
  replay = loaded;
  return nullptr;
}

void releaseReplay(ReplayFile& replay) {
  std::free(replay.block);
  replay.block = nullptr;
  replay.records = nullptr;
}

std::uint32_t firstEndMarker(const ReplayFile& replay) {
  const std::uint32_t count = recordCountOf(replay);
  for (std::uint32_t j = 0; j < count; ++j)
    if (recordAt(replay, j).input & END_MARKER) return j + 1;
  return 0;
}
