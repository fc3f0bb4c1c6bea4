#include "verify/repeat_finder.h"

#include <cstring>

namespace {

std::uint64_t bitsOf(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

std::uint64_t pair(std::int32_t hi, std::int32_t lo) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(hi)) << 32) | static_cast<std::uint32_t>(lo);
}

// Equal states hash equal whatever fields are left out; these are the ones
// that change from frame to frame in a game that has not yet cycled.
std::uint32_t slotOf(const GameState& s) {
  std::uint64_t h = bitsOf(s.x) * 0x9E3779B97F4A7C15u;
  h ^= bitsOf(s.y) * 0xC2B2AE3D27D4EB4Fu;
  h ^= bitsOf(s.vx) * 0x165667B19E3779F9u;
  h ^= bitsOf(s.vy) * 0xD6E8FEB86659FD93u;
  h ^= pair(s.scrolled, s.speedTimer) * 0xFF51AFD7ED558CCDu;
  h ^= pair(static_cast<std::int32_t>(s.jumpState), s.halfStep) * 0xC4CEB9FE1A85EC53u;
  h ^= pair(s.comboTimer, s.lastFloor) * 0x27D4EB2F165667C5u;
  h ^= h >> 31;
  h *= 0x94D049BB133111EBu;
  return static_cast<std::uint32_t>(h >> 53) & (RepeatFinder::SLOTS - 1);
}

}  // namespace

void startStretch(RepeatFinder& finder, const GameState& state) {
  finder.first = finder.next;
  (void)recordAndFindRepeat(finder, state);
}

std::uint32_t recordAndFindRepeat(RepeatFinder& finder, const GameState& state) {
  const std::uint64_t number = finder.next++;
  std::uint64_t& slot = finder.slotState[slotOf(state)];
  std::uint32_t repeat = 0;
  // The ring still holds the slot's state when it is less than WINDOW old.
  if (slot >= finder.first && number - slot < RepeatFinder::WINDOW &&
      sameState(finder.ring[slot % RepeatFinder::WINDOW], state))
    repeat = static_cast<std::uint32_t>(number - slot);
  finder.ring[number % RepeatFinder::WINDOW] = state;
  slot = number;
  return repeat;
}
