#include "evidence/file_facts.h"

#include <algorithm>

#include "verify/playback.h"

namespace {

void note(FileFact& fact, std::uint32_t record, std::uint64_t frame, std::uint64_t count = 1) {
  fact.count += count;
  if (fact.places.size() < FACT_PLACES) fact.places.push_back({record, frame});
}

}  // namespace

FileFacts fileFacts(const ReplayFile& replay, std::uint64_t fileBytes) {
  return fileFacts(replay, fileBytes, playReplayOutcome(replay));
}

FileFacts fileFacts(const ReplayFile& replay, std::uint64_t fileBytes, const PlaybackOutcome& played) {
  FileFacts facts;
  const std::uint32_t count = recordCountOf(replay);
  const std::uint32_t marker = firstEndMarker(replay);  // from 1; 0: none
  std::uint64_t first = 1;  // the frame record j starts at
  for (std::uint32_t j = 0; j < count; ++j) {
    const InputRecord r = recordAt(replay, j);
    const std::uint32_t number = j + 1;
    const bool played_ = marker == 0 || number < marker;
    const std::uint64_t frame = played_ ? first : 0;
    if ((r.input & STRAY_BITS) != 0 || ((r.input & END_MARKER) != 0 && number != marker))
      note(facts.strayBits, number, frame);
    if (marker != 0 && number > marker) note(facts.recordsAfterMarker, number, 0);
    if (played_) {
      if (j > 0 && r.input == recordAt(replay, j - 1).input) note(facts.sameInputAdjacent, number, frame);
      if (j > 0 && r.repeat <= 0) note(facts.nonPositiveRepeats, number, frame);
      first += 1 + static_cast<std::uint64_t>(std::max<std::int32_t>(r.repeat, 0));
    }
  }
  if (played.died && played.recordsPlayed > 0) {
    const InputRecord last = recordAt(replay, played.recordsPlayed - 1);
    const std::uint64_t frames = 1 + static_cast<std::uint64_t>(std::max<std::int32_t>(last.repeat, 0));
    const std::uint64_t inRecord = played.frames - played.lastRecordStart;
    if (frames > inRecord) note(facts.framesAfterEnd, played.recordsPlayed, played.frames, frames - inRecord);
  }
  const std::uint64_t recordsEnd = REPLAY_HEADER_SIZE + static_cast<std::uint64_t>(count) * INPUT_RECORD_SIZE;
  if (fileBytes > recordsEnd) facts.bytesAfterRecords.count = fileBytes - recordsEnd;
  facts.claimsDiffer = !claimsMatch(replay.header, played);
  return facts;
}
