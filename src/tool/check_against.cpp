#include "tool/check_against.h"

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "tool/tool_common.h"
#include "view/display_text.h"

namespace {

// The facts a re-check compares: what a leaderboard ranks and keys by.
constexpr const char* COMPARED[] = {"verdict", "frames", "highestFloor", "bestCombo", "claims", "claimed", "gameDigest"};

void skipSpace(const std::string& t, std::size_t& at) {
  while (at < t.size() && (t[at] == ' ' || t[at] == '\t' || t[at] == '\r' || t[at] == '\n')) ++at;
}

// Past one JSON string starting at its quote; false when it does not end.
bool skipString(const std::string& t, std::size_t& at) {
  for (++at; at < t.size(); ++at) {
    if (t[at] == '\\')
      ++at;
    else if (t[at] == '"')
      return ++at, true;
  }
  return false;
}

// Past one value: a string, or anything up to the ',' or '}' that ends it
// at its own depth.
bool skipValue(const std::string& t, std::size_t& at) {
  if (at < t.size() && t[at] == '"') return skipString(t, at);
  int depth = 0;
  for (; at < t.size(); ++at) {
    const char c = t[at];
    if (c == '"') {
      if (!skipString(t, at)) return false;
      --at;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (depth == 0) return true;
      --depth;
    } else if (c == ',' && depth == 0) {
      return true;
    }
  }
  return false;
}

std::string keyOf(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string file, hex;
  for (const auto& [key, value] : members) {
    if (key == "file") file = value;
    if (key == "fileHex") hex = value;
  }
  return file + (hex.empty() ? "" : "," + hex);
}

const std::string* find(const std::vector<std::pair<std::string, std::string>>& members, const char* key) {
  for (const auto& m : members)
    if (m.first == key) return &m.second;
  return nullptr;
}

}  // namespace

bool jsonMembers(const std::string& t, std::vector<std::pair<std::string, std::string>>& members) {
  members.clear();
  std::size_t at = 0;
  skipSpace(t, at);
  if (at >= t.size() || t[at] != '{') return false;
  ++at;
  skipSpace(t, at);
  if (at < t.size() && t[at] == '}') return ++at, skipSpace(t, at), at == t.size();
  for (;;) {
    skipSpace(t, at);
    if (at >= t.size() || t[at] != '"') return false;
    const std::size_t keyStart = at + 1;
    if (!skipString(t, at)) return false;
    std::string key = t.substr(keyStart, at - 1 - keyStart);
    skipSpace(t, at);
    if (at >= t.size() || t[at] != ':') return false;
    ++at;
    skipSpace(t, at);
    const std::size_t valueStart = at;
    if (!skipValue(t, at)) return false;
    std::size_t valueEnd = at;
    while (valueEnd > valueStart && (t[valueEnd - 1] == ' ' || t[valueEnd - 1] == '\t')) --valueEnd;
    if (valueEnd == valueStart) return false;
    members.emplace_back(std::move(key), t.substr(valueStart, valueEnd - valueStart));
    if (t[at] == '}') break;
    ++at;  // ','
  }
  ++at;
  skipSpace(t, at);
  return at == t.size();
}

bool readOldResults(const std::string& path, OldResults& old, std::string& error) {
  const int fd = openInput(path);
  if (fd < 0) {
    error = displayText(path) + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  char buffer[65536];
  std::int64_t n;
  while ((n = readSome(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  const int readError = errno;
  closeInput(path, fd);
  if (n < 0) {
    error = displayText(path) + ": " + std::strerror(readError);
    return false;
  }
  std::vector<std::pair<std::string, std::string>> members;
  std::size_t number = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (!jsonMembers(line, members) || find(members, "file") == nullptr) {
      error = displayText(path) + ": line " + std::to_string(number) + " is not a line of check --json";
      return false;
    }
    old.emplace(keyOf(members), members);
  }
  return true;
}

std::string changesSince(const OldResults& old, const std::string& line) {
  std::vector<std::pair<std::string, std::string>> now;
  if (!jsonMembers(line, now)) return "\tunreadable result";  // never: the line is check's own
  const auto was = old.find(keyOf(now));
  if (was == old.end()) return "\tnew: not in OLD";
  std::string changes;
  for (const char* key : COMPARED) {
    const std::string* before = find(was->second, key);
    const std::string* after = find(now, key);
    if (before == nullptr || after == nullptr || *before == *after) continue;
    changes.append("\t").append(key).append(" ").append(displayText(*before)).append(" -> ").append(*after);
  }
  return changes;
}
