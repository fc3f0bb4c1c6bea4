#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/files.h"
#include "support/replay_builder.h"

namespace {

const char* loadBytes(const std::vector<std::uint8_t>& bytes, ReplayFile& replay) {
  const std::string path = writeTempFile("loader", bytes);
  const char* message = loadReplay(path.c_str(), replay);
  ::unlink(path.c_str());
  return message;
}

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

const char* loadBytes(const std::vector<std::uint8_t>& bytes, ReplayFile& replay, LoadReport& report) {
  const std::string path = writeTempFile("loader", bytes);
  const char* message = loadReplay(path.c_str(), replay, report);
  ::unlink(path.c_str());
  return message;
}

// What a report must say: the failing step and its numbers, all else zero.
struct Expected {
  LoadFailure failure;
  std::uint64_t needed = 0, present = 0;
  std::uint32_t stored = 0, computed = 0;
};

void expectReport(const LoadReport& r, const Expected& e, const std::string& what) {
  EXPECT_EQ(static_cast<int>(r.failure), static_cast<int>(e.failure)) << what;
  EXPECT_EQ(r.needed, e.needed) << what;
  EXPECT_EQ(r.present, e.present) << what;
  EXPECT_EQ(r.stored, e.stored) << what;
  EXPECT_EQ(r.computed, e.computed) << what;
}

struct FailureCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
  Expected expected;
};

// Each of the loader's checks, at its boundary, with the one message
// runaudit prints and the step and numbers that say why.
TEST(LoadReplay, RejectsBrokenFilesWithTheirMessageAndReason) {
  ReplayFixture badSignature;
  badSignature.signature = "WLX131";
  ReplayFixture negative;
  negative.recordCount = -1;
  negative.records = {{0, 0}};
  ReplayFixture huge;
  huge.recordCount = 2147483647;
  huge.records = std::vector<InputRecord>(60, InputRecord{1, 2});
  ReplayFixture wraps;  // 858993460 × 5 is 4 modulo 2^32
  wraps.recordCount = 858993460;
  wraps.records = {{0, 0}};
  ReplayFixture three;
  three.records = {{1, 2}, {3, 4}, {5, 6}};
  ReplayFixture offByOne = exampleReplay();
  offByOne.checksumDelta = 1;
  ReplayFixture nameChanged = exampleReplay();
  nameChanged.checksum = 38593926u;  // the checksum of the name abc
  nameChanged.name = "abd";          // adds 117 × 1 × (122 + 2) × 3

  const FailureCase cases[] = {
      {"empty file", {}, {LoadFailure::TooShort, 98, 0}},
      {"97 bytes", truncated(buildReplayBytes(ReplayFixture{}), 97), {LoadFailure::TooShort, 98, 97}},
      {"signature's last byte", buildReplayBytes(badSignature), {LoadFailure::BadSignature}},
      {"negative record count", buildReplayBytes(negative), {LoadFailure::NegativeCount}},
      {"record count beyond the file", buildReplayBytes(huge), {LoadFailure::RecordsPastEnd, 98 + 5ull * 2147483647, 98 + 300}},
      {"record count whose size wraps in 32 bits", buildReplayBytes(wraps),
       {LoadFailure::RecordsPastEnd, 98 + 5ull * 858993460, 98 + 5}},
      {"body one byte short", truncated(buildReplayBytes(three), 98 + 14), {LoadFailure::RecordsPastEnd, 98 + 15, 98 + 14}},
      {"checksum off by one", buildReplayBytes(offByOne), {LoadFailure::BadChecksum, 0, 0, 38593927u, 38593926u}},
      {"header changed after signing", buildReplayBytes(nameChanged),
       {LoadFailure::BadChecksum, 0, 0, 38593926u, 38593926u + 43524u}},
  };
  for (const FailureCase& c : cases) {
    ReplayFile replay{};
    LoadReport report;
    EXPECT_STREQ(loadBytes(c.bytes, replay, report), MSG_NOT_A_REPLAY) << c.what;
    EXPECT_EQ(replay.records, nullptr) << c.what << ": nothing may stay allocated";
    expectReport(report, c.expected, c.what);
    // The same bytes in memory: the same message and reason.
    report = LoadReport{};
    EXPECT_STREQ(loadReplayBytes(c.bytes.data(), c.bytes.size(), replay, report), MSG_NOT_A_REPLAY) << c.what << " in memory";
    EXPECT_EQ(replay.records, nullptr) << c.what;
    expectReport(report, c.expected, std::string(c.what) + " in memory");
  }

  // The other side of each boundary loads, and a report that held a
  // rejection says so no longer.
  ReplayFile replay{};
  LoadReport report;
  ASSERT_STREQ(loadBytes(truncated(buildReplayBytes(three), 98 + 14), replay, report), MSG_NOT_A_REPLAY);
  ASSERT_EQ(loadBytes(buildReplayBytes(three), replay, report), nullptr) << "15-byte body";
  releaseReplay(replay);
  expectReport(report, {LoadFailure::None}, "15-byte body");
  const std::vector<std::uint8_t> header = buildReplayBytes(ReplayFixture{});
  ASSERT_STREQ(loadReplayBytes(header.data(), header.size() - 1, replay, report), MSG_NOT_A_REPLAY);
  ASSERT_EQ(loadReplayBytes(header.data(), header.size(), replay, report), nullptr) << "98 bytes";
  expectReport(report, {LoadFailure::None}, "98 bytes in memory");
  ASSERT_STREQ(loadReplayBytes(nullptr, 500, replay, report), MSG_NOT_A_REPLAY);
  expectReport(report, {LoadFailure::TooShort, 98, 0}, "null bytes count as none");
}

