#include "verify/record_memo.h"

#include "sim/bits.h"

namespace {

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
  h = (h ^ v) * 0x9E3779B97F4A7C15u;
  return h ^ (h >> 29);
}

// Every field, so that states differing anywhere rarely share a slot.
std::uint64_t hashOf(const RecordKey& k) {
  const GameState& s = k.start;
  std::uint64_t h = mix(0, bitCast<std::uint64_t>(s.x));
  h = mix(h, bitCast<std::uint64_t>(s.y));
  h = mix(h, bitCast<std::uint64_t>(s.vx));
  h = mix(h, bitCast<std::uint64_t>(s.vy));
  const std::int32_t ints[] = {static_cast<std::int32_t>(s.jumpState), s.scrolled, s.speedLevel, s.speedTimer,
                               s.halfStep, s.rejump, s.jumpLatch, s.comboTimer, s.comboJumps, s.comboFloors,
                               s.comboScore, s.lastFloor, s.bestCombo, s.ringNext, s.floorCount, s.rowPhase,
                               static_cast<std::int32_t>(s.rngState), s.floors.slot[0].left, s.floors.slot[0].right};
  for (std::size_t i = 0; i + 1 < std::size(ints); i += 2)
    h = mix(h, static_cast<std::uint32_t>(ints[i]) | static_cast<std::uint64_t>(static_cast<std::uint32_t>(ints[i + 1])) << 32);
  h = mix(h, static_cast<std::uint32_t>(ints[std::size(ints) - 1]));
  h = mix(h, k.frames | static_cast<std::uint64_t>(k.input) << 32 | static_cast<std::uint64_t>(k.owing) << 40);
  return h | 1;  // never the empty tag
}

std::uint32_t setOf(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 40) & (RecordMemo::SETS - 1); }

bool sameKey(const RecordKey& a, const RecordKey& b) {
  return a.frames == b.frames && a.input == b.input && a.owing == b.owing && sameState(a.start, b.start);
}

}  // namespace

const RecordResult* findRecord(const RecordMemo& memo, const RecordKey& key) {
  if (!memo.entries) return nullptr;
  const std::uint64_t hash = hashOf(key);
  const std::uint32_t first = setOf(hash) * RecordMemo::WAYS;
  for (std::uint32_t e = first; e < first + RecordMemo::WAYS; ++e)
    if (memo.tags[e] == hash && sameKey(memo.entries[e].key, key)) return &memo.entries[e].result;
  return nullptr;
}

void keepRecord(RecordMemo& memo, const RecordKey& key, const RecordResult& result) {
  if (!memo.entries) memo.entries.reset(new RecordMemo::Entry[RecordMemo::SETS * RecordMemo::WAYS]);
  const std::uint64_t hash = hashOf(key);
  const std::uint32_t set = setOf(hash);
  const std::uint32_t e = set * RecordMemo::WAYS + memo.nextWay[set];
  memo.nextWay[set] = static_cast<std::uint8_t>((memo.nextWay[set] + 1) % RecordMemo::WAYS);
  memo.tags[e] = hash;
  memo.entries[e] = RecordMemo::Entry{key, result};
}
