#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "api/runaudit.h"
#include "support/replay_builder.h"
#include "verify/game_digest.h"
#include "verify/sha256.h"

namespace {

std::string hexOf(const Sha256Digest& d) {
  const std::array<char, 64> hex = sha256Hex(d);
  return std::string(hex.data(), hex.size());
}

// FIPS 180 / NIST's examples, each fed in pieces of every size from 1 to
// 130 bytes in turn, so that every way a piece meets a block's end is met.
TEST(Sha256, GivesThePublishedDigests) {
  const std::string million(1000000, 'a');
  const struct {
    std::string message;
    const char* digest;
  } vectors[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& v : vectors) {
    Sha256 whole;
    sha256Add(whole, v.message.data(), v.message.size());
    EXPECT_EQ(hexOf(sha256Finish(whole)), v.digest) << v.message.size() << " bytes at once";
    Sha256 pieces;
    for (std::size_t at = 0, piece = 1; at < v.message.size(); at += piece, piece = piece % 130 + 1)
      sha256Add(pieces, v.message.data() + at, std::min(piece, v.message.size() - at));
    EXPECT_EQ(hexOf(sha256Finish(pieces)), v.digest) << v.message.size() << " bytes in pieces";
  }
}

std::string digestOf(const ReplayFixture& fixture) {
  const std::vector<std::uint8_t> bytes = buildReplayBytes(fixture);
  runaudit_result r;
  runaudit_check_bytes(bytes.data(), bytes.size(), &r);
  char hex[65];
  return runaudit_game_digest_hex(&r, hex) == 0 ? hex : "no game";
}

// The definition itself, on the seed-36 game (101 frames, ending in the
// 20th frame of its sixth record), written out byte by byte.
TEST(GameDigest, IsTheHashOfTheTagSeedRejumpAndRuns) {
  std::vector<std::uint8_t> bytes(GAME_DIGEST_TAG, GAME_DIGEST_TAG + 16);
  for (const std::uint8_t b : {36, 0, 0, 0, 1}) bytes.push_back(b);
  const std::pair<std::uint8_t, std::uint8_t> runs[] = {{0x02, 10}, {0x12, 26}, {0x02, 18}, {0x12, 9}, {0x02, 18}, {0x01, 20}};
  for (const auto& [input, length] : runs) {
    bytes.push_back(input);
    bytes.push_back(length);
    bytes.insert(bytes.end(), 7, 0);
  }
  Sha256 sha;
  sha256Add(sha, bytes.data(), bytes.size());
  EXPECT_EQ(digestOf(seed36Replay()), hexOf(sha256Finish(sha)));
  EXPECT_EQ(std::string(GAME_DIGEST_TAG, sizeof GAME_DIGEST_TAG), std::string("runaudit game 1\0", 16));
}

// Whatever a file holds beside the game leaves the digest alone: names,
// dates, claims, how the frames are split into records, the bits the game
// ignores, the frames after the game ended, what follows the marker and
// any non-zero rejump. The seed, rejump on or off and any played frame's
// input change it.
TEST(GameDigest, IsTheGameNotTheFile) {
  const ReplayFixture base = seed36Replay();
  const std::string digest = digestOf(base);
  ASSERT_EQ(digest.size(), 64u);

  std::vector<std::pair<const char*, ReplayFixture>> same, differ;
  auto variant = [&](auto& list, const char* what, auto change) {
    ReplayFixture f = base;
    change(f);
    list.emplace_back(what, f);
  };
  variant(same, "header texts and claims", [](ReplayFixture& f) {
    f.name = "someone else";
    f.date = "1999-01-01";
    f.score = 99999;
    f.floor = 500;
    f.combo = 12;
  });
  variant(same, "another non-zero rejump", [](ReplayFixture& f) { f.rejump = -7; });
  variant(same, "a record split in two", [](ReplayFixture& f) {
    f.records[1] = {11, 0x12};
    f.records.insert(f.records.begin() + 2, InputRecord{13, 0x12});
  });
  variant(same, "single frames, by 0 and by a negative repeat", [](ReplayFixture& f) {
    f.records[0] = {7, 0x02};
    f.records.insert(f.records.begin() + 1, {InputRecord{0, 0x02}, InputRecord{-40, 0x02}});
  });
  variant(same, "records equal but for an ignored bit", [](ReplayFixture& f) {
    f.records[0] = {4, 0x02};
    f.records.insert(f.records.begin() + 1, InputRecord{4, 0x02 | 0x40});
  });
  variant(same, "ignored bits", [](ReplayFixture& f) {
    for (InputRecord& r : f.records)
      if (r.input != END_MARKER) r.input |= 0x04 | 0x08 | 0x20 | 0x40;
  });
  variant(same, "frames after the end changed", [](ReplayFixture& f) {
    f.records[5] = {19, 0x01};  // the game ends in its 20th frame
    f.records.insert(f.records.end() - 1, {InputRecord{50, 0x12}, InputRecord{3, 0x01}});
  });
  variant(same, "records after the marker", [](ReplayFixture& f) { f.records.push_back({300, 0x10}); });
  variant(same, "no marker", [](ReplayFixture& f) { f.records.pop_back(); });

  variant(differ, "seed", [](ReplayFixture& f) { f.seed = 37; });
  variant(differ, "rejump off", [](ReplayFixture& f) { f.rejump = 0; });
  variant(differ, "one played frame's jump bit", [](ReplayFixture& f) {
    f.records[2] = {16, 0x02};
    f.records.insert(f.records.begin() + 3, InputRecord{0, 0x12});
  });
  variant(differ, "the first frame's direction", [](ReplayFixture& f) {
    f.records[0] = {8, 0x02};
    f.records.insert(f.records.begin(), InputRecord{0, 0x01});
  });
  variant(differ, "a run's length moved to the next", [](ReplayFixture& f) {
    f.records[0] = {10, 0x02};
    f.records[1] = {24, 0x12};
  });
  for (const auto& [what, f] : same) EXPECT_EQ(digestOf(f), digest) << what;
  for (const auto& [what, f] : differ) EXPECT_NE(digestOf(f), digest) << what;

  // A game with no frame at all still has one: the seed's and rejump's.
  ReplayFixture empty = base;
  empty.records = {{0, END_MARKER}};
  EXPECT_EQ(digestOf(empty).size(), 64u);
  EXPECT_NE(digestOf(empty), digest);
}

}  // namespace
