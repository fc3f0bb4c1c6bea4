#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "replay/replay_text.h"
#include "view/display_text.h"
#include "support/replay_builder.h"

namespace {

std::vector<std::uint8_t> pack(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(replayTextToBytes(text, bytes, error)) << error;
  return bytes;
}

std::string unpack(const std::vector<std::uint8_t>& bytes) {
  std::string text, error;
  EXPECT_TRUE(replayBytesToText(bytes, text, error)) << error;
  return text;
}

std::string packError(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  EXPECT_FALSE(replayTextToBytes(text, bytes, error)) << text;
  return error;
}

TEST(ReplayText, PacksTheExampleFileByteForByte) {
  const std::string text =
      "# the 113-byte example\n"
      "name \"abc\"\ndate \"xyz\"\nscore 1000\nfloor 25\ncombo 3\nrejump 1\nseed 7\n"
      "records\n0 0x02\n4 0x12\n0 0x80\n";
  EXPECT_EQ(pack(text), buildReplayBytes(exampleReplay()));
}

TEST(ReplayText, UnpackThenPackGivesBackTheSameBytes) {
  ReplayFixture odd;
  odd.signature = "ABC\x01";
  odd.name = std::string("a\0b\"\\\n\xFF", 7) + std::string(24, 'z') + "!";
  odd.date = std::string(1, '\t');
  odd.score = INT32_MIN;
  odd.floor = -1;
  odd.combo = INT32_MAX;
  odd.rejump = -7;
  odd.seed = 0xFFFFFFFF;
  odd.records = {{INT32_MIN, 0xFF}, {-1, 0x00}, {INT32_MAX, 0x80}};

  ReplayFixture badChecksum = exampleReplay();
  badChecksum.checksumDelta = 5;
  ReplayFixture negativeCount;
  negativeCount.recordCount = -3;
  ReplayFixture countBeyondBody = exampleReplay();
  countBeyondBody.recordCount = 9;
  ReplayFixture fewerThanHeld = exampleReplay();
  fewerThanHeld.recordCount = 1;  // the other two records are trailing bytes

  for (const ReplayFixture& fixture : {exampleReplay(), seed36Replay(), odd, badChecksum, negativeCount, countBeyondBody}) {
    const std::vector<std::uint8_t> bytes = buildReplayBytes(fixture);
    EXPECT_EQ(pack(unpack(bytes)), bytes) << unpack(bytes);
  }
  const std::string trailing = unpack(buildReplayBytes(fewerThanHeld));
  EXPECT_NE(trailing.find("# 10 bytes after the records are not shown"), std::string::npos) << trailing;
}

TEST(ReplayText, UnpackShowsTheFieldsReadably) {
  EXPECT_EQ(unpack(buildReplayBytes(exampleReplay())),
            "name \"abc\"\ndate \"xyz\"\nscore 1000\nfloor 25\ncombo 3\nrejump 1\nseed 0x00000007\n"
            "checksum auto\nrecords\n0 0x02\n4 0x12\n0 0x80\n");
  std::string text, error;
  EXPECT_FALSE(replayBytesToText(std::vector<std::uint8_t>(97), text, error));
  EXPECT_EQ(escapeText("\x1F\x7F\x80~", 4), "\\x1F\\x7F\\x80~") << "DEL is a control byte";
}

// Text shown to people: only valid UTF-8 passes, character by character.
TEST(ReplayText, DisplayPassesOnlyValidUtf8) {
  const struct {
    std::string in, shown;
  } cases[] = {
      {"\xF0\x9F\x8E\xAE \xE6\x97\xA5 \xC3\xA9 \xF4\x8F\xBF\xBF", "\xF0\x9F\x8E\xAE \xE6\x97\xA5 \xC3\xA9 \xF4\x8F\xBF\xBF"},
      {"\xC0\xAF \xE0\x80\xAF", "\\xC0\\xAF \\xE0\\x80\\xAF"},      // overlong forms of '/'
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},                        // a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                  // past U+10FFFF
      {"ab\xE2\x80", "ab\\xE2\\x80"},                              // cut short at the end
      {"\xE2\x80\x8F\xE2\x80\xA8\xD8\x9C", "\\xE2\\x80\\x8F\\xE2\\x80\\xA8\\xD8\\x9C"},  // RLM, LS, ALM
      {"\xC2\xA0\xE2\x80\x8B", "\xC2\xA0\xE2\x80\x8B"},          // spaces that act on nothing
      {std::string("a\0b\x7F\\", 5), "a\\x00b\\x7F\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(displayText(c.in), c.shown) << c.shown;
}

TEST(ReplayText, ReportsWhatIsWrongAndWhere) {
  const std::string header = "name \"\"\ndate \"\"\nscore 0\nfloor 0\ncombo 0\nrejump 0\nseed 0\n";
  EXPECT_EQ(packError(header), "missing 'records' line");
  EXPECT_EQ(packError("name \"\"\nrecords\n"), "missing field: date");
  EXPECT_EQ(packError(header + "records\n1\n"), "line 9: missing number");
  EXPECT_EQ(packError(header + "records\n1 256\n"), "line 9: number out of range: 256");
  EXPECT_EQ(packError(header + "records\n1x 2\n"), "line 9: not a number: 1x");
  EXPECT_EQ(packError(header + "colour 3\nrecords\n"), "line 8: unknown field: colour");
  EXPECT_EQ(packError(header + "score 1\nrecords\n"), "line 8: field given twice: score");
  EXPECT_EQ(packError("name \"" + std::string(33, 'a') + "\"\n"), "line 1: text longer than 32 bytes");
  EXPECT_EQ(packError("name \"\\q\"\n"), "line 1: unknown escape \\q");
  EXPECT_EQ(packError("name abc\n"), "line 1: expected a quoted text");
  EXPECT_EQ(packError("seed 4294967296\n"), "line 1: number out of range: 4294967296");
  EXPECT_EQ(packError(header + "records\n1 2 3\n"), "line 9: a record is two numbers: repeat input");
  EXPECT_EQ(packError(header + "records\n1 2 #x\n"), "line 9: a record is two numbers: repeat input");
}

// checksum auto covers what the file announces: with an explicit smaller
// recordCount the records after it are bytes after the records, outside
// the checksum, and the packed file loads.
TEST(ReplayText, AutoChecksumCoversTheAnnouncedRecordsOnly) {
  const std::string text = "name \"\"\ndate \"\"\nscore 0\nfloor 0\ncombo 0\nrejump 0\nseed 0\nchecksum auto\n"
                           "recordCount 1\nrecords\n4 0x02\n7 0x12\n9 0x01\n";
  const std::vector<std::uint8_t> bytes = pack(text);
  ASSERT_EQ(bytes.size(), 98u + 15u);
  ReplayFile replay{};
  EXPECT_EQ(loadReplayBytes(bytes.data(), bytes.size(), replay), nullptr);
  releaseReplay(replay);
}

// Numbers and escapes are read strictly, every field once, any line end;
// an error message never echoes more than a short, escaped word.
TEST(ReplayText, AcceptsOnlyWhatUnpackWouldWrite) {
  const std::string header = "name \"\"\ndate \"\"\nscore 0\nfloor 0\ncombo 0\nrejump 0\nseed 0\n";
  EXPECT_EQ(packError("name \"\\x 4\"\n"), "line 1: \\x needs two hex digits");
  EXPECT_EQ(packError("name \"\\x-1\"\n"), "line 1: \\x needs two hex digits");
  EXPECT_EQ(packError("seed 0x+24\n"), "line 1: not a number: 0x+24");
  EXPECT_EQ(packError("seed +24\n"), "line 1: not a number: +24");
  EXPECT_EQ(packError("seed 0x\n"), "line 1: not a number: 0x");
  EXPECT_EQ(packError(std::string("seed 12\0" "34\n", 11)), "line 1: not a number: 12\\0" "34");
  EXPECT_EQ(packError(header + "signature \"WLX130\"\nsignature \"WLX131\"\nrecords\n"),
            "line 9: field given twice: signature");
  EXPECT_EQ(packError(header + "checksum auto\nchecksum 5\nrecords\n"), "line 9: field given twice: checksum");
  EXPECT_EQ(packError(header + "records\n" + std::string(100000, '7') + " 1\n"),
            "line 9: number out of range: " + std::string(40, '7') + "...");
  EXPECT_EQ(packError(header + "records\n" + std::string(5000000, '7') + " 1\n"), "line 9: longer than 1048576 bytes");
  EXPECT_EQ(packError(header + "records\n1 \x1B[2J\n"), "line 9: not a number: \\x1B[2J");
  EXPECT_EQ(packError(header + "\x1B]0;x\x07 1\nrecords\n"), "line 8: unknown field: \\x1B]0;x\\x07");

  // Leading zeros are fine; CR LF and lone CR end lines like LF.
  std::string crlf = header + "records\n0x00000000000000003 0010\n";
  std::string cr = crlf;
  for (std::size_t i = 0; i < crlf.size(); ++i)
    if (crlf[i] == '\n') crlf.replace(i++, 1, "\r\n");
  for (char& c : cr)
    if (c == '\n') c = '\r';
  const std::vector<std::uint8_t> want = pack(header + "records\n3 10\n");
  EXPECT_EQ(pack(crlf), want);
  EXPECT_EQ(pack(cr), want);
}

// Every byte value in a name survives unpack and pack; a backslash right
// before the closing quote leaves the text open.
TEST(ReplayText, EveryByteOfANameRoundTrips) {
  for (int first = 0; first < 256; first += 31) {
    ReplayFixture named = exampleReplay();
    named.name.clear();
    for (int b = first; b < first + 31 && b < 256; ++b) named.name += static_cast<char>(b);
    named.name += '!';  // a NUL last would be padding
    named.date = named.name.substr(0, 5);
    const std::vector<std::uint8_t> bytes = buildReplayBytes(named);
    EXPECT_EQ(pack(unpack(bytes)), bytes) << unpack(bytes);
  }
  EXPECT_EQ(packError("name \"ab\\\"\n"), "line 1: text ends inside an escape");
  EXPECT_EQ(packError("name \"\\\"\n"), "line 1: text ends inside an escape");
  EXPECT_EQ(packError("name \"\\x4\"\n"), "line 1: \\x needs two hex digits");
}

// Fed in pieces that split lines anywhere (a CR LF included), the text
// packs to the same bytes as whole.
TEST(ReplayText, PiecesPackAsTheWhole) {
  std::string text = unpack(buildReplayBytes(seed36Replay()));
  std::string crlf;
  for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& whole : {text, crlf}) {
    const std::vector<std::uint8_t> want = pack(whole);
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
      ReplayTextReader reader;
      ASSERT_TRUE(feedReplayText(reader, whole.data(), cut));
      ASSERT_TRUE(feedReplayText(reader, whole.data() + cut, whole.size() - cut));
      std::vector<std::uint8_t> bytes;
      std::string error;
      ASSERT_TRUE(finishReplayText(reader, bytes, error)) << error;
      ASSERT_EQ(bytes, want) << "cut at " << cut;
    }
    ReplayTextReader bytewise;
    for (const char c : whole) ASSERT_TRUE(feedReplayText(bytewise, &c, 1));
    std::vector<std::uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(finishReplayText(bytewise, bytes, error)) << error;
    EXPECT_EQ(bytes, want);
  }
}

