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
// Writes to standard output, keeping the reason of a failure for
// standardOutputError.
void writeStandardOutput(const void* bytes, std::size_t size);
// Keeps `error` (an errno value) as the reason, unless one is kept already.
void keepStandardOutputReason(int error);
// Whether standard output failed because its reader went away.
bool standardOutputClosed();
// Why standard output failed ("" if it did not or the reason is unknown).
std::string standardOutputError();

// Prints "replaytool: <message>" on standard error; returns `status`.
int reportError(int status, const std::string& message);

// The one wording of every error about a file: "PATH: reason", the path
// shown like any text the tool prints (view/display_text.h).
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
// The same, "-" being standard output.
bool writeOutputBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);


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
// "-" is standard input, here and wherever a command reads a file.
bool readReplayImage(const std::string& path, ReplayImage& image, std::string& error);
inline bool isStandardStream(const std::string& path) { return path == "-"; }
// A descriptor for reading `path` ("-": standard input), or -1 with errno;
// closeInput closes it unless it is standard input.
int openInput(const std::string& path);
void closeInput(const std::string& path, int fd);

// The replay read as readReplayImage reads it and loaded from those bytes
// (which `replay` points into): the loader's checks, in its order, with
// the system's reason when the file cannot be opened or read.
bool loadReplayImage(const std::string& path, ReplayImage& image, ReplayFile& replay, std::string& error);

// Why the loader could not open `path`: the system's reason, or `fixed`
// when it opens now.
std::string openFailure(const std::string& path, const char* fixed);

// Parses a non-negative decimal integer; false on anything else.
bool parseCount(const char* text, std::uint64_t& value);

// "1 frame", "2 frames": a count and its noun, singular for one.
std::string countOf(std::uint64_t n, const char* one, const char* many);


// The commands, each given its parsed command line.
int runShow(const CommandLine& line);
int runTrace(const CommandLine& line);
int runCheck(const CommandLine& line);
int runPack(const CommandLine& line);
int runUnpack(const CommandLine& line);
int runView(const CommandLine& line);
int runEvidence(const CommandLine& line);
int runDiff(const CommandLine& line);

// "" when the command line holds exactly `count` operands (`names` says
// which), else "COMMAND needs ..." or "COMMAND takes ..." naming the first
// extra one.
std::string operandError(const char* command, const CommandLine& line, std::size_t count, const char* names);
