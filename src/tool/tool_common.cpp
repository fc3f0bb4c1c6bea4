#include "tool/tool_common.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <new>

#include "replay/open_file.h"
#include "replay/replay_text.h"

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
    const ssize_t got = readRetrying(fd, buf, static_cast<std::size_t>(std::min<std::uint64_t>(want, sizeof buf)));
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
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!readUpTo(fd, image.bytes, REPLAY_HEADER_SIZE, path, error)) return false;
  if (image.bytes.size() < REPLAY_HEADER_SIZE) return true;
  const ReplayHeader h = decodeHeader(image.bytes.data());
  const std::uint64_t declared = h.recordCount > 0 ? static_cast<std::uint64_t>(h.recordCount) * INPUT_RECORD_SIZE : 0;
  if (regular) {
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
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

bool readReplayImage(const std::string& path, ReplayImage& image, std::string& error) {
  const int fd = openWithoutWaiting(path.c_str(), O_RDONLY);
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
  ::close(fd);
  if (!ok) image = ReplayImage{};
  return ok;
}

namespace {

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    if (put == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// A device, a FIFO or a terminal is written in place: there is nothing to
// replace, and renaming over it would be wrong.
bool writeInPlace(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
  const int fd = openWithoutWaiting(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) {
    error = fileError(path, std::strerror(errno));
    return false;
  }
  bool ok = writeAll(fd, bytes);
  int failure = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (!ok) error = fileError(path, std::strerror(failure));
  return ok;
}

}  // namespace

bool writeFileBytes(const std::string& given, const std::vector<std::uint8_t>& bytes, std::string& error) {
  struct stat target {};
  const bool exists = ::stat(given.c_str(), &target) == 0;
  struct stat link {};
  const bool dangling = !exists && ::lstat(given.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
  // Nothing to replace: the open creates the file a dangling link names.
  if ((exists && !S_ISREG(target.st_mode)) || dangling) return writeInPlace(given, bytes, error);
  // Through a symbolic link, the file it names is replaced, not the link.
  std::string path = given;
  if (char* real = exists ? ::realpath(given.c_str(), nullptr) : nullptr) {
    path = real;
    std::free(real);
  }

  // A temporary file beside the target, renamed over it once every byte is
  // on disk: a reader sees the old file or the new one, never a fragment.
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string temp = dir + "." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = fileError(given, std::strerror(errno));
    return false;
  }
  mode_t mode;
  if (exists) {
    mode = target.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
  int failure = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    failure = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    error = fileError(given, std::strerror(failure));
  }
  return ok;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat x {}, y {};
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

std::string fileError(const std::string& path, const std::string& reason) {
  return escapeText(path.data(), path.size()) + ": " + reason;
}

std::string operandError(const char* command, const CommandLine& line, std::size_t count, const char* names) {
  const std::string name = command;
  if (line.operands.size() < count) return name + " needs " + names;
  if (line.operands.size() == count) return "";
  const std::string& extra = line.operands[count];
  return name + " takes " + (count == 1 ? "one " : "") + names + " (extra argument " +
         escapeText(extra.data(), extra.size()) + ")";
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


const char* aliveReason(const PlaybackOutcome& outcome, const ReplayHeader& header) {
  return outcome.recordsPlayed < static_cast<std::uint32_t>(header.recordCount) ? "end marker" : "records exhausted";
}
