// Arbitrary bytes as a replay file: the loader must return a message or a
// well-formed replay, and never read out of bounds or leak.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "replay/replay_file.h"

namespace {

// Most random files fail the checksum. So that the fuzzer also explores
// files that pass it, the last input byte picks whether to store the right
// checksum into the header first (the byte itself stays part of the file).
std::vector<std::uint8_t> withChecksumFixed(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  if (size < REPLAY_HEADER_SIZE || (data[size - 1] & 1) == 0) return bytes;
  ReplayFile file{decodeHeader(bytes.data()), bytes.data() + REPLAY_HEADER_SIZE, nullptr};
  const std::uint64_t held = (size - REPLAY_HEADER_SIZE) / INPUT_RECORD_SIZE;
  if (file.header.recordCount < 0 || static_cast<std::uint64_t>(file.header.recordCount) > held) return bytes;
  file.header.checksum = replayChecksum(file);
  std::uint8_t header[REPLAY_HEADER_SIZE];
  encodeHeader(file.header, header);
  std::copy(header, header + REPLAY_HEADER_SIZE, bytes.begin());
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* raw, std::size_t size) {
  const std::vector<std::uint8_t> bytes = withChecksumFixed(raw, size);
  const std::uint8_t* data = bytes.data();
  const int fd = ::memfd_create("replay", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  ReplayFile replay{};
  const char* message = loadReplay(path.c_str(), replay);
  ::close(fd);
  // The loader of bytes in memory agrees with the file's, message for
  // message, and points into the bytes it was given.
  ReplayFile inMemory{};
  const char* memoryMessage = loadReplayBytes(data, size, inMemory);
  if ((message == nullptr) != (memoryMessage == nullptr)) std::abort();
  if (message != nullptr && std::strcmp(message, memoryMessage) != 0) std::abort();
  if (message == nullptr) {
    std::uint8_t fromFile[REPLAY_HEADER_SIZE], fromMemory[REPLAY_HEADER_SIZE];
    encodeHeader(replay.header, fromFile);
    encodeHeader(inMemory.header, fromMemory);
    if (std::memcmp(fromFile, fromMemory, REPLAY_HEADER_SIZE) != 0) std::abort();
    if (inMemory.records != data + REPLAY_HEADER_SIZE || inMemory.block != nullptr) std::abort();
  }
  if (message != nullptr) {
    if (replay.records != nullptr) std::abort();  // nothing may stay allocated
    return 0;
  }
  // A loaded replay is exactly what the file holds, and its checksum holds.
  if (replay.records == nullptr || size < REPLAY_HEADER_SIZE) std::abort();
  if (static_cast<std::uint64_t>(replay.header.recordCount) * INPUT_RECORD_SIZE > size - REPLAY_HEADER_SIZE) std::abort();
  if (replayChecksum(replay) != replay.header.checksum) std::abort();
  releaseReplay(replay);
  return 0;
}
