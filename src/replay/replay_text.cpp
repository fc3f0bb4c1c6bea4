#include "replay/replay_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "replay/replay_file.h"

std::string escapeText(const char* bytes, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          out += static_cast<char>(c);
        } else {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        }
    }
  }
  return out;
}

namespace {

// A text field without its trailing NUL padding (which the packer restores).
std::string fieldText(const char* field, std::size_t width) {
  std::size_t used = width;
  while (used > 0 && field[used - 1] == '\0') --used;
  std::string quoted(1, '"');
  quoted += escapeText(field, used);
  quoted += '"';
  return quoted;
}

std::string formatLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatLine(const char* format, ...) {
  char buf[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

}  // namespace

bool replayBytesToText(const std::vector<std::uint8_t>& bytes, std::string& text, std::string& error,
                       const UnreadTail& tail) {
  if (bytes.size() < REPLAY_HEADER_SIZE) {
    error = "shorter than a replay header (98 bytes)";
    return false;
  }
  const ReplayFile file{decodeHeader(bytes.data()), bytes.data() + REPLAY_HEADER_SIZE, nullptr};
  const ReplayHeader& h = file.header;

  // Records: those the header announces, or as many as the body holds.
  const std::uint64_t held = (bytes.size() - REPLAY_HEADER_SIZE) / INPUT_RECORD_SIZE;
  const bool countFits = h.recordCount >= 0 && static_cast<std::uint64_t>(h.recordCount) <= held;
  const std::uint32_t shown = countFits ? static_cast<std::uint32_t>(h.recordCount) : static_cast<std::uint32_t>(held);

  text.clear();
  if (std::memcmp(h.signature, REPLAY_SIGNATURE, sizeof REPLAY_SIGNATURE) != 0)
    text += "signature " + fieldText(h.signature, sizeof h.signature) + "\n";
  text += "name " + fieldText(h.playerName, sizeof h.playerName) + "\n";
  text += "date " + fieldText(h.date, sizeof h.date) + "\n";
  text += formatLine("score %" PRId32 "\nfloor %" PRId32 "\ncombo %" PRId32 "\nrejump %" PRId32 "\nseed 0x%08" PRIX32 "\n",
                     h.score, h.floor, h.combo, h.rejump, h.seed);

  ReplayFile counted = file;
  counted.header.recordCount = static_cast<std::int32_t>(shown);
  if (replayChecksum(counted) == h.checksum && countFits)
    text += "checksum auto\n";
  else
    text += formatLine("checksum 0x%08" PRIX32 "\n", h.checksum);
  if (!countFits) text += formatLine("recordCount %" PRId32 "\n", h.recordCount);

  text += "records\n";
  for (std::uint32_t j = 0; j < shown; ++j) {
    const InputRecord r = recordAt(file, j);
    text += formatLine("%" PRId32 " 0x%02X\n", r.repeat, r.input);
  }
  const std::uint64_t unused =
      bytes.size() - REPLAY_HEADER_SIZE - static_cast<std::uint64_t>(shown) * INPUT_RECORD_SIZE + tail.bytes;
  if (tail.atLeast)
    text += "# the stream goes on after the records: not read further, not shown\n";
  else if (unused > 0)
    text += formatLine(unused == 1 ? "# %" PRIu64 " byte after the records is not shown\n"
                                   : "# %" PRIu64 " bytes after the records are not shown\n",
                       unused);
  return true;
}

namespace {

struct Parser {
  std::size_t lineNo;
  std::string& error;

  bool fail(const std::string& what) {
    error = "line " + std::to_string(lineNo) + ": " + what;
    return false;
  }

  // A word quoted in an error message: escaped, and cut short, so that a
  // hostile text cannot flood or drive the terminal.
  static std::string shown(const std::string& word) {
    constexpr std::size_t MAX_SHOWN = 40;
    const std::string text = escapeText(word.data(), std::min(word.size(), MAX_SHOWN));
    return word.size() > MAX_SHOWN ? text + "..." : text;
  }

  // A whole-word integer, strictly: decimal digits with an optional leading
  // minus, or 0x and hex digits; nothing else, and within [lo, hi].
  bool integer(const std::string& word, std::int64_t lo, std::int64_t hi, std::int64_t& value) {
    if (word.empty()) return fail("missing number");
    const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    const bool negative = !hex && word[0] == '-';
    const std::size_t first = hex ? 2 : negative ? 1 : 0;
    if (first == word.size()) return fail("not a number: " + shown(word));
    // Digits beyond these cannot be in range: the value stays far from overflow.
    const std::size_t significant = word.find_first_not_of('0', first);
    if (significant != std::string::npos && word.size() - significant > (hex ? 8u : 10u))
      return fail(word.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789", first) == std::string::npos
                      ? "number out of range: " + shown(word)
                      : "not a number: " + shown(word));
    std::uint64_t magnitude = 0;
    for (std::size_t i = first; i < word.size(); ++i) {
      const char c = word[i];
      int digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else return fail("not a number: " + shown(word));
      magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    }
    value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    // Hex gives the 32-bit pattern: 0xFFFFFFFF is -1 for a signed field.
    if (hex && value > hi && lo < 0) value -= 0x100000000ll;
    if (value < lo || value > hi) return fail("number out of range: " + shown(word));
    return true;
  }

  bool quoted(const std::string& rest, std::size_t width, char* field) {
    if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') return fail("expected a quoted text");
    std::string out;
    for (std::size_t i = 1; i + 1 < rest.size(); ++i) {
      char c = rest[i];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (++i + 1 >= rest.size()) return fail("text ends inside an escape");
      switch (rest[i]) {
        case '\\': c = '\\'; break;
        case '"': c = '"'; break;
        case 'n': c = '\n'; break;
        case 't': c = '\t'; break;
        case 'r': c = '\r'; break;
        case '0': c = '\0'; break;
        case 'x': {
          auto hexDigit = [](char d) {
            return d >= '0' && d <= '9' ? d - '0' : d >= 'a' && d <= 'f' ? d - 'a' + 10 : d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
          };
          if (i + 3 > rest.size() - 1 || hexDigit(rest[i + 1]) < 0 || hexDigit(rest[i + 2]) < 0)
            return fail("\\x needs two hex digits");
          c = static_cast<char>(hexDigit(rest[i + 1]) * 16 + hexDigit(rest[i + 2]));
          i += 2;
          break;
        }
        default: return fail("unknown escape \\" + shown(std::string(1, rest[i])));
      }
      out += c;
    }
    if (out.size() > width) return fail("text longer than " + std::to_string(width) + " bytes");
    std::memset(field, 0, width);
    std::memcpy(field, out.data(), out.size());
    return true;
  }
};

std::string trim(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const std::size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

void splitWord(const std::string& line, std::string& word, std::string& rest) {
  const std::size_t sp = line.find_first_of(" \t");
  word = line.substr(0, sp);
  rest = sp == std::string::npos ? "" : trim(line.substr(sp));
}

}  // namespace

namespace {

const char* const REQUIRED[] = {"name", "date", "score", "floor", "combo", "rejump", "seed"};
const char* const OPTIONAL[] = {"signature", "checksum", "recordCount"};

// One line of the text, trimmed; false with the reason in r.error.
bool parseLine(ReplayTextReader& r, const std::string& line) {
  Parser p{r.lineNo, r.error};
  ReplayHeader& h = r.header;
  if (line.empty() || line[0] == '#') return true;

  std::string word, rest;
  splitWord(line, word, rest);
  std::int64_t v = 0;

  if (r.inRecords) {
    std::string inputWord, extra;
    splitWord(rest, inputWord, extra);
    if (!extra.empty()) return p.fail("a record is two numbers: repeat input");
    std::int64_t input = 0;
    if (!p.integer(word, INT32_MIN, INT32_MAX, v) || !p.integer(inputWord, 0, 255, input)) return false;
    if (r.body.size() / INPUT_RECORD_SIZE >= static_cast<std::size_t>(INT32_MAX)) return p.fail("too many records");
    r.body.resize(r.body.size() + INPUT_RECORD_SIZE);
    encodeRecord({static_cast<std::int32_t>(v), static_cast<std::uint8_t>(input)}, &r.body[r.body.size() - INPUT_RECORD_SIZE]);
    return true;
  }

  bool known = false;
  for (int f = 0; f < 7; ++f)
    if (word == REQUIRED[f]) {
      if (r.seen[f]) return p.fail("field given twice: " + word);
      r.seen[f] = known = true;
    }
  for (int f = 0; f < 3; ++f)
    if (word == OPTIONAL[f]) {
      if (r.seenOptional[f]) return p.fail("field given twice: " + word);
      r.seenOptional[f] = true;
    }

  if (word == "records") {
    if (!rest.empty()) return p.fail("nothing may follow 'records'");
    r.inRecords = true;
  } else if (word == "signature") {
    char sig[6];
    if (!p.quoted(rest, sizeof sig, sig)) return false;
    std::memcpy(h.signature, sig, sizeof sig);
  } else if (word == "name") {
    if (!p.quoted(rest, sizeof h.playerName, h.playerName)) return false;
  } else if (word == "date") {
    if (!p.quoted(rest, sizeof h.date, h.date)) return false;
  } else if (word == "checksum") {
    if (rest == "auto") {
      r.autoChecksum = true;
    } else {
      if (!p.integer(rest, 0, UINT32_MAX, v)) return false;
      r.autoChecksum = false;
      h.checksum = static_cast<std::uint32_t>(v);
    }
  } else if (word == "recordCount") {
    if (!p.integer(rest, INT32_MIN, INT32_MAX, v)) return false;
    h.recordCount = static_cast<std::int32_t>(v);
    r.explicitCount = true;
  } else if (word == "seed") {
    if (!p.integer(rest, 0, UINT32_MAX, v)) return false;
    h.seed = static_cast<std::uint32_t>(v);
  } else if (known) {
    if (!p.integer(rest, INT32_MIN, INT32_MAX, v)) return false;
    const auto value = static_cast<std::int32_t>(v);
    if (word == "score") h.score = value;
    if (word == "floor") h.floor = value;
    if (word == "combo") h.combo = value;
    if (word == "rejump") h.rejump = value;
  } else {
    return p.fail("unknown field: " + Parser::shown(word));
  }
  return true;
}

bool endLine(ReplayTextReader& r) {
  ++r.lineNo;
  if (r.overlong) {
    r.error = "line " + std::to_string(r.lineNo) + ": longer than " + std::to_string(MAX_TEXT_LINE) + " bytes";
    return false;
  }
  const bool ok = parseLine(r, trim(r.line));
  r.line.clear();
  return ok;
}

}  // namespace

ReplayTextReader::ReplayTextReader() { std::memcpy(header.signature, REPLAY_SIGNATURE, sizeof REPLAY_SIGNATURE); }

bool feedReplayText(ReplayTextReader& r, const char* data, std::size_t size) {
  if (!r.error.empty()) return false;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = data[i];
    // Lines end at LF, CR LF or a lone CR; the LF of a CR LF split between
    // two pieces ends nothing.
    const bool lfAfterCr = c == '\n' && r.afterCr;
    r.afterCr = c == '\r';
    if (lfAfterCr) continue;
    if (c == '\r' || c == '\n') {
      if (!endLine(r)) return false;
    } else if (r.line.size() < MAX_TEXT_LINE) {
      r.line += c;
    } else {
      r.overlong = true;
    }
  }
  return true;
}

bool finishReplayText(ReplayTextReader& r, std::vector<std::uint8_t>& bytes, std::string& error) {
  if (r.error.empty()) endLine(r);  // the last line, with or without its end
  if (!r.error.empty()) {
    error = r.error;
    return false;
  }
  ReplayHeader& h = r.header;
  for (int f = 0; f < 7; ++f)
    if (!r.seen[f]) {
      error = std::string("missing field: ") + REQUIRED[f];
      return false;
    }
  if (!r.inRecords) {
    error = "missing 'records' line";
    return false;
  }

  const std::size_t count = r.body.size() / INPUT_RECORD_SIZE;
  if (!r.explicitCount) h.recordCount = static_cast<std::int32_t>(count);
  if (r.autoChecksum) {
    // The checksum covers the records the header announces, as far as they exist.
    ReplayFile file{h, r.body.data(), nullptr};
    const bool countFits = h.recordCount >= 0 && static_cast<std::size_t>(h.recordCount) <= count;
    file.header.recordCount = countFits ? h.recordCount : static_cast<std::int32_t>(count);
    h.checksum = replayChecksum(file);
  }
  // The records move into place behind the header: no second copy.
  r.body.insert(r.body.begin(), REPLAY_HEADER_SIZE, 0);
  encodeHeader(h, r.body.data());
  bytes = std::move(r.body);
  r.body = {};
  return true;
}

bool replayTextToBytes(const std::string& text, std::vector<std::uint8_t>& bytes, std::string& error) {
  ReplayTextReader reader;
  if (!feedReplayText(reader, text.data(), text.size())) {
    error = reader.error;
    return false;
  }
  return finishReplayText(reader, bytes, error);
}
