// What a replay's encoding says about the program that wrote it. The
// game's recorder writes one record per run of one input, only key bits,
// and the end marker right after the game; each fact counts the places
// where a file departs from that.
#pragma once

#include <cstdint>
#include <vector>

#include "replay/replay_file.h"
#include "verify/playback.h"

// A place in the file: a record (counting from 1) and the frame it starts
// at (counting from 1; 0 for a record that is never played).
struct FactPlace {
  std::uint32_t record;
  std::uint64_t frame;
};

inline constexpr std::size_t FACT_PLACES = 5;

struct FileFact {
  std::uint64_t count = 0;
  std::vector<FactPlace> places;  // the first FACT_PLACES
};

struct FileFacts {
  FileFact sameInputAdjacent;   // a record with the same input as the one before it
  FileFact strayBits;           // 0x04, 0x08, 0x20, 0x40, or 0x80 on a record that is not the end marker
  FileFact recordsAfterMarker;  // records after the first end marker
  FileFact nonPositiveRepeats;  // repeat <= 0, after the first record, before the end marker
  FileFact framesAfterEnd;      // frames of the ending record after the frame the game ended in
  FileFact bytesAfterRecords;   // count: bytes; place: none
  bool claimsDiffer = false;    // the header's floor or combo is not what the game reached
};

inline constexpr std::uint8_t STRAY_BITS = 0x04 | 0x08 | 0x20 | 0x40;

// `fileBytes`: the file's whole size, the records' end included; `played`:
// playReplayOutcome of the replay, when the caller has it already.
FileFacts fileFacts(const ReplayFile& replay, std::uint64_t fileBytes, const PlaybackOutcome& played);
FileFacts fileFacts(const ReplayFile& replay, std::uint64_t fileBytes);
