// Windows: paths are UTF-8 inside the programs and UTF-16 for the system;
// descriptors are the C runtime's, always in binary mode.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <random>

#include "platform/files.h"

namespace {

// A path as the system takes it: UTF-16, with the long-path prefix where
// an absolute path is too long for the classic limit. False (errno set)
// for bytes that are not UTF-8.
bool widePath(const std::string& path, std::wstring& wide) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), nullptr, 0);
  if (n <= 0) {
    errno = ENOENT;
    return false;
  }
  wide.assign(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), wide.data(), n);
  const bool absolute = wide.size() > 2 && wide[1] == L':' && (wide[2] == L'\\' || wide[2] == L'/');
  if (absolute && wide.size() >= MAX_PATH) {
    for (wchar_t& c : wide)
      if (c == L'/') c = L'\\';
    wide.insert(0, L"\\\\?\\");
  }
  return true;
}

std::string utf8Of(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

// errno for a system error code, so that every reason reads as strerror's
// wording, the same on every system ("No space left on device", never the
// C runtime's fallback "Invalid argument" for a code it does not know).
int errnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return EEXIST;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_INVALID_PARAMETER:
    case ERROR_NEGATIVE_SEEK:
      return EINVAL;
    default:
      return EIO;
  }
}

// The C runtime keeps the system's code of its last failure in _doserrno;
// errno then holds its own, partial, translation. Cleared before each call
// so that a failure the runtime found itself (a bad descriptor) keeps errno.
void clearSystemError() { _doserrno = 0; }
void takeSystemError() {
  if (_doserrno != 0) errno = errnoOf(static_cast<DWORD>(_doserrno));
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// A close can be where a delayed write fails.
bool closeChecked(int fd) {
  clearSystemError();
  if (_close(fd) == 0) return true;
  takeSystemError();
  return false;
}

// Straight to the system: the C runtime's write reports a short write to a
// full disk as "Invalid argument" (or, on some runtimes, not at all).
bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
  const HANDLE h = handleOf(fd);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD put = 0;
    if (WriteFile(h, bytes.data() + done, want, &put, nullptr) == 0) {
      errno = errnoOf(GetLastError());
      return false;
    }
    if (put == 0) {  // taken, but nothing written: a full disk, or a device that takes no more
      errno = GetFileType(h) == FILE_TYPE_DISK ? ENOSPC : EIO;
      return false;
    }
    done += put;
  }
  return true;
}

// Every byte on the disk, or why not.
bool commitAll(int fd) {
  if (FlushFileBuffers(handleOf(fd)) != 0) return true;
  errno = errnoOf(GetLastError());
  return false;
}

// A device (NUL, CON, a port) is written in place.
bool writeInPlace(const std::wstring& path, const std::vector<std::uint8_t>& bytes, std::string& reason) {
  clearSystemError();
  const int fd = _wopen(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    takeSystemError();
    reason = std::strerror(errno);
    return false;
  }
  bool ok = writeAll(fd, bytes);
  int failure = errno;
  if (!closeChecked(fd) && ok) {
    ok = false;
    failure = errno;
  }
  if (!ok) reason = std::strerror(failure);
  return ok;
}

// The file's identity, for telling whether two paths name one file.
bool identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  std::wstring wide;
  if (!widePath(path, wide)) return false;
  const HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok;
}

// Whether an existing path is a device rather than a file on disk.
bool isDevice(const std::wstring& path) {
  const HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool device = GetFileType(h) != FILE_TYPE_DISK;
  CloseHandle(h);
  return device;
}

UINT consoleCodePage = 0;
void restoreConsoleCodePage() { SetConsoleOutputCP(consoleCodePage); }

}  // namespace

int openForReading(const char* path) {
  std::wstring wide;
  if (!widePath(path, wide)) return -1;
  clearSystemError();
  const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) takeSystemError();
  return fd;
}

std::int64_t readSome(int fd, void* into, std::size_t size) {
  clearSystemError();
  const int got = _read(fd, into, static_cast<unsigned int>(std::min<std::size_t>(size, INT_MAX)));
  if (got < 0) takeSystemError();
  return got;
}

std::int64_t sizeOfOpenFile(int fd) {
  const HANDLE h = handleOf(fd);
  switch (GetFileType(h)) {
    case FILE_TYPE_DISK: {
      LARGE_INTEGER size;
      return GetFileSizeEx(h, &size) ? static_cast<std::int64_t>(size.QuadPart) : -1;
    }
    case FILE_TYPE_CHAR:
      return 0;  // never read a console: it would wait for a person
    default:
      return -1;
  }
}

void rewindOpenFile(int fd) {
  if (GetFileType(handleOf(fd)) == FILE_TYPE_DISK) (void)_lseeki64(fd, 0, SEEK_SET);
}