TEST(ReplayText, HexIsTheThirtyTwoBitPattern) {
  const std::string text =
      "name \"\"\ndate \"\"\nscore 0xFFFFFFFF\nfloor 0x7FFFFFFF\ncombo 0\nrejump 0\nseed 0xFFFFFFFF\nrecords\n0xFFFFFFFE 0x10\n";
  const std::vector<std::uint8_t> bytes = pack(text);
  const ReplayHeader h = decodeHeader(bytes.data());
  EXPECT_EQ(h.score, -1);
  EXPECT_EQ(h.floor, 2147483647) << "the largest positive pattern stays positive";
  EXPECT_EQ(h.seed, 0xFFFFFFFFu);
  ReplayFile file{h, bytes.data() + REPLAY_HEADER_SIZE, nullptr};
  EXPECT_EQ(recordAt(file, 0).repeat, -2);
  EXPECT_EQ(replayChecksum(file), h.checksum);
}

}  // namespace

namespace {

const std::string HEADER = "name \"\"\ndate \"\"\nscore 0\nfloor 0\ncombo 0\nrejump 0\nseed 0\n";

std::string withLineEnds(const std::string& text, const std::string& end) {
  std::string out;
  for (const char c : text) out += c == '\n' ? end : std::string(1, c);
  return out;
}

// The error of a text fed in pieces of `piece` bytes (lines cut anywhere).
std::string feedError(const std::string& text, std::size_t piece) {
  ReplayTextReader reader;
  bool fed = true;
  for (std::size_t at = 0; fed && at < text.size(); at += piece)
    fed = feedReplayText(reader, text.data() + at, std::min(piece, text.size() - at));
  std::vector<std::uint8_t> bytes;
  std::string error;
  EXPECT_FALSE(fed && finishReplayText(reader, bytes, error)) << "accepted";
  return fed ? error : reader.error;
}

}  // namespace

