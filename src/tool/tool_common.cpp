#include "tool/tool_common.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int reportError(int status, const std::string& message) {
  std::fprintf(stderr, "replaytool: %s\n", message.c_str());
  return status;
}

bool readFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  bytes.clear();
  std::uint8_t buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) error = path + ": read error";
  return !failed;
}

bool writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!wrote || !closed) error = path + ": write error";
  return wrote && closed;
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
