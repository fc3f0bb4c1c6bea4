// The replay file: a packed little-endian 98-byte header followed by
// 5-byte input records, and the loader that validates and reads it.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t REPLAY_HEADER_SIZE = 98;
inline constexpr std::size_t INPUT_RECORD_SIZE = 5;
inline constexpr char REPLAY_SIGNATURE[6] = {'W', 'L', 'X', '1', '3', '0'};

inline constexpr std::uint8_t INPUT_LEFT = 0x01;
inline constexpr std::uint8_t INPUT_RIGHT = 0x02;
inline constexpr std::uint8_t INPUT_JUMP = 0x10;
inline constexpr std::uint8_t END_MARKER = 0x80;
// The bits that drive the game; the others change nothing.
inline constexpr std::uint8_t GAME_INPUT_BITS = INPUT_LEFT | INPUT_RIGHT | INPUT_JUMP;

// The header as stored, decoded field by field from its bytes.
struct ReplayHeader {
  char signature[6];
  std::int32_t recordCount;
  char playerName[32];  // NUL-terminated only when shorter than the field
  char date[32];
  std::int32_t score;
  std::int32_t floor;
  std::int32_t combo;
  std::int32_t rejump;
  std::uint32_t seed;
  std::uint32_t checksum;
};

struct InputRecord {
  std::int32_t repeat;  // frames after the first; 0 or negative: one frame
  std::uint8_t input;
};

// A loaded replay. `records` points at the body bytes exactly as stored
// (5 × recordCount of them): in `block` when the loader read them from a
// file, in the caller's buffer when it was given bytes. Its holder
// releases it with releaseReplay.
struct ReplayFile {
  ReplayHeader header;
  const std::uint8_t* records;
  std::uint8_t* block;  // owned by the replay; null when the bytes are the caller's
};

// The loader's fixed failure reasons.
inline constexpr const char* MSG_OPEN_FAILED = "Could not open file";
inline constexpr const char* MSG_NOT_A_REPLAY = "File is not a valid replay";
inline constexpr const char* MSG_READ_FAILED = "Could not read from file";
inline constexpr const char* MSG_NO_MEMORY = "Memory allocation failed";

// Which of the loader's steps refused a file, beside its message: the four
// messages stay the only thing runaudit prints, the step is for those who
// explain a rejection.
enum class LoadFailure : std::uint8_t {
  None,
  OpenFailed,      // MSG_OPEN_FAILED
  TooShort,        // MSG_NOT_A_REPLAY: fewer bytes than a header
  BadSignature,    // MSG_NOT_A_REPLAY
  NegativeCount,   // MSG_NOT_A_REPLAY
  RecordsPastEnd,  // MSG_NOT_A_REPLAY: the records announced do not fit
  BadChecksum,     // MSG_NOT_A_REPLAY
  ReadFailed,      // MSG_READ_FAILED
  NoMemory,        // MSG_NO_MEMORY
};

struct LoadReport {
  LoadFailure failure = LoadFailure::None;
  // TooShort, RecordsPastEnd: the bytes the file needs (98, or 98 + 5 ×
  // recordCount) and the size it has, as the platform reported it.
  std::uint64_t needed = 0;
  std::uint64_t present = 0;
  // BadChecksum: the header's value and the one its bytes give.
  std::uint32_t stored = 0;
  std::uint32_t computed = 0;
};

// Loads and validates `path` into `replay`. Returns nullptr on success, or one
// of the static MSG_* texts; on failure nothing in `replay` is owned. The
// report says which step failed (None on success).
const char* loadReplay(const char* path, ReplayFile& replay, LoadReport& report);
const char* loadReplay(const char* path, ReplayFile& replay);

// Validates `size` bytes at `bytes` as a whole replay file, with the
// checks loadReplay makes and in its order; `bytes` may be null when `size`
// is 0 (null bytes count as none). On success `replay` points into `bytes`,
// which must outlive it; nothing is allocated, so the only failure is
// MSG_NOT_A_REPLAY.
const char* loadReplayBytes(const std::uint8_t* bytes, std::size_t size, ReplayFile& replay, LoadReport& report);
const char* loadReplayBytes(const std::uint8_t* bytes, std::size_t size, ReplayFile& replay);

// Frees what the loader allocated; safe to call once on a loaded replay.
void releaseReplay(ReplayFile& replay);

// Decodes the 98 header bytes; `bytes` must hold REPLAY_HEADER_SIZE bytes.
ReplayHeader decodeHeader(const std::uint8_t* bytes);

// Encodes a header back into its 98 stored bytes (the inverse of decodeHeader).
void encodeHeader(const ReplayHeader& header, std::uint8_t* bytes);

// The checksum the header's `checksum` field must hold.
std::uint32_t replayChecksum(const ReplayFile& replay);

// Little-endian 32-bit fields, assembled from bytes: the file is packed, so
// they are generally unaligned, and the host's byte order does not matter.
inline std::uint32_t loadLE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void storeLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Writes a record's 5 stored bytes.
inline void encodeRecord(InputRecord r, std::uint8_t* p) {
  storeLE32(p, static_cast<std::uint32_t>(r.repeat));
  p[4] = r.input;
}

// Number of records, never negative for a loaded replay.
inline std::uint32_t recordCountOf(const ReplayFile& replay) {
  return replay.header.recordCount < 0 ? 0u : static_cast<std::uint32_t>(replay.header.recordCount);
}

// The first record holding the end marker, counting from 1; 0 if none.
std::uint32_t firstEndMarker(const ReplayFile& replay);

// Record j of a loaded replay; j must be below recordCount.
inline InputRecord recordAt(const ReplayFile& replay, std::uint32_t j) {
  const std::uint8_t* p = replay.records + static_cast<std::size_t>(j) * INPUT_RECORD_SIZE;
  return InputRecord{static_cast<std::int32_t>(loadLE32(p)), p[4]};
}