#ifdef _WIN32
// An absolute directory whose path is longer than the classic 260
// characters, in UTF-8.
std::string longDirectory() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  std::wstring dir = std::wstring(L"\\\\?\\") + std::wstring(temp, n);
  for (int level = 0; level < 6; ++level) {
    dir += L"runaudit-long-path-" + std::to_wstring(level) + std::wstring(40, L'x') + L"\\";
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  const std::wstring plain = dir.substr(4);
  std::string out(plain.size() * 3, '\0');
  out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, plain.data(), static_cast<int>(plain.size()), out.data(),
                                                          static_cast<int>(out.size()), nullptr, nullptr)));
  EXPECT_GT(out.size(), 300u);
  return out;
}

// Windows: devices are never read (the console would wait for a person), a
// directory cannot be opened, and paths are UTF-8, long ones included.
TEST(LoadReplay, WindowsPathsAndDevices) {
  ReplayFile replay{};
  EXPECT_STREQ(loadReplay("Z:\\nonexistent\\replay.wlx", replay), MSG_OPEN_FAILED);
  for (const char* device : {"NUL", "CON", "nul", "COM1"}) {
    const char* message = loadReplay(device, replay);
    const bool refused =
        message != nullptr && (std::strcmp(message, MSG_NOT_A_REPLAY) == 0 || std::strcmp(message, MSG_OPEN_FAILED) == 0);
    EXPECT_TRUE(refused) << device << ": " << (message ? message : "loaded");
  }
  EXPECT_STREQ(loadReplay(".", replay), MSG_OPEN_FAILED);

  const std::vector<std::uint8_t> bytes = buildReplayBytes(seed36Replay());
  const std::string plain = writeTempFile("windows", bytes);
  const std::string dir = plain.substr(0, plain.find_last_of("/\\") + 1);
  for (const std::string& name : {dir + "caf\xC3\xA9 \xE2\x98\x83.wlx", longDirectory() + "replay.wlx"}) {
    std::string reason;
    ASSERT_TRUE(replaceFileWhole(name, bytes, reason)) << name << ": " << reason;
    ASSERT_EQ(loadReplay(name.c_str(), replay), nullptr) << name;
    EXPECT_EQ(replay.header.seed, 36u);
    releaseReplay(replay);
    EXPECT_TRUE(sameFile(name, name));
    EXPECT_FALSE(sameFile(name, plain));
  }

  // A file held open, sharing nothing, by someone else: refused at once.
  std::wstring wide(plain.begin(), plain.end());
  const HANDLE held = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(loadReplay(plain.c_str(), replay), MSG_OPEN_FAILED);
  std::string reason;
  EXPECT_FALSE(replaceFileWhole(plain, bytes, reason));
  EXPECT_NE(reason, "");
  CloseHandle(held);
  ::unlink(plain.c_str());
}
#else
TEST(LoadReplay, PathsThatAreNotReplayFiles) {
  ReplayFile replay{};
  LoadReport report;
  EXPECT_STREQ(loadReplay("/nonexistent/replay.wlx", replay, report), MSG_OPEN_FAILED);
  expectReport(report, {LoadFailure::OpenFailed}, "no such file");
  EXPECT_STREQ(loadReplay("/dev/null", replay, report), MSG_NOT_A_REPLAY);
  expectReport(report, {LoadFailure::TooShort, 98, 0}, "/dev/null");
  // A directory opens but cannot be read.
  EXPECT_STREQ(loadReplay("/tmp", replay, report), MSG_READ_FAILED);
  expectReport(report, {LoadFailure::ReadFailed}, "a directory");

#ifndef __EMSCRIPTEN__  // (node's file system has no FIFOs)
  // A FIFO without a writer must neither block the open nor the read.
  const std::string fifo = writeTempFile("fifo", {});
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_STREQ(loadReplay(fifo.c_str(), replay, report), MSG_READ_FAILED);
  expectReport(report, {LoadFailure::ReadFailed}, "a FIFO without a writer");
  ::unlink(fifo.c_str());
#endif
}

