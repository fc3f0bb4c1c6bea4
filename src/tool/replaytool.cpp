// replaytool: a companion to runaudit for the people who run leaderboards.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "api/runaudit.h"
#include "app/frames_option.h"
#include "platform/files.h"
#include "platform/terminal.h"
#include "sim/fpu_mode.h"
#include "tool/tool_common.h"
#include "view/display_text.h"

namespace {

const char* const USAGE =
    "usage: replaytool show FILE [--json]\n"
    "       replaytool trace FILE [--from N] [--to M | --all]\n"
    "       replaytool check FILE... [--jobs N] [--json] [--require-claims] [--evidence] [--unique]\n"
    "       replaytool check --against OLD.jsonl FILE... [--jobs N]\n"
    "       replaytool pack TEXT OUT\n"
    "       replaytool unpack FILE\n"
    "       replaytool view FILE [-o OUT.html] [--svg OUT.svg]\n"
    "       replaytool evidence FILE... [--json] [--reach R] [--horizon H]\n"
    "       replaytool diff A B [--json]\n"
    "       replaytool --version | -V\n"
    "A FILE or TEXT of - is standard input; an OUT of - is standard output.\n";

int dispatch(int argc, char** argv);

}  // namespace

// Every subcommand's output is checked once it is done: results that did not
// reach their reader (a full disk, a closed pipe) are a failure, never success.
int main(int argc, char** argv) {
  resetFloatingPointUnit();
  useFramePathFromEnvironment();
  prepareStandardStreams();
  // A closed pipe ends the program silently, as it ends other tools; a
  // file size limit fails the write, so that its temporary is removed.
  prepareToolSignals();
  int status;
  try {
    // The arguments as UTF-8 on every system.
    std::vector<std::string> arguments = programArguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& a : arguments) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    status = dispatch(static_cast<int>(arguments.size()), pointers.data());
  } catch (const std::bad_alloc&) {
    // Every allocation failure ends here, as one line and status 1.
    status = reportError(EXIT_FAILED, "not enough memory");
  }
  if (!flushStandardOutput()) {
    if (standardOutputClosed()) return endForClosedOutput();  // nobody is left to tell
    const std::string reason = standardOutputError();
    return reportError(EXIT_FAILED, "cannot write to standard output" + (reason.empty() ? "" : ": " + reason));
  }
  return status;
}

