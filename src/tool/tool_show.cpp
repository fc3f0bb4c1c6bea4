#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "replay/replay_text.h"
#include "tool/tool_common.h"
#include "verify/playback.h"

namespace {

std::size_t textLength(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, '\0', width);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width;
}

std::string jsonString(const char* bytes, std::size_t size) {
  std::string out = "\"";
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      // Bytes beyond ASCII are not assumed to be any encoding: each is
      // shown as the code point of the same number.
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04X", c);
      out += esc;
    }
  }
  return out + "\"";
}

// The first end marker in the file, counting records from 1; 0 if none.
std::uint32_t firstMarker(const ReplayFile& replay) {
  const std::uint32_t count = recordCountOf(replay);
  for (std::uint32_t j = 0; j < count; ++j)
    if (recordAt(replay, j).input & END_MARKER) return j + 1;
  return 0;
}

struct Facts {
  const char* path;
  const ReplayHeader* header;
  PlaybackOutcome outcome;
  std::uint32_t marker;  // 1-based, 0 for none
};

// What a game that did not end met: playback stops early only at a marker.
const char* aliveReason(const Facts& f) {
  return f.outcome.recordsPlayed < static_cast<std::uint32_t>(f.header->recordCount) ? "end marker" : "records exhausted";
}

void printText(const Facts& f) {
  const ReplayHeader& h = *f.header;
  const PlaybackOutcome& o = f.outcome;
  std::printf("File:           %s\n", escapeText(f.path, std::strlen(f.path)).c_str());
  std::printf("Signature:      %s\n", escapeText(h.signature, sizeof h.signature).c_str());
  std::printf("Name:           %s\n", escapeText(h.playerName, textLength(h.playerName, 32)).c_str());
  std::printf("Date:           %s\n", escapeText(h.date, textLength(h.date, 32)).c_str());
  std::printf("Score:          %" PRId32 "\n", h.score);
  std::printf("Floor:          %" PRId32 "\n", h.floor);
  std::printf("Combo:          %" PRId32 "\n", h.combo);
  std::printf("Rejump:         %" PRId32 " (%s)\n", h.rejump, h.rejump != 0 ? "on" : "off");
  std::printf("Seed:           0x%08" PRIX32 "\n", h.seed);
  std::printf("Checksum:       0x%08" PRIX32 " (matches)\n", h.checksum);
  std::printf("Records:        %" PRId32 "\n", h.recordCount);
  std::printf("Verdict:        %s\n", o.valid ? "valid" : "invalid");
  std::printf("Frames:         %" PRIu64 "\n", o.frames);
  if (o.died)
    std::printf("Game ended:     frame %" PRIu64 ", frame %" PRIu64 " of record %" PRIu32 "\n", o.frames,
                o.frames - o.lastRecordStart, o.recordsPlayed);
  else
    std::printf("Game ended:     no; the player was still alive at the %s\n",
                std::strcmp(aliveReason(f), "end marker") == 0 ? "end marker" : "end of the records");
  if (f.marker == 0)
    std::printf("End marker:     none\n");
  else
    std::printf("End marker:     record %" PRIu32 "%s\n", f.marker,
                o.died && o.markerFollows ? " (follows the record in which the game ended)" : "");
  std::printf("Highest floor:  %" PRId32 "\n", o.highestFloor);
  std::printf("Best combo:     %" PRId32 "\n", o.finalState.bestCombo);
  std::printf("Combo score:    %" PRId32 "\n", o.finalState.comboScore);
  std::printf("Speed level:    %" PRId32 "\n", o.finalState.speedLevel);
  std::printf("Claimed:        score %" PRId32 ", floor %" PRId32 ", combo %" PRId32 "\n", h.score, h.floor, h.combo);
  std::printf("Simulated:      floor %" PRId32 ", combo %" PRId32 "\n", o.highestFloor, o.finalState.bestCombo);
}

void printJson(const Facts& f) {
  const ReplayHeader& h = *f.header;
  const PlaybackOutcome& o = f.outcome;
  std::printf("{\"file\":%s,", jsonString(f.path, std::strlen(f.path)).c_str());
  std::printf("\"header\":{\"signature\":%s,\"recordCount\":%" PRId32 ",\"name\":%s,\"date\":%s,",
              jsonString(h.signature, sizeof h.signature).c_str(), h.recordCount,
              jsonString(h.playerName, textLength(h.playerName, 32)).c_str(),
              jsonString(h.date, textLength(h.date, 32)).c_str());
  std::printf("\"score\":%" PRId32 ",\"floor\":%" PRId32 ",\"combo\":%" PRId32 ",\"rejump\":%" PRId32
              ",\"seed\":%" PRIu32 ",\"checksum\":%" PRIu32 "},",
              h.score, h.floor, h.combo, h.rejump, h.seed, h.checksum);
  std::printf("\"valid\":%s,\"frames\":%" PRIu64 ",", o.valid ? "true" : "false", o.frames);
  if (o.died)
    std::printf("\"ended\":{\"frame\":%" PRIu64 ",\"record\":%" PRIu32 ",\"frameInRecord\":%" PRIu64 "},\"aliveAt\":null,",
                o.frames, o.recordsPlayed, o.frames - o.lastRecordStart);
  else
    std::printf("\"ended\":null,\"aliveAt\":\"%s\",", aliveReason(f));
  if (f.marker == 0)
    std::printf("\"endMarkerRecord\":null,");
  else
    std::printf("\"endMarkerRecord\":%" PRIu32 ",", f.marker);
  std::printf("\"markerFollows\":%s,", o.died && o.markerFollows ? "true" : "false");
  std::printf("\"highestFloor\":%" PRId32 ",\"bestCombo\":%" PRId32 ",\"comboScore\":%" PRId32 ",\"speedLevel\":%" PRId32
              ",",
              o.highestFloor, o.finalState.bestCombo, o.finalState.comboScore, o.finalState.speedLevel);
  std::printf("\"claimed\":{\"score\":%" PRId32 ",\"floor\":%" PRId32 ",\"combo\":%" PRId32 "},", h.score, h.floor,
              h.combo);
  std::printf("\"simulated\":{\"floor\":%" PRId32 ",\"combo\":%" PRId32 "}}\n", o.highestFloor, o.finalState.bestCombo);
}

}  // namespace

int runShow(int argc, char** argv) {
  const char* path = nullptr;
  bool json = false;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return reportError(EXIT_USAGE, std::string("show: unknown option ") + argv[i]);
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      return reportError(EXIT_USAGE, "show takes one FILE");
    }
  }
  if (path == nullptr) return reportError(EXIT_USAGE, "show needs FILE");

  ReplayFile replay{};
  if (const char* message = loadReplay(path, replay)) return reportError(EXIT_FAILED, std::string(path) + ": " + message);
  const Facts facts{path, &replay.header, playReplayOutcome(replay), firstMarker(replay)};
  json ? printJson(facts) : printText(facts);
  releaseReplay(replay);
  return 0;
}