// A line is counted once whatever ends it (LF, CR LF, a lone CR), blank
// and comment lines included, so the number in an error is the line an
// editor shows. CR CR LF is two line ends (an empty line between), as an
// editor shows it too.
TEST(ReplayText, LineNumbersCountEveryLineOnceWhateverEndsIt) {
  const std::string text = "# made by hand\n\n" + HEADER + "\n# the body\nrecords\n1 0x02\n\n1 256\n";
  const std::string want = "line 15: number out of range: 256";
  for (const std::string end : {"\n", "\r\n", "\r"}) {
    EXPECT_EQ(packError(withLineEnds(text, end)), want) << escapeText(end.data(), end.size());
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}})
      EXPECT_EQ(feedError(withLineEnds(text, end), piece), want) << piece;
  }
  EXPECT_EQ(packError("name \"\"\r\r\ncolour 1\r\n"), "line 3: unknown field: colour");
  EXPECT_EQ(packError("name \"\"\n\rcolour 1\n"), "line 3: unknown field: colour");
  // Mixed line ends, as in a file edited on two systems.
  EXPECT_EQ(packError("name \"\"\r\ndate \"\"\nscore 0\r\n\ncolour 1\n"), "line 5: unknown field: colour");
  // Trailing spaces and tabs before a CR LF are not part of a value.
  EXPECT_EQ(pack(withLineEnds(HEADER + "records\n3 0x10 \t\n", "\r\n")), pack(HEADER + "records\n3 0x10\n"));
  // A CR inside a quoted text ends its line like any other.
  EXPECT_EQ(packError("name \"a\rb\"\n"), "line 1: expected a quoted text");
}