namespace {

struct Command {
  const char* name;
  int (*run)(const CommandLine& line);
  std::vector<KnownOption> options;
  const char* help;
};

const Command COMMANDS[] = {
    {"show", runShow, {{"--json", nullptr, nullptr}},
     "usage: replaytool show FILE [--json]\n"
     "Explains a replay's verdict: its header, where the game ended, where the end\n"
     "marker is, claimed against simulated floor and combo, and a line of timing\n"
     "evidence (replaytool evidence has the whole of it).\n"
     "  --json   the same facts as one JSON object\n"
     "Exit status: 0 explained (valid or invalid), 1 not loadable or output lost,\n"
     "2 usage error.\n"},
    {"trace", runTrace,
     {{"--from", nullptr, "a frame number"}, {"--to", nullptr, "a frame number"}, {"--all", nullptr, nullptr}},
     "usage: replaytool trace FILE [--from N] [--to M | --all]\n"
     "Prints one CSV line per simulated frame, each real as its binary64 pattern\n"
     "and as a decimal that reads back to the same value.\n"
     "  --from N   first frame shown (frames count from 1)\n"
     "  --to M     last frame simulated\n"
     "  --all      every frame of the game; without --to or --all, at most\n"
     "             1000000 frames are shown and standard error says so\n"
     "Exit status: 0 done, 1 not loadable or output lost, 2 usage error.\n"},
    {"check", runCheck,
     {{"--jobs", "-j", "a number from 1 to 1024"}, {"--json", nullptr, nullptr}, {"--require-claims", nullptr, nullptr},
      {"--evidence", nullptr, nullptr}, {"--unique", nullptr, nullptr}, {"--against", nullptr, "a file of check --json lines"}},
     "usage: replaytool check FILE... [--jobs N] [--json] [--require-claims] [--evidence] [--unique]\n"
     "       replaytool check --against OLD.jsonl FILE... [--jobs N]\n"
     "Checks many replays, one line per file in the order given: valid, invalid,\n"
     "or error and the loader's reason. A valid replay's line goes on with what\n"
     "the game reached (frames, floor, combo, combo score) and whether the\n"
     "header's floor and combo claim exactly that: claims match, or claims differ\n"
     "and how. A folder stands for its *.wlx files and its subfolders', in name\n"
     "order. Paths are escaped. A file of the same game as an earlier one (the\n"
     "same gameDigest) says so: same game as FILE.\n"
     "  -j, --jobs N       threads to use (default: every core)\n"
     "  --json             one JSON object per line, with the fields of show --json\n"
     "  --require-claims   count a valid replay whose claims differ as a failure\n"
     "  --evidence         end the line of each file that loads with its timing\n"
     "                     evidence: decisive edges, frame-perfect ones and their\n"
     "                     share, the longest run (docs/evidence.md)\n"
     "  --unique           leave out the later files of a game already shown\n"
     "  --against OLD      print only the files whose verdict, frames, floor, combo,\n"
     "                     claims or gameDigest differ from OLD's line (check --json)\n"
     "                     for the same file, old -> new, then how many\n"
     "Exit status: 0 all valid (and, with --require-claims, all claims match),\n"
     "1 any other, 2 usage error. With --against: 0 nothing changed, 1 any\n"
     "change, 2 usage error or OLD unreadable.\n"},
    {"pack", runPack, {},
     "usage: replaytool pack TEXT OUT\n"
     "Writes the text form TEXT as a replay file OUT, checksum computed.\n"
     "Exit status: 0 written, 1 bad text or unwritable OUT, 2 usage error.\n"},
    {"unpack", runUnpack, {},
     "usage: replaytool unpack FILE\n"
     "Prints a replay file in its text form.\n"
     "Exit status: 0 printed, 1 not readable or output lost, 2 usage error.\n"},
    {"view", runView, {{"--output", "-o", "a file name"}, {"--svg", nullptr, "a file name"}},
     "usage: replaytool view FILE [-o OUT.html] [--svg OUT.svg]\n"
     "Writes a self-contained page that plays the simulated game: the floors, the\n"
     "player, the keys of each frame, the verdict, and an overview of the climb.\n"
     "The page keeps at most 1000000 frames and says so when a game is longer.\n"
     "  -o, --output OUT.html  write the page to OUT.html (default or -: standard\n"
     "                output)\n"
     "  --svg OUT.svg write the overview alone as SVG (with -o, both)\n"
     "Exit status: 0 written, 1 not loadable or unwritable output, 2 usage error.\n"},
    {"evidence", runEvidence,
     {{"--json", nullptr, nullptr}, {"--reach", nullptr, "a number of frames"}, {"--horizon", nullptr, "a number of frames"}},
     "usage: replaytool evidence FILE... [--json] [--reach R] [--horizon H]\n"
     "For every press and release of the played game, the window of offsets\n"
     "(moving it up to R frames earlier or later) that give the same next landing,\n"
     "and what the file's encoding shows; facts and one labelled model figure\n"
     "(docs/evidence.md defines every number). With several files, a table ranks\n"
     "them by frame-perfect share. At most 20000 edges per file are analysed.\n"
     "  --json        one JSON object per file\n"
     "  --reach R     offsets tried each way, 0 to 64 (default 8)\n"
     "  --horizon H   frames after the edge in which the landing counts, 1 to\n"
     "                100000 (default 600)\n"
     "Exit status: 0 analysed, 1 a file not loadable or output lost, 2 usage error.\n"},
    {"diff", runDiff, {{"--json", nullptr, nullptr}},
     "usage: replaytool diff A B [--json]\n"
     "Compares two replays: the header fields that differ, and whether they are\n"
     "the same game (the same seed, rejump on or off, and the left, right and\n"
     "jump bits of every frame played, whatever the names, claims, record\n"
     "splitting or other bits). Frames count from 1, as in trace.\n"
     "  Shared frames   the frames from the first on whose input is the same in\n"
     "                  both: those before the first differing input, or every\n"
     "                  frame of the shorter game when none differs\n"
     "  Input differs   that frame, the record each file plays it in, and the\n"
     "                  two input bytes\n"
     "  State differs   with the same seed and rejump, the first frame after\n"
     "                  which the states differ, its first field that does and\n"
     "                  both values as trace prints them; the games are stepped\n"
     "                  side by side for at most 10000000 frames from the first\n"
     "                  differing input\n"
     "  Prefix          the file whose frames played are the other's first\n"
     "                  frames (a run cut from the other)\n"
     "  --json   the same facts as one JSON object\n"
     "Exit status: 0 the same game, 1 different games, 2 usage error or a file\n"
     "that does not load.\n"},
};

// Levenshtein distance, for suggesting the command meant.
std::size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

int unknownCommand(const std::string& word) {
  const Command* nearest = nullptr;
  std::size_t best = 3;  // a suggestion at most two edits away
  for (const Command& c : COMMANDS)
    if (const std::size_t d = editDistance(word, c.name); d < best) {
      best = d;
      nearest = &c;
    }
  if (nearest != nullptr)
    return reportError(EXIT_USAGE, "unknown command '" + displayText(word) + "'; did you mean '" + nearest->name + "'?");
  return reportError(EXIT_USAGE, "unknown command: " + displayText(word) + " (see replaytool --help)");
}

bool isHelp(const char* arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "help") == 0;
}

int dispatch(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(USAGE, stderr);
    return EXIT_USAGE;
  }
  const char* command = argv[1];
  // "help COMMAND" is "COMMAND --help".
  if (std::strcmp(command, "help") == 0 && argc > 2) {
    if (argc > 3) return reportError(EXIT_USAGE, "help takes one COMMAND");
    for (const Command& c : COMMANDS)
      if (std::strcmp(argv[2], c.name) == 0) {
        std::fputs(c.help, stdout);
        return 0;
      }
    return unknownCommand(argv[2]);
  }
  for (const Command& c : COMMANDS) {
    if (std::strcmp(command, c.name) != 0) continue;
    CommandLine line;
    std::string error;
    if (!parseCommandLine(c.name, c.options, argc - 2, argv + 2, line, error)) return reportError(EXIT_USAGE, error);
    if (line.help) {
      std::fputs(c.help, stdout);
      return 0;
    }
    return c.run(line);
  }
  if (isHelp(command)) {
    std::fputs(USAGE, stdout);
    std::fputs("Run 'replaytool COMMAND --help' for what each command does.\n", stdout);
    return 0;
  }
  if (std::strcmp(command, "--version") == 0 || std::strcmp(command, "-V") == 0) {
    std::printf("replaytool %s\n", runaudit_version());
    return 0;
  }
  return unknownCommand(command);
}

}  // namespace
