#include "verify/sha256.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t K[64] = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u, 0xab1c5ed5u,
    0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu, 0x9bdc06a7u, 0xc19bf174u,
    0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu, 0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau,
    0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u, 0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u,
    0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu, 0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u,
    0xa2bfe8a1u, 0xa81a664bu, 0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u,
    0x19a4c116u, 0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u, 0xc67178f2u};

constexpr std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void compress(std::array<std::uint32_t, 8>& h, const std::uint8_t* p) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = std::uint32_t{p[4 * i]} << 24 | std::uint32_t{p[4 * i + 1]} << 16 | std::uint32_t{p[4 * i + 2]} << 8 |
           std::uint32_t{p[4 * i + 3]};
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 = k + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
    const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    k = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
  h[5] += f;
  h[6] += g;
  h[7] += k;
}

}  // namespace

void sha256Add(Sha256& s, const void* bytes, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  s.length += size;
  if (s.used != 0) {
    const std::size_t take = std::min(size, s.block.size() - s.used);
    std::memcpy(s.block.data() + s.used, p, take);
    s.used += take;
    p += take;
    size -= take;
    if (s.used < s.block.size()) return;
    compress(s.h, s.block.data());
    s.used = 0;
  }
  for (; size >= 64; p += 64, size -= 64) compress(s.h, p);
  if (size != 0) std::memcpy(s.block.data(), p, size);
  s.used = size;
}

Sha256Digest sha256Finish(Sha256& s) {
  const std::uint64_t bits = s.length * 8;
  const std::uint8_t one = 0x80;
  sha256Add(s, &one, 1);
  const std::uint8_t zero[64] = {};
  sha256Add(s, zero, (s.used <= 56 ? 56 : 120) - s.used);
  std::uint8_t tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  sha256Add(s, tail, 8);
  Sha256Digest out{};
  for (int i = 0; i < 32; ++i) out[i] = static_cast<std::uint8_t>(s.h[i / 4] >> (24 - 8 * (i % 4)));
  return out;
}

std::array<char, 64> sha256Hex(const Sha256Digest& digest) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  std::array<char, 64> out{};
  for (std::size_t i = 0; i < digest.size(); ++i) {
    out[2 * i] = DIGITS[digest[i] >> 4];
    out[2 * i + 1] = DIGITS[digest[i] & 15];
  }
  return out;
}