// The last line needs no line end: its record counts, its error is
// reported with its number. An empty text misses its first field.
TEST(ReplayText, TheLastLineNeedsNoLineEnd) {
  const std::vector<std::uint8_t> want = pack(HEADER + "records\n3 0x10\n0 0x80\n");
  EXPECT_EQ(pack(HEADER + "records\n3 0x10\n0 0x80"), want);
  EXPECT_EQ(pack(HEADER + "records\n3 0x10\n0 0x80\r"), want);
  EXPECT_EQ(pack(HEADER + "records\n3 0x10\n0 0x80\n\n\n# end"), want);
  EXPECT_EQ(packError(HEADER + "records\n3 0x10\n1 256"), "line 10: number out of range: 256");
  EXPECT_EQ(pack(HEADER + "records").size(), REPLAY_HEADER_SIZE) << "a 'records' line with no end still opens the body";
  EXPECT_EQ(packError(""), "missing field: name");
  EXPECT_EQ(packError(HEADER), "missing 'records' line");
}

// A line may hold exactly MAX_TEXT_LINE bytes, its line end not counted;
// one byte more is refused with that line's number, however the text is
// fed and whether or not the line is the last.
TEST(ReplayText, ALineOfTheLimitIsReadAndOneByteMoreIsNot) {
  ASSERT_EQ(MAX_TEXT_LINE, 1048576u);
  const std::string record = "3 0x10";
  const std::string atLimit = std::string(MAX_TEXT_LINE - record.size(), ' ') + record;
  const std::string overLimit = " " + atLimit;
  const std::vector<std::uint8_t> want = pack(HEADER + "records\n3 0x10\n");
  const std::string too = "line 10: longer than 1048576 bytes";
  for (const std::string end : {"\n", "\r\n", ""}) {
    const std::string head = withLineEnds("# long line next\n" + HEADER + "records\n", end.empty() ? "\n" : end);
    EXPECT_EQ(pack(head + atLimit + end), want) << escapeText(end.data(), end.size());
    EXPECT_EQ(packError(head + overLimit + end), too) << escapeText(end.data(), end.size());
    EXPECT_EQ(feedError(head + overLimit + end, 4096), too);
  }
  const std::string comment = "#" + std::string(MAX_TEXT_LINE - 1, 'c');
  EXPECT_EQ(pack(comment + "\n" + HEADER + "records\n3 0x10\n"), want);
  EXPECT_EQ(packError(comment + "c\n" + HEADER + "records\n"), "line 1: longer than 1048576 bytes");
}

