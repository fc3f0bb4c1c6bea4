#include "view/view_encode.h"

void appendVarint(std::vector<std::uint8_t>& out, std::int64_t v) {
  auto z = (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
  while (z >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(z | 0x80));
    z >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(z));
}

std::vector<std::uint8_t> encodeColumn(const std::vector<std::int32_t>& values) {
  std::vector<std::uint8_t> out;
  std::int64_t previous = 0;
  for (std::size_t i = 0; i < values.size();) {
    const std::int64_t delta = static_cast<std::int64_t>(values[i]) - previous;
    std::size_t run = 1;
    // A run continues while each value moves by the same delta.
    while (i + run < values.size() &&
           static_cast<std::int64_t>(values[i + run]) - values[i + run - 1] == delta)
      ++run;
    appendVarint(out, delta);
    appendVarint(out, static_cast<std::int64_t>(run));
    previous = values[i + run - 1];
    i += run;
  }
  return out;
}

std::string base64(const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t n = (static_cast<std::uint32_t>(bytes[i]) << 16) |
                            (i + 1 < bytes.size() ? static_cast<std::uint32_t>(bytes[i + 1]) << 8 : 0) |
                            (i + 2 < bytes.size() ? bytes[i + 2] : 0);
    out += digits[(n >> 18) & 63];
    out += digits[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? digits[n & 63] : '=';
  }
  return out;
}
