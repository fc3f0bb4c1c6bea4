#include <gtest/gtest.h>

#include "support/replay_builder.h"

namespace {

struct ChecksumCase {
  const char* what;
  ReplayFixture fixture;
  std::uint32_t expected;
};

ReplayFixture withBytes(std::uint8_t nameByte0, std::uint8_t dateByte0) {
  ReplayFixture s;
  s.name = std::string(1, static_cast<char>(nameByte0));
  s.date = std::string(1, static_cast<char>(dateByte0));
  return s;
}

ReplayFixture nameByte31(char c) {
  ReplayFixture s;
  s.name = std::string(31, '\0') + c;
  return s;
}

ReplayFixture records(std::vector<InputRecord> r) {
  ReplayFixture s;
  s.records = std::move(r);
  return s;
}

TEST(ReplayChecksum, MatchesTheKnownValues) {
  ReplayFixture seed;
  seed.seed = 1u << 30;
  ReplayFixture score;
  score.score = -1;
  ReplayFixture rejump;
  rejump.rejump = 2;

  const ChecksumCase cases[] = {
      {"all zero", ReplayFixture{}, 30002587u},
      {"one record has weight 0", records({{123456, 0xFF}}), 30002587u},
      {"three records", records({{0, 0x02}, {4, 0x12}, {0, 0x80}}), 30003969u},
      {"text bytes are signed", withBytes(0xE9, 0x01), 29999896u},
      {"byte 31 of the name counts", nameByte31(0x05), 30582907u},
      {"seed wraps", seed, 1103744411u},
      {"negative score", score, 30002580u},
      {"rejump 2 counts twice", rejump, 30002639u},
      {"the example file", exampleReplay(), 38593926u},
  };
  for (const ChecksumCase& c : cases) {
    ReplayFile file = buildReplay(c.fixture);
    EXPECT_EQ(replayChecksum(file), c.expected) << c.what;
    releaseReplay(file);
  }
}

TEST(ReplayChecksum, FirstRecordNeverCountsButLaterOnesDo) {
  ReplayFixture a = exampleReplay();
  ReplayFixture b = exampleReplay();
  b.records[0] = {-77, 0x13};
  ReplayFixture c = exampleReplay();
  c.records[1].repeat += 1;
  ReplayFile fa = buildReplay(a), fb = buildReplay(b), fc = buildReplay(c);
  EXPECT_EQ(replayChecksum(fa), replayChecksum(fb));
  EXPECT_EQ(replayChecksum(fc), replayChecksum(fa) + 3u);
  releaseReplay(fa);
  releaseReplay(fb);
  releaseReplay(fc);
}

TEST(ReplayChecksum, ExampleFileStoresItLittleEndianAtOffset94) {
  const std::vector<std::uint8_t> bytes = buildReplayBytes(exampleReplay());
  ASSERT_EQ(bytes.size(), 113u);
  EXPECT_EQ(bytes[94], 0x86);
  EXPECT_EQ(bytes[95], 0xE5);
  EXPECT_EQ(bytes[96], 0x4C);
  EXPECT_EQ(bytes[97], 0x02);
}

}  // namespace
