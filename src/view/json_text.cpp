#include "view/json_text.h"

#include <cstdio>

namespace {

// Length of the well-formed UTF-8 sequence at bytes[i], or 0.
std::size_t sequenceLength(const unsigned char* s, std::size_t size, std::size_t i) {
  const unsigned char c = s[i];
  if (c < 0x80) return 1;
  std::size_t n;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;   // no overlong forms
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (size - i < n) return 0;
  if (s[i + 1] < low || s[i + 1] > high) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (s[i + k] < 0x80 || s[i + k] > 0xBF) return 0;
  return n;
}

}  // namespace

bool isValidUtf8(const char* bytes, std::size_t size) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < size;) {
    const std::size_t n = sequenceLength(s, size, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string jsonString(const char* bytes, std::size_t size) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes);
  std::string out = "\"";
  for (std::size_t i = 0; i < size;) {
    const unsigned char c = s[i];
    const std::size_t n = sequenceLength(s, size, i);
    if (n == 0) {
      out += "\\uFFFD";
      ++i;
    } else if (n > 1) {
      out.append(bytes + i, n);
      i += n;
    } else {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20 || c == 0x7F) {
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\u%04X", c);
        out += esc;
      } else {
        out += static_cast<char>(c);
      }
      ++i;
    }
  }
  return out + "\"";
}

std::string hexString(const char* bytes, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out + "\"";
}

std::string jsonNameField(const char* key, const char* bytes, std::size_t size) {
  std::string out;
  out.append("\"").append(key).append("\":").append(jsonString(bytes, size)).append(",");
  if (!isValidUtf8(bytes, size)) out.append("\"").append(key).append("Hex\":").append(hexString(bytes, size)).append(",");
  return out;
}
