#include "tool/tool_common.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/files.h"
#include "platform/terminal.h"
#include "replay/replay_text.h"
#include "view/display_text.h"

namespace {
std::atomic<int> outputErrno{0};
}  // namespace

bool flushStandardOutput() {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if (!flushed && errno != 0) {
    int none = 0;
    outputErrno.compare_exchange_strong(none, errno);
  }
  return flushed && std::ferror(stdout) == 0;
}

bool standardOutputClosed() { return outputErrno.load() == EPIPE; }

std::string standardOutputError() {
  const int reason = outputErrno.load();
  return reason != 0 ? std::strerror(reason) : "";
}

int reportError(int status, const std::string& message) {
  std::fprintf(stderr, "replaytool: %s\n", message.c_str());
  return status;
}

namespace {

// Up to `want` bytes; fewer only at the end of the file.
bool readUpTo(int fd, std::vector<std::uint8_t>& bytes, std::uint64_t want, const std::string& path, std::string& error) {
  std::uint8_t buf[65536];
  while (want > 0) {
    const std::int64_t got = readSome(fd, buf, static_cast<std::size_t>(std::min<std::uint64_t>(want, sizeof buf)));
    if (got < 0) {
      error = fileError(path, std::strerror(errno));
      return false;
    }
    if (got == 0) return true;
    bytes.insert(bytes.end(), buf, buf + got);
    want -= static_cast<std::uint64_t>(got);
  }
  return true;
}

bool readImage(int fd, ReplayImage& image, const std::string& path, std::string& error) {
  std::uint64_t size = 0;
  const bool regular = isRegularOpenFile(fd, size);
  if (!readUpTo(fd, image.bytes, REPLAY_HEADER_SIZE, path, error)) return false;
  if (image.bytes.size() < REPLAY_HEADER_SIZE) return true;
  const ReplayHeader h = decodeHeader(image.bytes.data());
  const std::uint64_t declared = h.recordCount > 0 ? static_cast<std::uint64_t>(h.recordCount) * INPUT_RECORD_SIZE : 0;
  if (regular) {
    const std::uint64_t held = size > REPLAY_HEADER_SIZE ? size - REPLAY_HEADER_SIZE : 0;
    image.bytes.reserve(REPLAY_HEADER_SIZE + static_cast<std::size_t>(std::min(declared, held)));
    if (!readUpTo(fd, image.bytes, std::min(declared, held), path, error)) return false;
    image.tail.bytes = size > image.bytes.size() ? size - image.bytes.size() : 0;
    return true;
  }
  const bool replay = std::memcmp(h.signature, REPLAY_SIGNATURE, sizeof REPLAY_SIGNATURE) == 0 && h.recordCount >= 0;
  if (replay && !readUpTo(fd, image.bytes, declared, path, error)) return false;
  std::vector<std::uint8_t> probe;
  if (!readUpTo(fd, probe, 1, path, error)) return false;
  image.tail = UnreadTail{probe.size(), !probe.empty()};
  return true;
}

}  // namespace

int openInput(const std::string& path) {
  return isStandardStream(path) ? standardInputForReading() : openForReading(path.c_str());
}

void closeInput(const std::string& path, int fd) {
  if (!isStandardStream(path)) closeFile(fd);
}

bool readReplayImage(const std::string& path, ReplayImage& image, std::string& error) {
  const int fd = openInput(path);
  if (fd < 0) {
    error = fileError(path, std::strerror(errno));
    return false;
  }
  image = ReplayImage{};
  bool ok = false;
  try {
    ok = readImage(fd, image, path, error);
  } catch (const std::bad_alloc&) {
    error = fileError(path, "not enough memory to read it");
  }
  closeInput(path, fd);
  if (!ok) image = ReplayImage{};
  return ok;
}

bool loadReplayImage(const std::string& path, ReplayImage& image, ReplayFile& replay, std::string& error) {
  if (!readReplayImage(path, image, error)) return false;
  // What was read is what loadReplay reads: the header and the declared
  // records as far as the file holds them, so the same checks decide.
  if (const char* message = loadReplayBytes(image.bytes.data(), image.bytes.size(), replay)) {
    error = fileError(path, message);
    return false;
  }
  return true;
}

bool writeOutputBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
  if (!isStandardStream(path)) return writeFileBytes(path, bytes, error);
  writeStandardOutput(bytes.data(), bytes.size());
  return true;
}

void writeStandardOutput(const void* bytes, std::size_t size) {
  // Checked with the rest of standard output, once the command is done; a
  // large write goes past the buffer, so its reason is kept now.
  errno = 0;
  if (std::fwrite(bytes, 1, size, stdout) != size) keepStandardOutputReason(errno);
}

void keepStandardOutputReason(int error) {
  int none = 0;
  if (error != 0) outputErrno.compare_exchange_strong(none, error);
}

std::string openFailure(const std::string& path, const char* fixed) {
  const int fd = openForReading(path.c_str());
  if (fd < 0) return std::strerror(errno);
  closeFile(fd);
  return fixed;  // it opens now: the loader's own words
}

bool writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
  std::string reason;
  if (replaceFileWhole(path, bytes, reason)) return true;
  error = fileError(path, reason);
  return false;
}

std::string fileError(const std::string& path, const std::string& reason) {
  return displayText(path) + ": " + reason;
}

std::string operandError(const char* command, const CommandLine& line, std::size_t count, const char* names) {
  const std::string name = command;
  if (line.operands.size() < count) return name + " needs " + names;
  if (line.operands.size() == count) return "";
  const std::string& extra = line.operands[count];
  return name + " takes " + (count == 1 ? "one " : "") + names + " (extra argument " +
         displayText(extra) + ")";
}

bool parseCount(const char* text, std::uint64_t& value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  value = v;
  return true;
}



std::string countOf(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}
