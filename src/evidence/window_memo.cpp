#include "evidence/window_memo.h"

#include "sim/bits.h"

namespace {

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
  h = (h ^ v) * 0x9E3779B97F4A7C15u;
  return h ^ (h >> 29);
}

std::uint64_t hashOf(std::uint64_t stateHash, const WindowKey& k) {
  std::uint64_t h = stateHash;
  for (const auto& [keys, frames] : k.inputs) h = mix(h, frames | static_cast<std::uint64_t>(keys) << 56);
  return h | 1;
}

std::uint32_t setOf(std::uint64_t stateHash) { return static_cast<std::uint32_t>(stateHash >> 40) & (WindowMemo::SETS - 1); }

bool sameKey(const WindowKey& a, const WindowKey& b) {
  return a.bit == b.bit && a.inputs == b.inputs && sameState(a.start, b.start);
}

}  // namespace

// The fields that tell a game's states apart near its edges, and the key.
std::uint64_t windowStateHash(const GameState& s, std::uint8_t bit) {
  std::uint64_t h = mix(0, bitCast<std::uint64_t>(s.x));
  h = mix(h, bitCast<std::uint64_t>(s.y));
  h = mix(h, bitCast<std::uint64_t>(s.vx));
  h = mix(h, bitCast<std::uint64_t>(s.vy));
  h = mix(h, static_cast<std::uint32_t>(s.jumpState) | static_cast<std::uint64_t>(static_cast<std::uint32_t>(s.scrolled)) << 32);
  h = mix(h, static_cast<std::uint32_t>(s.comboTimer) | static_cast<std::uint64_t>(static_cast<std::uint32_t>(s.lastFloor)) << 32);
  h = mix(h, s.rngState | static_cast<std::uint64_t>(static_cast<std::uint32_t>(s.halfStep)) << 32);
  return mix(h, bit);
}

bool mayHoldState(const WindowMemo& memo, std::uint64_t stateHash) {
  const std::uint32_t first = setOf(stateHash) * WindowMemo::WAYS;
  for (std::uint32_t e = first; e < first + WindowMemo::WAYS; ++e)
    if (memo.entries[e].tag != 0 && memo.entries[e].stateHash == stateHash) return true;
  return false;
}

const EdgeWindow* findWindow(const WindowMemo& memo, std::uint64_t stateHash, const WindowKey& key) {
  const std::uint64_t hash = hashOf(stateHash, key);
  const std::uint32_t first = setOf(stateHash) * WindowMemo::WAYS;
  for (std::uint32_t e = first; e < first + WindowMemo::WAYS; ++e)
    if (memo.entries[e].tag == hash && sameKey(memo.entries[e].key, key)) return &memo.entries[e].window;
  return nullptr;
}

void keepWindow(WindowMemo& memo, std::uint64_t stateHash, const WindowKey& key, const EdgeWindow& window) {
  const std::uint32_t set = setOf(stateHash);
  WindowMemo::Entry& e = memo.entries[set * WindowMemo::WAYS + memo.nextWay[set]];
  memo.nextWay[set] = static_cast<std::uint8_t>((memo.nextWay[set] + 1) % WindowMemo::WAYS);
  e.stateHash = stateHash;
  e.tag = hashOf(stateHash, key);
  e.key = key;
  e.window = window;
}
