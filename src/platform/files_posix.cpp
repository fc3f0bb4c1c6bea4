#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/terminal.h"

int openForReading(const char* path) {
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // Blocking again, so that a live pipe is read whole.
  const int mode = ::fcntl(fd, F_GETFL);
  if (mode >= 0) (void)::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK);
  return fd;
}

std::int64_t readSome(int fd, void* into, std::size_t size) {
  ssize_t got;
  do {
    got = ::read(fd, into, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

std::int64_t sizeOfOpenFile(int fd) {
  const off_t end = ::lseek(fd, 0, SEEK_END);
  return end < 0 ? -1 : static_cast<std::int64_t>(end);
}

void rewindOpenFile(int fd) { (void)::lseek(fd, 0, SEEK_SET); }

bool isRegularOpenFile(int fd, std::uint64_t& size) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

void closeFile(int fd) { ::close(fd); }

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
// replace, and renaming over it would be wrong. Opened without waiting, so
// that a FIFO with no reader fails.
bool writeInPlace(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& reason) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  const int mode = ::fcntl(fd, F_GETFL);
  if (mode >= 0) (void)::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK);
  bool ok = writeAll(fd, bytes);
  int failure = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (!ok) reason = std::strerror(failure);
  return ok;
}

}  // namespace

bool replaceFileWhole(const std::string& given, const std::vector<std::uint8_t>& bytes, std::string& reason) {
  struct stat target {};
  const bool exists = ::stat(given.c_str(), &target) == 0;
  struct stat link {};
  const bool dangling = !exists && ::lstat(given.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
  // Nothing to replace: the open creates the file a dangling link names.
  if ((exists && !S_ISREG(target.st_mode)) || dangling) return writeInPlace(given, bytes, reason);
  // Through a symbolic link, the file it names is replaced, not the link.
  std::string path = given;
  if (char* real = exists ? ::realpath(given.c_str(), nullptr) : nullptr) {
    path = real;
    std::free(real);
  }

  // A file its owner made read-only is kept, as cp would keep it: a rename
  // would replace it all the same. Mode bits decide as well as access, so
  // that a file nobody may write is kept even for root.
  if (exists) {
    const bool writable = ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
    if (!writable || (target.st_mode & 0222) == 0) {
      reason = std::strerror(writable ? EACCES : errno);
      return false;
    }
  }

  // A reader sees the old file or the new one, never a fragment.
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string temp = dir + "." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    reason = std::strerror(errno);
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
    reason = std::strerror(failure);
  }
  return ok;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat x {}, y {};
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

void prepareStandardStreams() { std::signal(SIGPIPE, SIG_IGN); }

bool standardErrorIsTerminal() { return streamIsTerminal(STDERR_FILENO); }

std::vector<std::string> programArguments(int argc, char** argv) { return {argv, argv + argc}; }

bool listFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& reason) {
  entries.clear();
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) {
    reason = std::strerror(errno);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir);
    if (e == nullptr) break;
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    bool folder = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN) {
      struct stat st {};
      folder = ::lstat(pathInFolder(path, name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back(FolderEntry{name, folder});
  }
  const int failure = errno;
  ::closedir(dir);
  if (failure != 0) {
    reason = std::strerror(failure);
    return false;
  }
  return true;
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string pathInFolder(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::vector<std::string> expandWildcards(const std::string& operand) { return {operand}; }
