// A readable text form of a replay file, for people who write or inspect
// replays by hand:
//
//   signature "WLX130"      (optional line; this is the default)
//   name "tester"           escaped text: \\ \" \n \t \r \0 and \xHH
//   date "2026-12-07"
//   score 0                 decimal integers
//   floor 0
//   combo 0
//   rejump 1
//   seed 0x00000024         decimal or 0x-prefixed hex
//   checksum auto           (optional line; auto computes it, or give a value)
//   recordCount 7           (optional line; default: the number of records)
//   records
//   9 0x02                  repeat input, one record per line
//   0 0x80
//
// Blank lines and lines starting with # are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replay/replay_file.h"

// Bytes of a file that its reader did not keep: those after the records,
// counted or (for a stream that goes on) at least that many.
struct UnreadTail {
  std::uint64_t bytes = 0;
  bool atLeast = false;
};

// Text of the stored bytes of a replay file. Bytes after the announced
// records (and `tail`, those not read) are left out: a comment says how
// many. Fails (returns false with a reason) only for files too short to
// hold a header.
bool replayBytesToText(const std::vector<std::uint8_t>& bytes, std::string& text, std::string& error,
                       const UnreadTail& tail = {});

// The stored bytes described by a text; false with a reason naming the line.
bool replayTextToBytes(const std::string& text, std::vector<std::uint8_t>& bytes, std::string& error);

// The same, fed piece by piece (pieces may split lines anywhere), so that
// a text costs no more memory than the file it describes: the records as
// they are read, and one line, at most MAX_TEXT_LINE bytes.
inline constexpr std::size_t MAX_TEXT_LINE = 1 << 20;

struct ReplayTextReader {
  ReplayTextReader();
  ReplayHeader header{};
  std::vector<std::uint8_t> body;  // the records read so far
  bool autoChecksum = true;
  bool explicitCount = false;
  bool inRecords = false;
  bool seen[7] = {};
  bool seenOptional[3] = {};
  std::size_t lineNo = 0;
  std::string line;  // the line being read
  bool overlong = false;
  bool afterCr = false;
  std::string error;  // the first error; nothing is read after it
};

// False once the text is wrong (the reason in reader.error).
bool feedReplayText(ReplayTextReader& reader, const char* data, std::size_t size);
// The file's bytes, once the whole text is fed.
bool finishReplayText(ReplayTextReader& reader, std::vector<std::uint8_t>& bytes, std::string& error);

// Text bytes shown safely: printable ASCII as is, the rest escaped.
std::string escapeText(const char* bytes, std::size_t size);
