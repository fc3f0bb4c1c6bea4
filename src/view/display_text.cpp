#include "view/display_text.h"

#include <cstdint>

namespace {

// Length of the valid UTF-8 sequence at p (at most `left` bytes), 0 if
// none starts there: no overlong forms, surrogates or values past U+10FFFF.
std::size_t sequenceLength(const unsigned char* p, std::size_t left, std::uint32_t& code) {
  const unsigned char b = p[0];
  std::size_t n;
  std::uint32_t min;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2, min = 0x80, code = b & 0x1Fu;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3, min = 0x800, code = b & 0x0Fu;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4, min = 0x10000, code = b & 0x07u;
  } else {
    return 0;
  }
  if (left < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (p[i] & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

// Characters that are valid text but act on the terminal or on the order
// in which the rest of the line is shown.
bool isHiddenControl(std::uint32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

void appendHex(std::string& out, unsigned char b) {
  static const char digits[] = "0123456789ABCDEF";
  out += "\\x";
  out += digits[b >> 4];
  out += digits[b & 15];
}

}  // namespace

std::string displayText(const char* bytes, std::size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < size;) {
    const unsigned char b = p[i];
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    if (b == '\t' || b == '\n' || b == '\r') {
      out += b == '\t' ? "\\t" : b == '\n' ? "\\n" : "\\r";
      ++i;
      continue;
    }
    std::uint32_t code = 0;
    const std::size_t n = b >= 0x80 ? sequenceLength(p + i, size - i, code) : 0;
    if (n == 0) {
      appendHex(out, b);
      ++i;
      continue;
    }
    for (std::size_t k = 0; k < n; ++k) {
      if (isHiddenControl(code))
        appendHex(out, p[i + k]);
      else
        out += static_cast<char>(p[i + k]);
    }
    i += n;
  }
  return out;
}