bool isRegularOpenFile(int fd, std::uint64_t& size) {
  const std::int64_t known = GetFileType(handleOf(fd)) == FILE_TYPE_DISK ? sizeOfOpenFile(fd) : -1;
  if (known < 0) return false;
  size = static_cast<std::uint64_t>(known);
  return true;
}

void closeFile(int fd) { _close(fd); }

bool replaceFileWhole(const std::string& given, const std::vector<std::uint8_t>& bytes, std::string& reason) {
  std::wstring path;
  if (!widePath(given, path)) {
    reason = std::strerror(errno);
    return false;
  }
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    reason = std::strerror(EISDIR);
    return false;
  }
  // A read-only file is refused, as a write to it would be: moving the new
  // file over it would replace it.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    reason = std::strerror(EACCES);
    return false;
  }
  if (isDevice(path)) return writeInPlace(path, bytes, reason);

  // A temporary file beside the target, moved over it once every byte is
  // on disk: a reader sees the old file or the new one, never a fragment.
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::wstring dir = slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
  const std::wstring name = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
  std::random_device entropy;
  std::wstring temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = dir + L"." + name + L"." + std::to_wstring(entropy() % 1000000u);
    clearSystemError();
    fd = _wopen(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0) takeSystemError();
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  bool ok = writeAll(fd, bytes) && commitAll(fd);
  int failure = errno;
  if (!closeChecked(fd) && ok) {
    ok = false;
    failure = errno;
  }
  if (ok && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    ok = false;
    failure = errnoOf(GetLastError());
  }
  if (!ok) {
    DeleteFileW(temp.c_str());
    reason = std::strerror(failure);
  }
  return ok;
}

bool sameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return identify(a, x) && identify(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

namespace {

// Every entry matching `pattern` (a folder's path and *, or an operand's
// wildcards), "." and ".." left out. False with errno set.
bool findEntries(const std::string& pattern, std::vector<FolderEntry>& entries) {
  std::wstring wide;
  if (!widePath(pattern, wide)) return false;
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileW(wide.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) {
    errno = errnoOf(GetLastError());
    return false;
  }
  for (;;) {
    const std::string name = utf8Of(found.cFileName);
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    if (!name.empty() && name != "." && name != "..") entries.push_back(FolderEntry{name, folder});
    if (FindNextFileW(h, &found) == 0) break;
  }
  const DWORD why = GetLastError();
  const bool ok = why == ERROR_NO_MORE_FILES;
  if (!ok) errno = errnoOf(why);
  FindClose(h);
  return ok;
}

}  // namespace

bool listFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& reason) {
  entries.clear();
  // A file is not a folder, whatever FindFirstFileW makes of it and *.
  std::wstring wide;
  if (!widePath(path, wide)) {
    reason = std::strerror(errno);
    return false;
  }
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    reason = std::strerror(attributes == INVALID_FILE_ATTRIBUTES ? errnoOf(GetLastError()) : ENOTDIR);
    return false;
  }
  if (!findEntries(pathInFolder(path, "*"), entries)) {
    reason = std::strerror(errno);
    entries.clear();
    return false;
  }
  return true;
}

bool isFolder(const std::string& path) {
  std::wstring wide;
  if (!widePath(path, wide)) return false;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string pathInFolder(const std::string& folder, const std::string& name) {
  const bool ended = folder.empty() || folder.back() == '\\' || folder.back() == '/' ||
                     (folder.size() == 2 && folder[1] == ':');  // "C:" is the drive's current folder
  return ended ? folder + name : folder + "\\" + name;
}

std::vector<std::string> expandWildcards(const std::string& operand) {
  const std::size_t cut = operand.find_last_of("\\/:");
  const std::string folder = cut == std::string::npos ? "" : operand.substr(0, cut + 1);
  const std::string last = operand.substr(folder.size());
  if (last.find_first_of("*?") == std::string::npos) return {operand};
  std::vector<FolderEntry> entries;
  if (!findEntries(operand, entries) || entries.empty()) return {operand};
  std::vector<std::string> names;
  for (const FolderEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(folder + name);
  return paths;
}

void prepareStandardStreams() {
  (void)_setmode(_fileno(stdout), _O_BINARY);
  (void)_setmode(_fileno(stderr), _O_BINARY);
  // The texts are UTF-8: a console shows them as such while the program runs.
  DWORD mode;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0 && GetConsoleOutputCP() != CP_UTF8) {
    consoleCodePage = GetConsoleOutputCP();
    if (SetConsoleOutputCP(CP_UTF8) != 0) std::atexit(restoreConsoleCodePage);
  }
}

bool standardErrorIsTerminal() {
  // A console, and one that understands the line-clearing escape the
  // progress line uses; the null device and files are not consoles.
  const HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode;
  if (GetConsoleMode(h, &mode) == 0) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::vector<std::string> programArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) {
    if (wide != nullptr) LocalFree(wide);
    return {argv, argv + argc};
  }
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(utf8Of(wide[i]));
  LocalFree(wide);
  return out;
}