// \xHH takes exactly two hex digits of either case; anything short of
// them, or a backslash with nothing after it, is refused.
TEST(ReplayText, EscapesAtTheirEdges) {
  const auto nameOf = [](const std::string& quoted) {
    const std::vector<std::uint8_t> bytes = pack("name " + quoted + "\n" + HEADER.substr(HEADER.find('\n') + 1) + "records\n");
    const ReplayHeader h = decodeHeader(bytes.data());
    return std::string(h.playerName, sizeof h.playerName);
  };
  const auto padded = [](std::string s) { return s + std::string(32 - s.size(), '\0'); };
  EXPECT_EQ(nameOf("\"\\x41\""), padded("A")) << "the escape right before the closing quote";
  EXPECT_EQ(nameOf("\"\\xff\\xFF\\x0a\\x00z\""), padded(std::string("\xFF\xFF\n\0z", 5)));
  EXPECT_EQ(nameOf("\"\\x9A\\xaF\""), padded("\x9A\xAF"));
  EXPECT_EQ(nameOf("\"\\\\\\\"\\n\\t\\r\\0\""), padded(std::string("\\\"\n\t\r\0", 6)));
  EXPECT_EQ(nameOf("\"" + std::string(31, 'a') + "\\x21\""), std::string(31, 'a') + "!");
  EXPECT_EQ(nameOf("\"a b \""), padded("a b "));
  const std::string digits = "line 1: \\x needs two hex digits";
  for (const char* bad : {"\"\\xG1\"", "\"\\x1G\"", "\"\\x\"", "\"\\x1\"", "\"\\xg0\"", "\"\\x0g\"", "\"\\x/0\"", "\"\\x:0\"",
                          "\"\\x@0\"", "\"\\x`0\""})
    EXPECT_EQ(packError(std::string("name ") + bad + "\n"), digits) << bad;
  EXPECT_EQ(packError("name \"\\\"\n"), "line 1: text ends inside an escape");
  EXPECT_EQ(packError("name \"abc\\\\\\\"\n"), "line 1: text ends inside an escape");
  EXPECT_EQ(nameOf("\"abc\\\\\""), padded("abc\\")) << "an escaped backslash before the closing quote";
  EXPECT_EQ(packError("name \"\n"), "line 1: expected a quoted text");
  EXPECT_EQ(packError("name \"abc\n"), "line 1: expected a quoted text");
  EXPECT_EQ(packError("name \"" + std::string(32, 'a') + "\\x21\"\n"), "line 1: text longer than 32 bytes");
  EXPECT_EQ(packError("signature \"WLX1300\"\n"), "line 1: text longer than 6 bytes");
}

