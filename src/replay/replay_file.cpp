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

// The checks on a decoded header, given the file's size: the signature,
// the record count, and room for the records.
LoadFailure checkHeader(const ReplayHeader& header, std::uint64_t fileSize, LoadReport& report) {
  if (std::memcmp(header.signature, REPLAY_SIGNATURE, sizeof REPLAY_SIGNATURE) != 0) return LoadFailure::BadSignature;
  if (header.recordCount < 0) return LoadFailure::NegativeCount;
  // 5 × 2147483647 needs 34 bits: compare in 64 bits.
  const std::uint64_t needed = REPLAY_HEADER_SIZE + static_cast<std::uint64_t>(header.recordCount) * INPUT_RECORD_SIZE;
  if (needed <= fileSize) return LoadFailure::None;
  report.needed = needed;
  report.present = fileSize;
  return LoadFailure::RecordsPastEnd;
}

std::uint64_t bodySizeOf(const ReplayHeader& header) {
  return static_cast<std::uint64_t>(header.recordCount) * INPUT_RECORD_SIZE;
}

const char* messageOf(LoadFailure failure) {
  switch (failure) {
    case LoadFailure::None: return nullptr;
    case LoadFailure::OpenFailed: return MSG_OPEN_FAILED;
    case LoadFailure::ReadFailed: return MSG_READ_FAILED;
    case LoadFailure::NoMemory: return MSG_NO_MEMORY;
    default: return MSG_NOT_A_REPLAY;
  }
}

const char* refuse(LoadReport& report, LoadFailure failure) {
  report.failure = failure;
  return messageOf(failure);
}

const char* fail(Source& src, LoadReport& report, LoadFailure failure) {
  closeSource(src);
  return refuse(report, failure);
}

const char* tooShort(LoadReport& report, std::uint64_t size) {
  report.needed = REPLAY_HEADER_SIZE;
  report.present = size;
  return refuse(report, LoadFailure::TooShort);
}

// Compares the stored checksum with the one the loaded bytes give.
const char* checkSum(const ReplayFile& replay, LoadReport& report) {
  const std::uint32_t computed = replayChecksum(replay);
  if (computed == replay.header.checksum) return nullptr;
  report.stored = replay.header.checksum;
  report.computed = computed;
  return refuse(report, LoadFailure::BadChecksum);
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

const char* loadReplay(const char* path, ReplayFile& replay, LoadReport& report) {
  replay.records = nullptr;
  replay.block = nullptr;
  report = LoadReport{};

  Source src;
  if (!openSource(src, path)) return refuse(report, LoadFailure::OpenFailed);

  const std::uint64_t fileSize = sourceSize(src);
  if (fileSize < REPLAY_HEADER_SIZE) {
    closeSource(src);
    return tooShort(report, fileSize);
  }

  std::uint8_t headerBytes[REPLAY_HEADER_SIZE];
  rewindOpenFile(src.fd);  // a source that cannot rewind never moved: the read decides
  if (!readExactly(src, headerBytes, REPLAY_HEADER_SIZE)) return fail(src, report, LoadFailure::ReadFailed);
  replay.header = decodeHeader(headerBytes);

  if (const LoadFailure f = checkHeader(replay.header, fileSize, report); f != LoadFailure::None) return fail(src, report, f);
  const std::uint64_t bodySize = bodySizeOf(replay.header);

  // malloc(0) may return null; an empty body is still a valid block.
  auto* records = static_cast<std::uint8_t*>(std::malloc(bodySize == 0 ? 1 : static_cast<std::size_t>(bodySize)));
  if (records == nullptr) return fail(src, report, LoadFailure::NoMemory);
  if (!readExactly(src, records, bodySize)) {
    std::free(records);
    return fail(src, report, LoadFailure::ReadFailed);
  }
  closeSource(src);

  replay.records = records;
  replay.block = records;
  if (const char* message = checkSum(replay, report)) {
    releaseReplay(replay);
    return message;
  }
  return nullptr;
}

const char* loadReplay(const char* path, ReplayFile& replay) {
  LoadReport report;
  return loadReplay(path, replay, report);
}

const char* loadReplayBytes(const std::uint8_t* bytes, std::size_t size, ReplayFile& replay, LoadReport& report) {
  replay.records = nullptr;
  replay.block = nullptr;
  report = LoadReport{};
  if (bytes == nullptr) size = 0;
  if (size < REPLAY_HEADER_SIZE) return tooShort(report, size);
  const ReplayHeader header = decodeHeader(bytes);
  if (const LoadFailure f = checkHeader(header, size, report); f != LoadFailure::None) return refuse(report, f);
  const ReplayFile loaded{header, bytes + REPLAY_HEADER_SIZE, nullptr};
  if (const char* message = checkSum(loaded, report)) return message;
  replay = loaded;
  return nullptr;
}

const char* loadReplayBytes(const std::uint8_t* bytes, std::size_t size, ReplayFile& replay) {
  LoadReport report;
  return loadReplayBytes(bytes, size, replay, report);
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
