// Shared pieces of replaytool's subcommands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "replay/replay_file.h"
#include "replay/replay_text.h"
#include "tool/command_line.h"
#include "verify/playback.h"

// Exit statuses.
inline constexpr int EXIT_ALL_VALID = 0;
inline constexpr int EXIT_FAILED = 1;  // invalid replay, unreadable file, bad input
inline constexpr int EXIT_USAGE = 2;

// Flushes standard output; false when it failed now or before. The first
// failure's reason is kept for standardOutputError.
bool flushStandardOutput();
// Why standard output failed ("" if it did not or the reason is unknown).
std::string standardOutputError();

// Prints "replaytool: <message>" on standard error; returns `status`.
int reportError(int status, const std::string& message);

// A path for line-oriented output, as it was given: backslashes and quotes
// as they are (a Windows path reads as typed), only the bytes escapeText
// escapes otherwise (control bytes, bytes outside ASCII), so that a name
// holding a tab or a line end cannot forge a line.
std::string displayPath(const std::string& path);

// The one wording of every error about a file: "PATH: reason", the path
// shown by displayPath.
std::string fileError(const std::string& path, const std::string& reason);

// The largest text form that pack accepts.
inline constexpr std::uint64_t MAX_TEXT_BYTES = 256ull << 20;

// Whole-file writes; false with a one-line reason on failure. A FIFO with
// no reader fails to open instead of blocking.
// A regular file (or a new one) is replaced whole: the bytes go to a
// temporary file beside it, renamed into place once all are written; on
// failure the old file stays and the temporary is removed. Devices and
// FIFOs are written in place.
bool writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);


// A replay file read by its header, so that a device or pipe that never
// ends costs no more than the replay it claims to be: the header, then the
// records it declares as far as the file holds them. A regular file's
// other bytes are counted from its size; from a stream, nothing more is
// read when the signature or the count is wrong, and after the records
// only enough to tell whether anything follows.
struct ReplayImage {
  std::vector<std::uint8_t> bytes;  // the header and the declared records held
  UnreadTail tail;                  // the bytes after them, not kept
  std::uint64_t size() const { return bytes.size() + tail.bytes; }
};
bool readReplayImage(const std::string& path, ReplayImage& image, std::string& error);

// Parses a non-negative decimal integer; false on anything else.
bool parseCount(const char* text, std::uint64_t& value);


// The commands, each given its parsed command line.
int runShow(const CommandLine& line);
int runTrace(const CommandLine& line);
int runCheck(const CommandLine& line);
int runPack(const CommandLine& line);
int runUnpack(const CommandLine& line);
int runView(const CommandLine& line);

// "" when the command line holds exactly `count` operands (`names` says
// which), else "COMMAND needs ..." or "COMMAND takes ..." naming the first
// extra one.
std::string operandError(const char* command, const CommandLine& line, std::size_t count, const char* names);