// Unpack says how many bytes after the records it leaves out, those it
// was given and those its reader did not keep alike, or that a stream
// goes on; nothing when there are none. Packed again, the note is a comment.
TEST(ReplayText, UnpackCountsTheBytesAfterTheRecords) {
  const std::string body = "name \"abc\"\ndate \"xyz\"\nscore 1000\nfloor 25\ncombo 3\nrejump 1\nseed 0x00000007\n";
  const std::string records = "records\n0 0x02\n4 0x12\n0 0x80\n";
  const auto unpacked = [](const ReplayFixture& fixture, UnreadTail tail = {}) {
    std::string text, error;
    EXPECT_TRUE(replayBytesToText(buildReplayBytes(fixture), text, error, tail)) << error;
    return text;
  };
  ReplayFixture trailing = exampleReplay();
  EXPECT_EQ(unpacked(trailing), body + "checksum auto\n" + records);
  trailing.trailingBytes = 1;
  EXPECT_EQ(unpacked(trailing), body + "checksum auto\n" + records + "# 1 byte after the records is not shown\n");
  trailing.trailingBytes = 4;
  EXPECT_EQ(unpacked(trailing, {6, false}), body + "checksum auto\n" + records + "# 10 bytes after the records are not shown\n");
  EXPECT_EQ(unpacked(trailing, {1, true}),
            body + "checksum auto\n" + records + "# the stream goes on after the records: not read further, not shown\n");
  EXPECT_EQ(unpacked(exampleReplay(), {5000000000ull, false}),
            body + "checksum auto\n" + records + "# 5000000000 bytes after the records are not shown\n");

  // Fewer records announced than held: the rest is bytes after them.
  ReplayFixture fewer = exampleReplay();
  fewer.recordCount = 1;
  fewer.trailingBytes = 2;
  const std::string fewerText = unpacked(fewer);
  EXPECT_EQ(fewerText.substr(fewerText.find("records\n")), "records\n0 0x02\n# 12 bytes after the records are not shown\n");
  const std::vector<std::uint8_t> fewerBytes = buildReplayBytes(fewer);
  ASSERT_EQ(fewerBytes.size(), REPLAY_HEADER_SIZE + 17);
  EXPECT_EQ(pack(fewerText), std::vector<std::uint8_t>(fewerBytes.begin(), fewerBytes.end() - 12));
  // More announced than held, or a negative count: the whole records
  // shown, the part of one left over counted.
  ReplayFixture more = exampleReplay();
  more.recordCount = 9;
  more.trailingBytes = 3;
  const std::string moreText = unpacked(more);
  const auto storedChecksum = [](const ReplayFixture& fixture) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "checksum 0x%08X\n", decodeHeader(buildReplayBytes(fixture).data()).checksum);
    return std::string(hex);
  };
  EXPECT_EQ(moreText.substr(moreText.find("checksum")),
            storedChecksum(more) + "recordCount 9\n" + records + "# 3 bytes after the records are not shown\n");
  ReplayFixture negative = exampleReplay();
  negative.recordCount = -1;
  negative.trailingBytes = 9;
  const std::string negativeText = unpacked(negative);
  EXPECT_EQ(negativeText.substr(negativeText.find("checksum")),
            storedChecksum(negative) + "recordCount -1\nrecords\n0 0x02\n4 0x12\n0 0x80\n-1515870811 0xA5\n# 4 bytes after the records are not shown\n");
}
