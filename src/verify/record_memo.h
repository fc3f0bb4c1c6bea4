// What whole records led to, so that a record played again from the same
// state is not simulated again. Playback of one record without an observer
// is a pure function of the state it starts from, whether a settled speed
// is owed (see speed_decay.h), its input and its length in frames: the same
// four give the same state after it and the same owed decay (and the same
// floors landed on, already counted the first time). Crafted files repeat a short block of records whose
// states come round again; each distinct record then costs its frames once.
#pragma once

#include <cstdint>
#include <memory>

#include "sim/game_state.h"

struct RecordKey {
  GameState start;
  bool owing;  // a settled speed was owed when the record began
  std::uint8_t input;
  std::uint32_t frames;
};

struct RecordResult {
  GameState end;
  // The owed decay after the record when none was owed before it (when one
  // was, the record only adds its frames to it).
  bool owing;
  double owedFrom;
  std::uint64_t owedFrames;
};

// Set-associative: each key has four places, so that a block's records
// sharing a set (as a few of a few hundred often do) do not push each other
// out at every turn. A thousand places: a crafted block whose jumps end in
// a different phase at each copy starts its records from some hundreds of
// states before they come round. The entries are allocated, not cleared,
// so the pages a short game never reaches are never touched.
struct RecordMemo {
  static constexpr std::uint32_t SETS = 256;  // a power of two
  static constexpr std::uint32_t WAYS = 4;
  struct Entry {
    RecordKey key;
    RecordResult result;
  };
  std::unique_ptr<Entry[]> entries;            // SETS * WAYS, allocated (not cleared) at the first record kept
  std::uint64_t tags[SETS * WAYS] = {};        // the key's hash, odd, for each entry in use; 0 for none
  std::uint8_t nextWay[SETS] = {};             // the way each set replaces next, in turn
};

// The result kept for `key`, or null.
const RecordResult* findRecord(const RecordMemo& memo, const RecordKey& key);
// Keeps `result` for `key`, in place of whatever shared its slot.
void keepRecord(RecordMemo& memo, const RecordKey& key, const RecordResult& result);
