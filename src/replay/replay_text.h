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

// Text bytes shown safely: printable ASCII as is, the rest escaped.
std::string escapeText(const char* bytes, std::size_t size);