#endif

#ifndef _WIN32
TEST(LoadReplay, UnreadableFileCannotBeOpened) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string path = writeTempFile("unreadable", buildReplayBytes(exampleReplay()));
  ::chmod(path.c_str(), 0);
  ReplayFile replay{};
  EXPECT_STREQ(loadReplay(path.c_str(), replay), MSG_OPEN_FAILED);
  ::unlink(path.c_str());
}
#endif

TEST(LoadReplay, LoadsTheExampleFile) {
  ReplayFile replay{};
  ASSERT_EQ(loadBytes(buildReplayBytes(exampleReplay()), replay), nullptr);
  EXPECT_EQ(std::memcmp(replay.header.signature, "WLX130", 6), 0);
  EXPECT_EQ(replay.header.recordCount, 3);
  EXPECT_STREQ(replay.header.playerName, "abc");
  EXPECT_STREQ(replay.header.date, "xyz");
  EXPECT_EQ(replay.header.score, 1000);
  EXPECT_EQ(replay.header.floor, 25);
  EXPECT_EQ(replay.header.combo, 3);
  EXPECT_EQ(replay.header.rejump, 1);
  EXPECT_EQ(replay.header.seed, 7u);
  EXPECT_EQ(replay.header.checksum, 38593926u);
  EXPECT_EQ(recordAt(replay, 1).repeat, 4);
  EXPECT_EQ(recordAt(replay, 1).input, 0x12);
  EXPECT_EQ(recordAt(replay, 2).input, 0x80);
  releaseReplay(replay);
}

TEST(LoadReplay, BodySizeBoundaries) {
  ReplayFixture empty;
  ReplayFile replay{};
  ASSERT_EQ(loadBytes(buildReplayBytes(empty), replay), nullptr) << "98 bytes, no records";
  EXPECT_NE(replay.records, nullptr) << "an empty body is still a block";
  releaseReplay(replay);

  ReplayFixture wraps;  // 858993460 × 5 is 4 modulo 2^32
  wraps.recordCount = 858993460;
  wraps.records = {{0, 0}};
  ReplayFixture three;
  three.records = {{1, 2}, {3, 4}, {-5, 6}};
  ASSERT_EQ(loadBytes(buildReplayBytes(three), replay), nullptr) << "15-byte body";
  EXPECT_EQ(recordAt(replay, 2).repeat, -5);
  releaseReplay(replay);

  three.trailingBytes = 5;
  ASSERT_EQ(loadBytes(buildReplayBytes(three), replay), nullptr) << "trailing bytes are ignored";
  releaseReplay(replay);
}

TEST(LoadReplay, ReadsUnalignedNegativeRepeatsFromBytes) {
  ReplayFixture fixture;
  fixture.records = {{-1, 0xFF}, {0x12345678, 0x01}, {static_cast<std::int32_t>(0x80000000u), 0x10}};
  ReplayFile replay{};
  ASSERT_EQ(loadBytes(buildReplayBytes(fixture), replay), nullptr);
  EXPECT_EQ(recordAt(replay, 0).repeat, -1);
  EXPECT_EQ(recordAt(replay, 0).input, 0xFF);
  EXPECT_EQ(recordAt(replay, 1).repeat, 0x12345678);
  EXPECT_EQ(recordAt(replay, 2).repeat, INT32_MIN);
  releaseReplay(replay);
}

}  // namespace
