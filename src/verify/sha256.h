// SHA-256 (FIPS 180-4), fed in pieces: the game digest's hash.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct Sha256 {
  std::array<std::uint32_t, 8> h{0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                                 0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};
  std::array<std::uint8_t, 64> block{};
  std::size_t used = 0;       // bytes waiting in `block`
  std::uint64_t length = 0;   // bytes fed so far
};

using Sha256Digest = std::array<std::uint8_t, 32>;

void sha256Add(Sha256& s, const void* bytes, std::size_t size);
// The digest of everything added; `s` is spent afterwards.
Sha256Digest sha256Finish(Sha256& s);

// 64 lower-case hex digits.
std::array<char, 64> sha256Hex(const Sha256Digest& digest);
