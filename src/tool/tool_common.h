// Shared pieces of replaytool's subcommands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replay/replay_file.h"

// Exit statuses.
inline constexpr int EXIT_ALL_VALID = 0;
inline constexpr int EXIT_FAILED = 1;  // invalid replay, unreadable file, bad input
inline constexpr int EXIT_USAGE = 2;

// Prints "replaytool: <message>" on standard error; returns `status`.
int reportError(int status, const std::string& message);

// Whole-file reads and writes; false with a reason on failure.
bool readFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);
bool writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);

// Parses a non-negative decimal integer; false on anything else.
bool parseCount(const char* text, std::uint64_t& value);

int runShow(int argc, char** argv);
int runTrace(int argc, char** argv);
int runCheck(int argc, char** argv);
int runPack(int argc, char** argv);
int runUnpack(int argc, char** argv);
