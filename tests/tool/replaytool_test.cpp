// End to end: the built replaytool on the samples and on text fixtures.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "evidence/evidence.h"
#include "evidence/file_facts.h"
#include "sim/game_state.h"
#include "support/replay_builder.h"
#include "support/run_program.h"

namespace {

RunResult tool(const std::string& args) { return runProgram(std::string(REPLAYTOOL_BINARY) + " " + args); }

std::string samplePath(const char* name) { return std::string(RUNAUDIT_SAMPLES) + "/" + name; }

// The samples' game digests, computed once (docs/format.md recomputes
// example.wlx's by hand) and pinned.
const std::string CLIMB_DIGEST = "8ed8aba5d96272d9e9e77476a50cf3cac9cb329faa5bbfa187f8aecfd1a5fb13";
const std::string EXAMPLE_DIGEST = "a15c690426649b677fea41dc8d7a75e77a6e6b37ff5c02f1cb27bd17acfac0b6";
const std::string SEED36_DIGEST = "4cfaaea538a8899bef5ef6c6b85104b6f7537e629ce95f0d12525c2f43d5d524";

// Packs a text fixture into a temporary replay file.
std::string packed(const char* name) {
  const std::string out = writeTempFile(name, {});
  const RunResult r = tool("pack " + shellQuote(std::string(TOOL_FIXTURES) + "/" + name + ".txt") + " " + shellQuote(out));
  EXPECT_EQ(r.status, 0) << r.err;
  return out;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ReplayTool, ShowReportsWhereTheSeed36GameEnded) {
  const RunResult r = tool(shellQuote(samplePath("seed36.wlx")).insert(0, "show "));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Verdict:        valid\n"));
  EXPECT_TRUE(contains(r.out, "Frames:         101\n"));
  EXPECT_TRUE(contains(r.out, "Game ended:     frame 101, frame 20 of record 6\n"));
  EXPECT_TRUE(contains(r.out, "End marker:     record 7 (follows the record in which the game ended)\n"));
  EXPECT_TRUE(contains(r.out, "Highest floor:  1\n"));
  EXPECT_EQ(r.err, "");

  const RunResult json = tool("show --json " + shellQuote(samplePath("seed36.wlx")));
  ASSERT_EQ(json.status, 0);
  EXPECT_TRUE(contains(json.out, "\"valid\":true,\"verdict\":\"valid\",\"error\":null,\"rejection\":null,\"why\":null,\"size\":null,"
                                 "\"checksum\":null,\"frames\":101,"
                                 "\"ended\":{\"frame\":101,\"record\":6,\"frameInRecord\":20}"))
      << json.out;
  EXPECT_TRUE(contains(json.out, "\"endMarkerRecord\":7,\"markerFollows\":true"));
}

TEST(ReplayTool, ShowExplainsInvalidReplays) {
  const std::string late = packed("marker_late");
  const RunResult r = tool("show " + late);
  EXPECT_TRUE(contains(r.out, "Verdict:        invalid\n"));
  EXPECT_TRUE(contains(r.out, "Game ended:     frame 101, frame 20 of record 6\n"));
  EXPECT_TRUE(contains(r.out, "End marker:     record 8\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Claimed:        score 120, floor 1, combo 0\n"));
  // Explained is done, invalid or not; as JSON, an invalid game is not valid.
  EXPECT_EQ(r.status, 0);
  const RunResult lj = tool("show --json " + late);
  EXPECT_EQ(lj.status, 0);
  EXPECT_TRUE(contains(lj.out, "\"valid\":false,\"verdict\":\"invalid\"")) << lj.out;

  const std::string alive = packed("still_alive");
  const RunResult a = tool("show " + alive);
  EXPECT_TRUE(contains(a.out, "Name:           alive\\tand \"well\"\n")) << "control bytes escaped: " << a.out;
  EXPECT_TRUE(contains(a.out, "Date:           \\xE9t\\xE9\n"));
  EXPECT_TRUE(contains(a.out, "Game ended:     no; the player was still alive at the end marker\n"));
  EXPECT_TRUE(contains(a.out, "End marker:     record 3\n")) << "no game ended, so the marker follows nothing";
  ReplayFixture unmarked;
  unmarked.records = {{30, INPUT_RIGHT}};
  const std::string open = writeTempFile("unmarked", buildReplayBytes(unmarked));
  const RunResult u = tool("show " + open);
  EXPECT_TRUE(contains(u.out, "Game ended:     no; the player was still alive at the end of the records\n")) << u.out;
  EXPECT_TRUE(contains(u.out, "End marker:     none\n"));
  EXPECT_TRUE(contains(tool("show --json " + open).out, "\"aliveAt\":\"records exhausted\""));
  ::unlink(open.c_str());
  EXPECT_TRUE(contains(a.out, "Frames:         532\n"));
  const RunResult aj = tool("show --json " + alive);
  EXPECT_TRUE(contains(aj.out, "\"name\":\"alive\\u0009and \\\"well\\\"\"")) << aj.out;
  EXPECT_TRUE(contains(aj.out, "\"ended\":null,\"aliveAt\":\"end marker\""));
  ::unlink(late.c_str());
  ::unlink(alive.c_str());
}

TEST(ReplayTool, TraceHasOneLinePerFrame) {
  const RunResult r = tool("trace " + shellQuote(samplePath("seed36.wlx")));
  ASSERT_EQ(r.status, 0);
  const std::vector<std::string> all = lines(r.out);
  ASSERT_EQ(all.size(), 102u) << "a header row and 101 frames";
  EXPECT_EQ(all[0].rfind("frame,record,input,x_bits,x,", 0), 0u);
  EXPECT_EQ(all[1].rfind("1,1,0x02,", 0), 0u);
  EXPECT_EQ(all[101].rfind("101,6,0x01,", 0), 0u);

  const RunResult window = tool("trace " + shellQuote(samplePath("seed36.wlx")) + " --from 10 --to 12");
  const std::vector<std::string> some = lines(window.out);
  EXPECT_EQ(window.err, "") << "a trace that stops where --to says says nothing more";
  ASSERT_EQ(some.size(), 4u);
  EXPECT_EQ(some[1].rfind("10,1,0x02,", 0), 0u);
  EXPECT_EQ(some[3].rfind("12,2,0x12,", 0), 0u);
}

TEST(ReplayTool, TraceRealsAreExactBitPatterns) {
  ReplayFixture run;
  run.records = {{29, 0x02}, {0, 0x80}};
  const std::string path = writeTempFile("trace_run", buildReplayBytes(run));
  const std::vector<std::string> all = lines(tool("trace " + path + " --from 30").out);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].rfind("30,1,0x02,0x4075387AE147AE14,339.52999999999997,", 0), 0u) << all[1];
  ::unlink(path.c_str());
}

TEST(ReplayTool, CheckGivesRunauditsVerdictsInOrder) {
  const std::string late = packed("marker_late");
  const std::string alive = packed("still_alive");
  const std::string files = shellQuote(samplePath("seed36.wlx")) + " " + late + " /nonexistent.wlx " + alive + " " +
                            shellQuote(samplePath("example.wlx"));
  for (const char* jobs : {"--jobs 1", "--jobs 3", ""}) {
    const RunResult r = tool("check " + files + " " + jobs);
    EXPECT_EQ(r.out, samplePath("seed36.wlx") + "\tvalid\tframes 101\tfloor 1\tcombo 0\tcombo score 0\tclaims match\n" +
                         late + "\tinvalid\tsame game as " + samplePath("seed36.wlx") + "\n" +
                         "/nonexistent.wlx\terror\tCould not open file: No such file or directory\n" + alive + "\tinvalid\n" +
                         samplePath("example.wlx") + "\tinvalid\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "") << "no progress line unless standard error is a terminal";
  }
  EXPECT_EQ(tool("check " + shellQuote(samplePath("seed36.wlx"))).status, 0);
  // The status covers every file, not the last one checked.
  EXPECT_EQ(tool("check --jobs 1 " + late + " " + shellQuote(samplePath("seed36.wlx"))).status, 1);
  ::unlink(late.c_str());
  ::unlink(alive.c_str());
}

// A fresh, empty folder for a test.
std::string tempFolder(const char* stem) {
  const std::string dir = writeTempFile(stem, {});
  ::unlink(dir.c_str());
  EXPECT_EQ(::mkdir(dir.c_str(), 0700), 0);
  return dir;
}

const char* const CLIMB_VALID = "\tvalid\tframes 2515\tfloor 93\tcombo 0\tcombo score 0\tclaims match\n";
const char* const SEED36_VALID = "\tvalid\tframes 101\tfloor 1\tcombo 0\tcombo score 0\tclaims match\n";
// A later copy of a game: its line names the first.
std::string sameGame(const char* line, const std::string& first) {
  const std::string text = line;
  return text.substr(0, text.size() - 1) + "\tsame game as " + first + "\n";
}

// A folder operand is its *.wlx files (any case), its subfolders' too, in
// name order, a subfolder's where its name falls; nothing else, and never
// twice through a link that loops. One that holds no replay is an error.
TEST(ReplayTool, CheckWalksFoldersInNameOrder) {
  namespace fs = std::filesystem;
  const std::string dir = tempFolder("walk_dir");
  fs::create_directories(dir + "/sub/deeper");
  fs::create_directories(dir + "/nothing/here");
  fs::copy_file(samplePath("climb.wlx"), dir + "/b.wlx");
  fs::copy_file(samplePath("seed36.wlx"), dir + "/A.WLX");
  fs::copy_file(samplePath("example.wlx"), dir + "/sub/c.wlx");
  fs::copy_file(samplePath("climb.wlx"), dir + "/sub/deeper/d.wlx");
  fs::copy_file(samplePath("climb.wlx"), dir + "/b.wlx.bak");
  fs::copy_file(samplePath("climb.wlx"), dir + "/sub/notes.txt");
  fs::create_directory_symlink("..", dir + "/sub/loop");
  fs::create_symlink("../b.wlx", dir + "/sub/link.wlx");
  const std::string walked = dir + "/A.WLX" + SEED36_VALID + dir + "/b.wlx" + CLIMB_VALID + dir + "/sub/c.wlx\tinvalid\n" +
                             dir + "/sub/deeper/d.wlx" + sameGame(CLIMB_VALID, dir + "/b.wlx") + dir + "/sub/link.wlx" +
                             sameGame(CLIMB_VALID, dir + "/b.wlx");
  for (const char* slash : {"", "/"}) {
    const RunResult r = tool("check --jobs 2 " + shellQuote(dir + slash));
    EXPECT_EQ(r.out, walked) << "folder given as " << dir + slash;
    EXPECT_EQ(r.status, 1) << "c.wlx is invalid";
  }
  // Files and folders together keep the order given; a file is itself
  // whatever its name.
  const RunResult mixed = tool("check " + shellQuote(dir + "/b.wlx.bak") + " " + shellQuote(dir + "/sub/deeper") + " " +
                               shellQuote(samplePath("seed36.wlx")));
  EXPECT_EQ(mixed.out, dir + "/b.wlx.bak" + CLIMB_VALID + dir + "/sub/deeper/d.wlx" +
                           sameGame(CLIMB_VALID, dir + "/b.wlx.bak") + samplePath("seed36.wlx") + SEED36_VALID);
  EXPECT_EQ(mixed.status, 0);
  // A folder with no replay in it checked nothing: that is no success.
  const RunResult empty = tool("check " + shellQuote(dir + "/nothing"));
  EXPECT_EQ(empty.out, dir + "/nothing\terror\tNo .wlx files in folder\n");
  EXPECT_EQ(empty.status, 1);
  EXPECT_TRUE(contains(tool("check --json " + shellQuote(dir + "/nothing")).out,
                       "{\"file\":\"" + dir + "/nothing\",\"checker\":\"runaudit 2.0.0\",\"verdict\":\"error\",\"error\":\"No .wlx files in folder\",\"rejection\":null,\"why\":null,\"size\":null,\"checksum\":null,\"frames\":null"));
  fs::remove_all(dir);
}

// A folder that cannot be read is a line of its own, with the system's
// reason; the rest of the walk goes on.
TEST(ReplayTool, CheckReportsAFolderItCannotRead) {
  const std::string dir = tempFolder("walk_locked");
  std::filesystem::create_directory(dir + "/locked");
  std::filesystem::copy_file(samplePath("seed36.wlx"), dir + "/locked/a.wlx");
  std::filesystem::copy_file(samplePath("seed36.wlx"), dir + "/z.wlx");
  ASSERT_EQ(::chmod((dir + "/locked").c_str(), 0), 0);
  if (::access((dir + "/locked").c_str(), R_OK) == 0) {
    ::chmod((dir + "/locked").c_str(), 0700);
    std::filesystem::remove_all(dir);
    GTEST_SKIP() << "running as root, every folder is readable";
  }
  const RunResult r = tool("check " + shellQuote(dir));
  EXPECT_EQ(r.out, dir + "/locked\terror\tCould not open folder: Permission denied\n" + dir + "/z.wlx" + SEED36_VALID);
  EXPECT_EQ(r.status, 1);
  ::chmod((dir + "/locked").c_str(), 0700);
  std::filesystem::remove_all(dir);
}

// Backslashes and quotes in a path are printed as they were given, in
// every place a path is shown; only control bytes are escaped.
TEST(ReplayTool, PathsAreShownAsGiven) {
  const std::string dir = tempFolder("shown_dir");
  const std::string odd = dir + "/a\\b \"c\".wlx";
  std::filesystem::copy_file(samplePath("seed36.wlx"), odd);
  EXPECT_EQ(tool("check " + shellQuote(odd)).out, odd + SEED36_VALID);
  EXPECT_EQ(tool("check " + shellQuote(dir)).out, odd + SEED36_VALID);
  EXPECT_TRUE(contains(tool("show " + shellQuote(odd)).out, "File:           " + odd + "\n"));
  EXPECT_EQ(tool("unpack " + shellQuote(dir + "/x\\y.wlx")).err, "replaytool: " + dir + "/x\\y.wlx: No such file or directory\n");
  // The text form still escapes them, so that it reads back.
  const std::string text = writeTempFile("shown_text", {});
  std::FILE* f = std::fopen(text.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("name \"a\\\\b\\\"\"\ndate \"\"\nscore 0\nfloor 0\ncombo 0\nrejump 0\nseed 1\nrecords\n0 0x80\n", f);
  std::fclose(f);
  const std::string out = dir + "/round.wlx";
  ASSERT_EQ(tool("pack " + shellQuote(text) + " " + shellQuote(out)).status, 0);
  EXPECT_TRUE(contains(tool("unpack " + shellQuote(out)).out, "name \"a\\\\b\\\"\"\n"));
  ::unlink(text.c_str());
  std::filesystem::remove_all(dir);
}

// A genuine replay whose header claims floor 900, checksum recomputed: the
// verdict stays valid (it ignores the claims), every output says the claims
// differ, and --require-claims fails it.
TEST(ReplayTool, ForgedClaimsAreReportedAndCanBeRequired) {
  const std::string climb = shellQuote(samplePath("climb.wlx"));
  std::string text = tool("unpack " + climb).out;
  text.replace(text.find("\nfloor 93\n"), 10, "\nfloor 900\n");
  const std::string source = writeTempFile("forged_txt", {text.begin(), text.end()});
  const std::string forged = writeTempFile("forged", {});
  ASSERT_EQ(tool("pack " + source + " " + forged).status, 0);
  const std::string late = packed("marker_late");

  const RunResult plain = tool("check " + forged + " " + climb);
  EXPECT_EQ(plain.out, forged + "\tvalid\tframes 2515\tfloor 93\tcombo 0\tcombo score 0\tclaims differ\tfloor 900 claimed, 93 reached\n" +
                           samplePath("climb.wlx") + "\tvalid\tframes 2515\tfloor 93\tcombo 0\tcombo score 0\tclaims match"
                           "\tsame game as " + forged + "\n");
  EXPECT_EQ(plain.status, 0);
  const RunResult required = tool("check --require-claims " + forged + " " + climb);
  EXPECT_EQ(required.out, plain.out);
  EXPECT_EQ(required.status, 1);
  EXPECT_EQ(tool("check --require-claims " + climb).status, 0);
  EXPECT_EQ(tool("check --require-claims " + late).status, 1);
  const RunResult json = tool("check --json --require-claims " + forged);
  EXPECT_TRUE(contains(json.out, "\"highestFloor\":93,\"bestCombo\":0,\"comboScore\":0,\"speedLevel\":1,"
                                 "\"claimed\":{\"score\":0,\"floor\":900,\"combo\":0},\"claims\":\"differ\",\"gameDigest\":\"" + CLIMB_DIGEST + "\"}\n"))
      << json.out;
  EXPECT_EQ(json.status, 1);

  const RunResult shown = tool("show " + forged);
  EXPECT_TRUE(contains(shown.out, "\nClaims:         differ (floor 900 claimed, 93 reached)\n")) << shown.out;
  EXPECT_EQ(shown.status, 0);
  EXPECT_TRUE(contains(tool("show " + climb).out, "\nClaims:         match (floor and combo; the score is not checked)\n"));
  for (const std::string& path : {source, forged, late}) ::unlink(path.c_str());
}

TEST(ReplayTool, PackAndUnpackRoundTrip) {
  const RunResult r = tool("unpack " + shellQuote(samplePath("example.wlx")));
  ASSERT_EQ(r.status, 0);
  const std::string text = writeTempFile("unpacked", std::vector<std::uint8_t>(r.out.begin(), r.out.end()));
  const std::string out = writeTempFile("repacked", {});
  ASSERT_EQ(tool("pack " + text + " " + out).status, 0);
  EXPECT_EQ(slurp(out), slurp(samplePath("example.wlx")));
  ::unlink(text.c_str());
  // Bytes past the records of a file on disk are counted, not shown.
  const std::string longer = slurp(samplePath("example.wlx")) + std::string(7, '\xAB');
  const std::string tailed = writeTempFile("tailed", std::vector<std::uint8_t>(longer.begin(), longer.end()));
  const RunResult t = tool("unpack " + tailed);
  EXPECT_EQ(t.out, r.out + "# 7 bytes after the records are not shown\n");
  ::unlink(tailed.c_str());

  const std::string bad = writeTempFile("bad_text", {'n', 'a', 'm', 'e', ' ', '1', '\n'});
  const RunResult broken = tool("pack " + bad + " " + out);
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.err, "replaytool: " + bad + ": line 1: expected a quoted text\n");
  ::unlink(bad.c_str());
  ::unlink(out.c_str());
}

TEST(ReplayTool, BadArgumentsAndFiles) {
  struct Case {
    std::string args;
    int status;
    const char* error;
  };
  const Case cases[] = {
      {"", 2, "usage: replaytool show FILE [--json]\n"},
      {"frobnicate", 2, "replaytool: unknown command: frobnicate (see replaytool --help)\n"},
      {"show", 2, "replaytool: show needs FILE\n"},
      {"show a b", 2, "replaytool: show takes one FILE (extra argument b)\n"},
      {"show --xml a", 2, "replaytool: show: unknown option --xml\n"},
      {"show /dev/null", 1, "replaytool: /dev/null: File is not a valid replay\n"},
      {"trace a --from", 2, "replaytool: trace: --from needs a frame number\n"},
      {"trace a --to -3", 2, "replaytool: trace: --to needs a frame number\n"},
      {"check", 2, "replaytool: check needs at least one FILE\n"},
      {"check a --jobs 0", 2, "replaytool: check: --jobs needs a number from 1 to 1024\n"},
      {"check a --jobs 1025", 2, "replaytool: check: --jobs needs a number from 1 to 1024\n"},
      {"check a --jobs 4x", 2, "replaytool: check: --jobs needs a number from 1 to 1024\n"},
      {"pack only-one", 2, "replaytool: pack needs TEXT and OUT\n"},
      {"unpack /nonexistent", 1, "replaytool: /nonexistent: No such file or directory\n"},
      {"unpack /dev/null", 1, "replaytool: /dev/null: shorter than a replay header (98 bytes)\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = tool(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_EQ(r.err.substr(0, std::string(c.error).size()), c.error) << c.args;
    if (!c.args.empty()) {
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.args << ": one line";
    }
  }
}

}  // namespace

namespace {

TEST(ReplayTool, LostOutputIsAFailureAndEndsTheWork) {
  const std::string seed36 = shellQuote(samplePath("seed36.wlx"));
  for (const std::string& args : {"check " + seed36, "show " + seed36, "show --json " + seed36, "unpack " + seed36,
                                 "trace " + seed36}) {
    const RunResult r = runProgram("{ " + std::string(REPLAYTOOL_BINARY) + " " + args + " > /dev/full; }");
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, "replaytool: cannot write to standard output: No space left on device\n") << args;
  }
  // A trace whose reader leaves stops at once instead of simulating billions
  // of frames (this record lasts 2^31 frames), silently, killed by SIGPIPE
  // as other tools are.
  const std::string status = writeTempFile("trace_status", {});
  const RunResult r = runProgram("{ " + std::string(REPLAYTOOL_BINARY) + " trace " +
                                 shellQuote(std::string(RUNAUDIT_BENCH_WORST) + "/rearmed-decay.wlx") + "; echo $? > " +
                                 status + "; } | head -c 1 >/dev/null");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(slurp(status), "141\n");
  ::unlink(status.c_str());
}

TEST(ReplayTool, PathsCannotForgeResultLines) {
  const std::string dir = writeTempFile("forge_dir", {});
  ::unlink(dir.c_str());
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  const std::string forged = dir + "/alice.wlx\tvalid\nbob.wlx";
  const std::string bytes = slurp(samplePath("example.wlx"));
  std::FILE* f = std::fopen(forged.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  const RunResult r = tool("check " + shellQuote(forged));
  EXPECT_EQ(r.out, dir + "/alice.wlx\\tvalid\\nbob.wlx\tinvalid\n");
  EXPECT_EQ(r.status, 1);
  const RunResult show = tool("show " + shellQuote(forged));
  EXPECT_TRUE(contains(show.out, "File:           " + dir + "/alice.wlx\\tvalid\\nbob.wlx\n")) << show.out;
  // Errors about a file have one wording in every command: "PATH: reason",
  // the path escaped.
  const std::string missing = dir + "/gone\x1B[2J.wlx";
  const std::string shown = dir + "/gone\\x1B[2J.wlx";
  for (const char* command : {"show", "trace", "unpack"})
    EXPECT_EQ(tool(std::string(command) + " " + shellQuote(missing)).err.substr(0, 12 + shown.size() + 2),
              "replaytool: " + shown + ": ")
        << command;
  EXPECT_EQ(tool("pack " + shellQuote(missing) + " " + shellQuote(dir + "/out")).err,
            "replaytool: " + shown + ": No such file or directory\n");
  ::unlink(forged.c_str());
  ::rmdir(dir.c_str());
}

}  // namespace

namespace {

TEST(ReplayTool, PackAndUnpackNeverWaitOnAFifoAndReadPipesWhole) {
  const std::string fifo = writeTempFile("tool_fifo", {});
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string out = writeTempFile("tool_fifo_out", {});
  const RunResult unpacked = tool("unpack " + shellQuote(samplePath("seed36.wlx")));
  ASSERT_EQ(unpacked.status, 0);
  const std::string text = writeTempFile("tool_fifo_text", {unpacked.out.begin(), unpacked.out.end()});
  for (const std::string& args : {"unpack " + shellQuote(fifo), "pack " + shellQuote(fifo) + " " + shellQuote(out),
                                  "pack " + shellQuote(text) + " " + shellQuote(fifo)}) {
    const RunResult r = runProgram("timeout 20 " + std::string(REPLAYTOOL_BINARY) + " " + args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(lines(r.err).size(), 1u) << args << ": " << r.err;
  }
  // A text form through a pipe packs to the very bytes it came from.
  const RunResult piped = runProgram("{ cat " + shellQuote(text) + " | " + REPLAYTOOL_BINARY + " pack /dev/stdin " +
                                     shellQuote(out) + "; }");
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(slurp(out), slurp(samplePath("seed36.wlx")));
  for (const std::string& path : {fifo, out, text}) ::unlink(path.c_str());
}

}  // namespace

namespace {

TEST(ReplayTool, CheckRunsOnTheThreadsItCanGet) {
#ifdef RUNAUDIT_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#else
  if (std::string(REPLAYTOOL_BINARY).find(' ') != std::string::npos)
    GTEST_SKIP() << "an emulator does not start under the address-space limit";
  // 64 thread stacks do not fit in 300 MB of address space.
  std::string files;
  for (int i = 0; i < 64; ++i) files.append(" ").append(shellQuote(samplePath(i % 2 ? "seed36.wlx" : "climb.wlx")));
  const RunResult r = runProgram("ulimit -v 300000; " + std::string(REPLAYTOOL_BINARY) + " check --jobs 64" + files);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines(r.out).size(), 64u);
  EXPECT_EQ(r.err, "");
#endif
}

}  // namespace

namespace {

TEST(ReplayTool, HelpAndVersion) {
  for (const char* args : {"--help", "-h", "help"}) {
    const RunResult r = tool(args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_TRUE(contains(r.out, "replaytool check FILE... [--jobs N] [--json] [--require-claims] [--evidence] [--unique]\n")) << args;
  }
  for (const char* command : {"show", "trace", "check", "pack", "unpack"}) {
    const RunResult r = tool(std::string(command) + " --help");
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_TRUE(contains(r.out, std::string("usage: replaytool ") + command)) << r.out;
    EXPECT_TRUE(contains(r.out, "Exit status:")) << r.out;
  }
  const RunResult version = tool("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("replaytool ", 0), 0u) << version.out;
  // After "--" a name that looks like an option is a file.
  EXPECT_TRUE(contains(tool("check -- --help").out, "--help\terror\tCould not open file: No such file or directory\n"));
}

}  // namespace

namespace {

TEST(ReplayTool, TraceSaysWhenItsWindowIsEmpty) {
  const std::string seed36 = shellQuote(samplePath("seed36.wlx"));
  const RunResult reversed = tool("trace " + seed36 + " --from 5 --to 3");
  EXPECT_EQ(reversed.status, 2);
  EXPECT_EQ(reversed.err, "replaytool: trace: --from 5 is after --to 3\n");
  const RunResult past = tool("trace " + seed36 + " --from 102");
  EXPECT_EQ(past.status, 1);
  EXPECT_EQ(past.err, "replaytool: trace: --from 102 is past the end: the replay has 101 frames\n");
  const RunResult last = tool("trace " + seed36 + " --from 101");
  EXPECT_EQ(last.status, 0);
  EXPECT_EQ(lines(last.out).size(), 2u);
  const RunResult one = tool("trace " + seed36 + " --from 7 --to 7");
  EXPECT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(lines(one.out).size(), 2u);
  EXPECT_EQ(lines(one.out)[1].rfind("7,1,0x02,", 0), 0u);
}

}  // namespace

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// JSON for scripts: UTF-8 names stay text, other bytes stay recoverable, and
// check --json gives one object per file in order.
TEST(ReplayTool, JsonKeepsUtf8AndRecoversEveryByte) {
  std::string bytes = slurp(samplePath("climb.wlx"));
  const std::string utf8 = writeTempFile("caf\xC3\xA9", bytesOf(bytes));
  const std::string latin1 = writeTempFile("caf\xE9", bytesOf(bytes));
  const std::string controls = writeTempFile("del\x7F\xED\xA0\x80", bytesOf(bytes));  // DEL, a surrogate
  const std::string missing = utf8 + ".missing";

  const RunResult r = tool("check --json " + shellQuote(utf8) + " " + shellQuote(latin1) + " " + shellQuote(missing) +
                           " " + shellQuote(controls));
  const std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 4u) << r.out;
  EXPECT_TRUE(contains(out[3], "del\\u007F\\uFFFD\\uFFFD\\uFFFD_")) << out[3];
  // climb's facts, once: each line carries them after its file.
  const std::string facts =
      "\"checker\":\"runaudit 2.0.0\",\"verdict\":\"valid\",\"error\":null,\"rejection\":null,\"why\":null,\"size\":null,\"checksum\":null,"
      "\"frames\":2515,\"ended\":{\"frame\":2515,\"record\":174,\"frameInRecord\":9},"
      "\"aliveAt\":null,\"endMarkerRecord\":175,\"markerFollows\":true,\"highestFloor\":93,\"bestCombo\":0,\"comboScore\":0,"
      "\"speedLevel\":1,\"claimed\":{\"score\":0,\"floor\":93,\"combo\":0},\"claims\":\"match\",\"gameDigest\":\"" + CLIMB_DIGEST + "\"}";
  const std::string noGame =
      "\"frames\":null,\"ended\":null,\"aliveAt\":null,\"endMarkerRecord\":null,\"markerFollows\":null,"
      "\"highestFloor\":null,\"bestCombo\":null,\"comboScore\":null,\"speedLevel\":null,\"claimed\":null,\"claims\":null,"
      "\"gameDigest\":null}";
  EXPECT_EQ(out[0], "{\"file\":\"" + utf8 + "\"," + facts);
  std::string hex;
  for (unsigned char c : latin1) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", c);
    hex += two;
  }
  std::string shown = latin1;
  shown.replace(shown.find('\xE9'), 1, "\\uFFFD");
  EXPECT_EQ(out[1], "{\"file\":\"" + shown + "\",\"fileHex\":\"" + hex + "\"," + facts.substr(0, facts.size() - 1) +
                        ",\"sameGameAs\":\"" + utf8 + "\"}");
  EXPECT_EQ(out[2], "{\"file\":\"" + missing + "\",\"checker\":\"runaudit 2.0.0\",\"verdict\":\"error\",\"error\":\"Could not open file\",\"rejection\":\"open-failed\","
                    "\"why\":\"there is no such file, or it may not be opened\",\"size\":null,\"checksum\":null," + noGame);
  EXPECT_EQ(r.status, 1);

  // The header's text fields: a UTF-8 date as text, a Latin-1 one replaced,
  // both exact in hex.
  const std::string alive = packed("still_alive");
  const RunResult show = tool("show --json " + alive);
  EXPECT_TRUE(contains(show.out, "\"date\":\"\\uFFFDt\\uFFFD\"")) << show.out;
  EXPECT_TRUE(contains(show.out, "\"dateHex\":\"e974e9\"")) << show.out;
  const RunResult named = tool("show --json " + shellQuote(utf8));
  EXPECT_TRUE(contains(named.out, "{\"file\":\"" + utf8 + "\",\"checker\":\"runaudit 2.0.0\",\"header\"")) << named.out;
  ::unlink(utf8.c_str());
  ::unlink(latin1.c_str());
  ::unlink(controls.c_str());
  ::unlink(alive.c_str());
}

// Keys of a flat JSON object, in order (nested objects skipped whole).
std::vector<std::string> topLevelKeys(const std::string& json) {
  std::vector<std::string> keys;
  int depth = 0;
  bool inString = false;
  std::string current;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (c == '\\') current += json[i++];
      else if (c == '"') inString = false;
      else current += c;
      continue;
    }
    if (c == '"') {
      inString = true;
      current.clear();
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      --depth;
    } else if (c == ':' && depth == 1) {
      keys.push_back(current);
    }
  }
  return keys;
}

// show and check say which of the loader's checks a rejected file fails,
// in the same words, and show --json gives a rejected file the shape of
// any other result.
TEST(ReplayTool, RejectedFilesSayWhy) {
  const std::string good = slurp(samplePath("climb.wlx"));
  std::string flipped = good;
  flipped[200] = static_cast<char>(flipped[200] ^ 1);
  std::string wrongSignature = good;
  wrongSignature[0] = 'X';
  std::string negative = good;
  negative[9] = '\x80';  // the count's top byte
  struct Case {
    std::string bytes;
    const char* message;
    const char* why;
    const char* rejection;
    const char* details;  // "size":...,"checksum":...
  } cases[] = {
      {good.substr(0, 50), "File is not a valid replay", "too short: its size is 50 bytes, less than the 98 of a header",
       "too-short", "\"size\":{\"needed\":98,\"present\":50},\"checksum\":null"},
      {wrongSignature, "File is not a valid replay", "it does not begin with the signature WLX130", "bad-signature",
       "\"size\":null,\"checksum\":null"},
      {negative, "File is not a valid replay", "the header announces a negative number of records", "negative-count",
       "\"size\":null,\"checksum\":null"},
      {good.substr(0, 120), "File is not a valid replay",
       "cut short: the header announces 175 records (875 bytes) but 22 bytes follow", "records-past-end",
       "\"size\":{\"needed\":973,\"present\":120},\"checksum\":null"},
      {good.substr(0, 99), "File is not a valid replay",
       "cut short: the header announces 175 records (875 bytes) but 1 byte follows", "records-past-end",
       "\"size\":{\"needed\":973,\"present\":99},\"checksum\":null"},
      {flipped, "File is not a valid replay",
       "the checksum is 0x0320E8EB but the bytes give 0x035CE8EB: the file was changed after it was recorded", "bad-checksum",
       "\"size\":null,\"checksum\":{\"stored\":52488427,\"computed\":56420587}"},
  };
  const std::vector<std::string> loadedKeys = topLevelKeys(lines(tool("show --json " + samplePath("climb.wlx")).out).at(0));
  for (const Case& c : cases) {
    const std::string path = writeTempFile("rejected", bytesOf(c.bytes));
    const RunResult r = tool("show " + path);
    EXPECT_EQ(r.out, "File:           " + path + "\nVerdict:        error\nError:          " + c.message +
                         "\nRejected:       " + c.why + "\n");
    EXPECT_EQ(r.err, "replaytool: " + path + ": " + c.message + "\n");
    EXPECT_EQ(r.status, 1);

    const RunResult checked = tool("check " + path);
    EXPECT_EQ(checked.out, path + "\terror\t" + c.message + ": " + c.why + "\n");
    EXPECT_EQ(checked.status, 1);

    // check --json's fields are show --json's, with the same values; show
    // adds what it adds for any file (null here): same keys as a loaded file's.
    const std::string line = tool("check --json " + path).out;
    const std::string facts = std::string("\"verdict\":\"error\",\"error\":\"") + c.message + "\",\"rejection\":\"" +
                              c.rejection + "\",\"why\":\"" + c.why + "\"," + c.details + ",\"frames\":null,";
    EXPECT_TRUE(contains(line, facts)) << line;
    const std::string shown = tool("show --json " + path).out;
    const std::string fields = line.substr(line.find(",\"verdict\":") + 1, line.size() - 3 - line.find(",\"verdict\":"));
    EXPECT_EQ(shown, "{\"file\":\"" + path + "\",\"checker\":\"runaudit 2.0.0\",\"header\":null,\"valid\":false," + fields +
                         ",\"simulated\":null,\"evidence\":null}\n");
    EXPECT_EQ(topLevelKeys(shown), loadedKeys) << shown;
    ::unlink(path.c_str());
  }
}

// "--opt=value" is "--opt value" in every command; after "--" nothing is an option.
TEST(ReplayTool, OptionsTakeTheirValueAfterAnEqualsSign) {
  const std::string climb = samplePath("climb.wlx");
  const RunResult spaced = tool("trace --from 3 --to 4 " + climb);
  const RunResult joined = tool("trace --from=3 --to=4 " + climb);
  EXPECT_EQ(spaced.status, 0);
  EXPECT_EQ(lines(joined.out).size(), 3u) << joined.out;
  EXPECT_EQ(joined.out, spaced.out);
  EXPECT_EQ(tool("check --jobs=1 " + climb).out, climb + "\tvalid\tframes 2515\tfloor 93\tcombo 0\tcombo score 0\tclaims match\n");
  const RunResult bad = tool("check --jobs=0 " + climb);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(tool("check -- --jobs=1").out, "--jobs=1\terror\tCould not open file: No such file or directory\n");
}

// The page's content is checked in a browser (tests/viewer); here: its
// limits, and the command's errors.
TEST(ReplayTool, ViewKeepsAMillionFramesOfAGameThatNeverEnds) {
  ReplayFixture endless;
  endless.rejump = 1;
  endless.records = {{300, INPUT_RIGHT | INPUT_JUMP}, {2147483646, INPUT_LEFT | INPUT_JUMP}, {0, END_MARKER}};
  const std::string replay = writeTempFile("endless", buildReplayBytes(endless));
  const std::string page = replay + ".html", svg = replay + ".svg";
  ASSERT_EQ(tool("view " + replay + " -o " + page + " --svg " + svg).status, 0);
  const std::string html = slurp(page);
  EXPECT_LT(html.size(), 10u << 20);
  EXPECT_TRUE(contains(html, "\"frames\":1000000,\"limit\":1000000,\"cut\":true,\"totalFrames\":2147483948")) << html.substr(0, 300);
  for (const char* link : {"src=", "href=", "url(", "@import"})
    EXPECT_EQ(html.find(link), std::string::npos) << "nothing to fetch: " << link;
  EXPECT_EQ(slurp(svg).rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_EQ(tool("view " + replay).out.size(), html.size()) << "the page on standard output";

  EXPECT_EQ(tool("view").status, 2);
  EXPECT_EQ(tool("view " + replay + " -o").status, 2);
  EXPECT_EQ(tool("view " + replay + " --bogus").status, 2);
  const RunResult unwritable = tool("view " + replay + " -o /nonexistent/dir/page.html");
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_EQ(unwritable.err, "replaytool: /nonexistent/dir/page.html: No such file or directory\n");
  EXPECT_EQ(tool("view /nonexistent.wlx").err, "replaytool: /nonexistent.wlx: No such file or directory\n");
  for (const std::string& f : {replay, page, svg}) ::unlink(f.c_str());
}

}  // namespace

namespace {

// A JSON string's value, from its opening quote at text[at]; `at` ends past
// the closing quote. Strict: fails (returns false) on a raw control
// character, an unknown escape or a lone surrogate.
bool parseJsonString(const std::string& text, std::size_t& at, std::string& out) {
  const auto put = [&out](std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 63));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 63));
      out += static_cast<char>(0x80 | (cp & 63));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | (cp >> 12 & 63));
      out += static_cast<char>(0x80 | (cp >> 6 & 63));
      out += static_cast<char>(0x80 | (cp & 63));
    }
  };
  const auto hex4 = [&text](std::size_t from, std::uint32_t& v) {
    if (from + 4 > text.size()) return false;
    v = static_cast<std::uint32_t>(std::stoul(text.substr(from, 4), nullptr, 16));
    return std::isxdigit(static_cast<unsigned char>(text[from + 3])) != 0;
  };
  if (text[at] != '"') return false;
  for (++at; at < text.size(); ++at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c == '"') {
      ++at;
      return true;
    }
    if (c < 0x20) return false;
    if (c != '\\') {
      out += static_cast<char>(c);
      continue;
    }
    if (++at >= text.size()) return false;
    const char* simple = "\"\\/bfnrt";
    const char* meant = "\"\\/\b\f\n\r\t";
    if (const char* k = std::strchr(simple, text[at]); k != nullptr && *k != '\0') {
      out += meant[k - simple];
      continue;
    }
    std::uint32_t cp = 0;
    if (text[at] != 'u' || !hex4(at + 1, cp)) return false;
    at += 4;
    if (cp >= 0xD800 && cp < 0xDC00) {
      std::uint32_t low = 0;
      if (text.compare(at + 1, 2, "\\u") != 0 || !hex4(at + 3, low) || low < 0xDC00 || low > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      at += 6;
    } else if (cp >= 0xDC00 && cp < 0xE000) {
      return false;
    }
    put(cp);
  }
  return false;
}

// Strict UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF), written from the code points' ranges.
bool strictUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (int k = 1; k < n; ++k) {
      const auto d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = cp << 6 | (d & 63);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return false;
    i += static_cast<std::size_t>(n);
  }
  return true;
}

std::string fromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// Every byte value, in a file name, through check --json and back: the
// output is strict UTF-8 and strict JSON; a name that is UTF-8 reads back
// as itself, any other has its exact bytes in the hex field.
TEST(ReplayTool, JsonStringsReadBackAsTheirBytes) {
  const std::string dir = writeTempFile("json-bytes", {});
  ::unlink(dir.c_str());
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  std::vector<std::string> paths;
  std::string args;
  for (int b = 1; b < 256; ++b) {
    if (b == '/') continue;
    // The byte alone, as a lead of two, three and four bytes, and after a
    // lead byte, each piece closed by an ASCII letter.
    const char c = static_cast<char>(b);
    const std::string name = std::string("a") + c + "z" + c + "\x81z" + c + "\xA0\x80z" + c + "\x90\x80\x80z\xC3" + c + "z";
    paths.push_back(dir + "/" + name);
    std::FILE* f = std::fopen(paths.back().c_str(), "wb");
    ASSERT_NE(f, nullptr) << b;
    std::fclose(f);
    args.append(" ").append(shellQuote(paths.back()));
  }
  const RunResult r = tool("check --json" + args);
  EXPECT_TRUE(strictUtf8(r.out));
  const std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), paths.size());
  for (std::size_t k = 0; k < paths.size(); ++k) {
    const std::string& line = out[k];
    std::size_t at = std::strlen("{\"file\":");
    std::string file, hex;
    ASSERT_EQ(line.rfind("{\"file\":", 0), 0u) << line;
    ASSERT_TRUE(parseJsonString(line, at, file)) << line;
    if (line.compare(at, 10, ",\"fileHex\"") == 0) {
      at += 11;
      ASSERT_TRUE(parseJsonString(line, at, hex)) << line;
    }
    EXPECT_EQ(line.substr(at), ",\"checker\":\"runaudit 2.0.0\",\"verdict\":\"error\",\"error\":\"File is not a valid replay\",\"rejection\":\"too-short\","
                               "\"why\":\"too short: its size is 0 bytes, less than the 98 of a header\","
                               "\"size\":{\"needed\":98,\"present\":0},\"checksum\":null,\"frames\":null,\"ended\":null,"
                               "\"aliveAt\":null,\"endMarkerRecord\":null,\"markerFollows\":null,\"highestFloor\":null,"
                               "\"bestCombo\":null,\"comboScore\":null,\"speedLevel\":null,\"claimed\":null,\"claims\":null,"
                               "\"gameDigest\":null}")
        << line;
    if (strictUtf8(paths[k])) {
      EXPECT_EQ(file, paths[k]);
      EXPECT_EQ(hex, "") << "a UTF-8 name needs no hex: " << line;
    } else {
      EXPECT_EQ(fromHex(hex), paths[k]) << line;
      EXPECT_NE(file.find("\xEF\xBF\xBD"), std::string::npos) << "bytes that are not UTF-8 show as U+FFFD: " << line;
    }
    ::unlink(paths[k].c_str());
  }
  ::rmdir(dir.c_str());
}

// Decodes one of the page's columns: base64 of (delta, run) zig-zag varints.
std::vector<std::int64_t> decodeColumn(const std::string& text) {
  static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<std::uint8_t> bytes;
  EXPECT_EQ(text.size() % 4, 0u) << "base64 comes in groups of four";
  for (std::size_t i = 0; i + 3 < text.size(); i += 4) {
    std::uint32_t n = 0;
    int pads = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const std::size_t d = digits.find(text[i + k]);
      pads += text[i + k] == '=';
      n = n << 6 | (d == std::string::npos ? 0 : static_cast<std::uint32_t>(d));
    }
    for (int k = 0; k < 3 - pads; ++k) bytes.push_back(static_cast<std::uint8_t>(n >> (16 - 8 * k)));
  }
  std::vector<std::int64_t> numbers;
  std::uint64_t z = 0;
  int shift = 0;
  for (const std::uint8_t b : bytes) {
    z |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    shift += 7;
    if (b & 0x80) continue;
    numbers.push_back(static_cast<std::int64_t>(z >> 1) ^ -static_cast<std::int64_t>(z & 1));
    z = 0;
    shift = 0;
  }
  EXPECT_EQ(z, 0u) << "the bytes end with a whole varint";
  EXPECT_EQ(numbers.size() % 2, 0u) << "the varints come in (delta, run) pairs";
  std::vector<std::int64_t> values;
  std::int64_t value = 0;
  for (std::size_t i = 0; i + 1 < numbers.size(); i += 2)
    for (std::int64_t k = 0; k < numbers[i + 1]; ++k) values.push_back(value += numbers[i]);
  return values;
}

std::string pageField(const std::string& html, const std::string& key) {
  const std::size_t at = html.find("\"" + key + "\":\"");
  if (at == std::string::npos) return "";
  const std::size_t from = at + key.size() + 4;
  return html.substr(from, html.find('"', from) - from);
}

// The page of a climbing game holds what trace prints of every frame, and
// every floor exactly as the generator lays it out.
TEST(ReplayTool, ViewPagesHoldTheTracedFramesAndTheGeneratedFloors) {
  for (const std::string& replay : {samplePath("climb.wlx"), packed("combo_climb")}) {
    const std::string page = writeTempFile("page", {});
    ASSERT_EQ(tool("view " + shellQuote(replay) + " -o " + page).status, 0);
    const std::string html = slurp(page);
    ::unlink(page.c_str());
    const std::vector<std::string> rows = lines(tool("trace " + shellQuote(replay)).out);
    const std::vector<std::int64_t> x = decodeColumn(pageField(html, "x"));
    const std::vector<std::int64_t> floor = decodeColumn(pageField(html, "floor"));
    ASSERT_EQ(x.size(), rows.size()) << "frame 0 and one per traced frame";
    ASSERT_EQ(floor.size(), rows.size());
    std::int32_t floors = 0;
    for (std::size_t f = 1; f < rows.size(); ++f) {
      std::vector<std::string> cell;
      std::istringstream row(rows[f]);
      for (std::string v; std::getline(row, v, ',');) cell.push_back(v);
      ASSERT_EQ(cell.size(), 19u) << rows[f];
      EXPECT_EQ(x[f], static_cast<std::int64_t>(std::stod(cell[4]))) << "frame " << f;
      EXPECT_EQ(floor[f], std::stoll(cell[15])) << "frame " << f;
      floors = std::stoi(cell[14]);
    }

    ReplayFile file{};
    ASSERT_EQ(loadReplay(replay.c_str(), file), nullptr);
    GameState s;
    initGame(s, file.header.rejump, file.header.seed);
    releaseReplay(file);
    std::vector<std::int64_t> left, right;
    for (std::int32_t n = 0; n < floors; ++n) {
      while (s.floorCount <= n) generateFloor(s);
      const FloorSlot& made = s.floors.slot[(s.ringNext - (s.floorCount - n) + FLOOR_RING_SIZE) % FLOOR_RING_SIZE];
      left.push_back(made.left);
      right.push_back(made.right);
    }
    EXPECT_GT(floors, 20) << "the game climbs";
    EXPECT_EQ(decodeColumn(pageField(html, "floorLeft")), left) << replay;
    EXPECT_EQ(decodeColumn(pageField(html, "floorRight")), right) << replay;
  }
}

// A game of exactly the page's limit is kept whole; one frame more is cut.
TEST(ReplayTool, ViewKeepsAGameOfExactlyItsFrameLimitWhole) {
  for (const std::int32_t frames : {1000000, 1000001}) {
    ReplayFixture standing;
    standing.records = {{frames - 1, 0x00}};
    const std::string replay = writeTempFile("standing", buildReplayBytes(standing));
    const std::string html = tool("view " + replay).out;
    const std::string want = frames == 1000000 ? "\"frames\":1000000,\"limit\":1000000,\"cut\":false,\"totalFrames\":1000000"
                                               : "\"frames\":1000000,\"limit\":1000000,\"cut\":true,\"totalFrames\":1000001";
    EXPECT_TRUE(contains(html, want)) << html.substr(0, 400);
    ::unlink(replay.c_str());
  }
}

}  // namespace

namespace {

// The games the edge hunt found: trace from a late frame, which skips up to
// it, prints what the whole trace prints for the same frames.
TEST(ReplayTool, TraceFromALateFrameAgreesWithTheWholeTraceOnTheHuntsFinds) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(RUNAUDIT_EDGE_FINDS)) {
    const std::string path = shellQuote(entry.path().string());
    const std::vector<std::string> whole = lines(tool("trace " + path).out);
    ASSERT_GT(whole.size(), 40u) << path;
    for (const std::size_t back : {1u, 2u, 17u, 40u}) {
      const std::size_t from = whole.size() - back;  // a frame number: row k is frame k
      const std::vector<std::string> tail = lines(tool("trace " + path + " --from " + std::to_string(from)).out);
      ASSERT_EQ(tail.size(), back + 1) << path << " from " << from;
      for (std::size_t k = 1; k < tail.size(); ++k) EXPECT_EQ(tail[k], whole[from + k - 1]) << path << " from " << from;
    }
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace

namespace {

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// pack, view -o and --svg replace a file whole or leave it as it was: a
// write that fails (here a file size limit, as on a full disk) keeps the
// old file and leaves no temporary behind; an output that is the input is
// refused; devices are written in place; links and modes are kept.
TEST(ReplayTool, OutputsAreReplacedWholeOrNotAtAll) {
  const std::string dir = writeTempFile("outputs", {});
  ::unlink(dir.c_str());
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  const std::string replay = dir + "/game.wlx", text = dir + "/game.txt", page = dir + "/page.html";
  ASSERT_EQ(tool("pack " + shellQuote(std::string(TOOL_FIXTURES) + "/combo_climb.txt") + " " + replay).status, 0);
  const std::string game = slurp(replay), source = tool("unpack " + replay).out;
  for (const auto& [path, content] : {std::pair{text, source}, std::pair{page, std::string("the old page")}}) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs(content.c_str(), f);
    std::fclose(f);
  }
  ::chmod(page.c_str(), 0640);

  for (const std::string& args : {"pack " + text + " " + text, "view " + replay + " -o " + replay,
                                  "view " + replay + " --svg " + dir + "/./game.wlx"}) {
    const RunResult r = tool(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(contains(r.err, "the output would replace the input")) << r.err;
  }
  EXPECT_EQ(slurp(replay), game);
  EXPECT_EQ(slurp(text), source);

  const RunResult full = runProgram("trap '' XFSZ; ulimit -f 8; " + std::string(REPLAYTOOL_BINARY) + " view " + replay + " -o " + page);
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "replaytool: " + page + ": File too large\n");
  EXPECT_EQ(slurp(page), "the old page");
  EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"game.txt", "game.wlx", "page.html"})) << "no temporary left";

  EXPECT_EQ(tool("view " + replay + " -o " + page).status, 0);
  EXPECT_EQ(tool("view " + replay).out, slurp(page));
  struct stat st {};
  ASSERT_EQ(::stat(page.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replaced file keeps its mode";
  const std::string link = dir + "/link.wlx", target = dir + "/target.wlx";
  ASSERT_EQ(::symlink("target.wlx", link.c_str()), 0);
  for (int round = 0; round < 2; ++round) {  // the file it names is missing, then there
    EXPECT_EQ(tool("pack " + text + " " + link).status, 0);
    EXPECT_EQ(slurp(target), game);
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link still names the file it named";
  }

  const RunResult device = tool("pack " + text + " /dev/full");
  EXPECT_EQ(device.status, 1);
  EXPECT_EQ(device.err, "replaytool: /dev/full: No space left on device\n");
  std::filesystem::remove_all(dir);
}

}  // namespace

namespace {

// Readers read a replay by its header: a device that never ends costs no
// more than the header it holds. Under a tight address-space limit every
// command either does its work or says in one line that memory ran out,
// status 1, never an abort.
TEST(ReplayTool, MemoryIsBoundedByWhatAReplayCanBe) {
#ifdef RUNAUDIT_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve more address space than the limits allow";
#else
  if (std::string(REPLAYTOOL_BINARY).find(' ') != std::string::npos)
    GTEST_SKIP() << "an emulator does not start under the address-space limit";
  const std::string limited = "ulimit -v 100000; " + std::string(REPLAYTOOL_BINARY) + " ";
  const RunResult zero = runProgram(limited + "show /dev/zero");
  EXPECT_EQ(zero.status, 1);
  // A device is read as a stream, by its header: 98 bytes, never its end.
  EXPECT_TRUE(contains(zero.out, "Rejected:       it does not begin with the signature WLX130\n")) << zero.out;
  const RunResult random = runProgram(limited + "show --json /dev/urandom");
  EXPECT_EQ(random.status, 1);
  EXPECT_TRUE(contains(random.out, "\"rejection\":\"bad-signature\"")) << random.out;
  for (const char* device : {"/dev/zero", "/dev/urandom"}) {
    const RunResult unpacked = runProgram(limited + "unpack " + device);
    EXPECT_EQ(unpacked.status, 0) << unpacked.err;
    EXPECT_TRUE(contains(unpacked.out, "# the stream goes on after the records: not read further, not shown\n")) << unpacked.out;
  }
  // A pipe holding a whole replay reads as the file does.
  EXPECT_EQ(runProgram("{ cat " + samplePath("climb.wlx") + " | " + REPLAYTOOL_BINARY + " unpack /dev/stdin; }").out,
            tool("unpack " + samplePath("climb.wlx")).out);

  ReplayFixture endless;
  endless.rejump = 1;
  endless.records = {{300, INPUT_RIGHT | INPUT_JUMP}, {2147483646, INPUT_LEFT | INPUT_JUMP}, {0, END_MARKER}};
  const std::string replay = writeTempFile("endless_game", buildReplayBytes(endless));
  const std::string text = writeTempFile("endless_text", bytesOf(tool("unpack " + replay).out));
  const std::string out = writeTempFile("endless_out", {});
  for (const std::string& command : {"view " + replay + " -o " + out, "show " + replay, "trace " + replay + " --to 5",
                                     "check " + replay, "pack " + text + " " + out, "unpack " + replay}) {
    const RunResult r = runProgram("ulimit -v 40000; " + std::string(REPLAYTOOL_BINARY) + " " + command);
    // Done, or an invalid verdict (check), or one line saying why not.
    EXPECT_TRUE(r.status == 0 || r.status == 1) << command << ": status " << r.status;
    if (r.err.empty()) continue;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << command << ": " << r.err;
    EXPECT_EQ(r.err.rfind("replaytool: ", 0), 0u) << command << ": " << r.err;
  }
  // pack holds the records it reads and one line, not the text: 24 MB of
  // text in 60 MB of address space, program included.
  std::string big = tool("unpack " + samplePath("seed36.wlx")).out;
  big = big.substr(0, big.find("records\n") + 8);
  big.reserve(big.size() + 24000000);
  for (int n = 0; n < 3000000; ++n) big += "62 0x00\n";
  const std::string bigText = writeTempFile("big_text", bytesOf(big));
  const RunResult packedBig = runProgram("ulimit -v 60000; " + std::string(REPLAYTOOL_BINARY) + " pack " + bigText + " " + out);
  EXPECT_EQ(packedBig.status, 0) << packedBig.err;
  EXPECT_EQ(slurp(out).size(), 98u + 5u * 3000000u);
  for (const std::string& f : {replay, text, out, bigText}) ::unlink(f.c_str());
#endif
}

}  // namespace

namespace {

// One grammar for every command: each mistake named as such, values taken
// whole, "--" ending the options, help per command.
TEST(ReplayTool, EveryCommandReadsItsCommandLineAlike) {
  const std::string seed36 = shellQuote(samplePath("seed36.wlx"));
  struct Case {
    std::string args;
    const char* error;
  } cases[] = {
      {"unpack --bogus " + seed36, "replaytool: unpack: unknown option --bogus\n"},
      {"unpack " + seed36 + " extra", "replaytool: unpack takes one FILE (extra argument extra)\n"},
      {"pack a b c", "replaytool: pack takes TEXT and OUT (extra argument c)\n"},
      {"show " + seed36 + " --json=1", "replaytool: show: --json takes no value\n"},
      {"check --json=false " + seed36, "replaytool: check: --json takes no value\n"},
      {"check --json --json " + seed36, "replaytool: check: --json given twice\n"},
      {"trace " + seed36 + " --to 1 --to=2", "replaytool: trace: --to given twice\n"},
      {"view " + seed36 + " -o a.html --output b.html", "replaytool: view: --output given twice\n"},
      {"view " + seed36 + " --svg", "replaytool: view: --svg needs a file name\n"},
      {"help frobnicate", "replaytool: unknown command: frobnicate (see replaytool --help)\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = tool(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.err, c.error) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
  }
  EXPECT_EQ(tool("help trace").out, tool("trace --help").out);
  EXPECT_EQ(tool("help trace").out.rfind("usage: replaytool trace FILE", 0), 0u);
  EXPECT_EQ(tool("unpack -- " + seed36).out, tool("unpack " + seed36).out);
  // A value is the next argument whatever it looks like.
  const std::string dir = writeTempFile("grammar", {});
  ::unlink(dir.c_str());
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  EXPECT_EQ(runProgram("cd " + dir + " && " + REPLAYTOOL_BINARY + " view " + seed36 + " -o -h").status, 0);
  EXPECT_EQ(slurp(dir + "/-h").rfind("<!DOCTYPE html>", 0), 0u);
  std::filesystem::remove_all(dir);
  // Frames count from 1: --to 0 shows none; a window past the end prints its error alone.
  const RunResult none = tool("trace " + seed36 + " --from 0 --to 0");
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(lines(none.out).size(), 1u) << "the header alone";
  const RunResult past = tool("trace " + seed36 + " --from 999");
  EXPECT_EQ(past.status, 1);
  EXPECT_EQ(past.out, "");
}

}  // namespace

namespace {

std::string freshDir(const char* stem) {
  const std::string dir = writeTempFile(stem, {});
  ::unlink(dir.c_str());
  EXPECT_EQ(::mkdir(dir.c_str(), 0700), 0);
  return dir;
}

std::vector<std::string> dirEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ReplayTool, TextIsShownAsUtf8WithOnlyControlsEscaped) {
  const std::string dir = freshDir("display");
  ReplayFixture f;
  f.name = "J\xC3\xBCrgen";
  f.date = "\xE2\x80\xAEtxt.exe\x1B[2J\xC2\x9B\x80";  // reversed text, an erase, C1 CSI, a stray byte
  const std::string path = dir + "/J\xC3\xBCrgen\\back.wlx";
  const std::vector<std::uint8_t> bytes = buildReplayBytes(f);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);

  const RunResult show = tool("show " + shellQuote(path));
  EXPECT_TRUE(contains(show.out, "File:           " + path + "\n")) << "a backslash is never doubled: " << show.out;
  EXPECT_TRUE(contains(show.out, "Name:           J\xC3\xBCrgen\n"));
  EXPECT_TRUE(contains(show.out, "Date:           \\xE2\\x80\\xAEtxt.exe\\x1B[2J\\xC2\\x9B\\x80\n"));
  EXPECT_EQ(tool("check " + shellQuote(path)).out, path + "\tinvalid\n");
  const std::string missing = dir + "/gone-\xC3\xBC\x1B\xE2\x81\xA6.wlx";
  EXPECT_EQ(tool("trace " + shellQuote(missing)).err,
            "replaytool: " + dir + "/gone-\xC3\xBC\\x1B\\xE2\\x81\\xA6.wlx: No such file or directory\n");
  // The text form keeps its own escapes, so texts written before still pack
  // to the same bytes.
  const RunResult text = tool("unpack " + shellQuote(path));
  EXPECT_TRUE(contains(text.out, "name \"J\\xC3\\xBCrgen\"\n")) << text.out;
  const std::string repacked = dir + "/re.wlx";
  EXPECT_EQ(runProgram("{ " + std::string(REPLAYTOOL_BINARY) + " unpack " + shellQuote(path) + " | " +
                       REPLAYTOOL_BINARY + " pack - " + repacked + "; }").status, 0);
  EXPECT_EQ(slurp(repacked), std::string(bytes.begin(), bytes.end()));
  std::filesystem::remove_all(dir);
}

// A write past the file size limit fails (SIGXFSZ is ignored): the reason is
// reported, no temporary is left, an old file stays as it was. A target
// that may not be written is refused the same way; by its mode bits too,
// so that this holds when the tests run as root.
TEST(ReplayTool, OutputsThatCannotBeWrittenWholeLeaveTheOldFile) {
  const std::string dir = freshDir("limits");
  const std::string climb = shellQuote(samplePath("climb.wlx"));
  ASSERT_EQ(runProgram("{ " + std::string(REPLAYTOOL_BINARY) + " unpack " + climb + " > " + dir + "/climb.txt; }").status, 0);
  const std::string old = "old contents\n";
  for (const char* name : {"kept.wlx", "kept.html"}) {
    std::FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(old.c_str(), f);
    std::fclose(f);
  }
  const std::string rt = REPLAYTOOL_BINARY;
  struct Case {
    std::string command;
    std::string error;
  };
  const Case cases[] = {
      {"pack climb.txt new.wlx", "replaytool: new.wlx: File too large\n"},
      {"pack climb.txt kept.wlx", "replaytool: kept.wlx: File too large\n"},
      {"view " + climb + " -o kept.html", "replaytool: kept.html: File too large\n"},
      {"view " + climb + " --svg new.svg -o new.html", "replaytool: new.svg: File too large\n"},
      {"view " + climb + " > new.html", "replaytool: cannot write to standard output: File too large\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = runProgram("cd " + dir + " && sh -c " + shellQuote("ulimit -f 1; exec " + rt + " " + c.command));
    EXPECT_EQ(r.status, 1) << c.command;
    EXPECT_EQ(r.err, c.error) << c.command;
    ::unlink((dir + "/new.html").c_str());  // the shell's own redirection
    EXPECT_EQ(dirEntries(dir), (std::vector<std::string>{"climb.txt", "kept.html", "kept.wlx"})) << c.command;
  }
  EXPECT_EQ(slurp(dir + "/kept.wlx"), old);
  EXPECT_EQ(slurp(dir + "/kept.html"), old);

  ASSERT_EQ(::chmod((dir + "/kept.wlx").c_str(), 0444), 0);
  ASSERT_EQ(::chmod((dir + "/kept.html").c_str(), 0444), 0);
  for (const std::string& command : {std::string("pack climb.txt kept.wlx"), "view " + climb + " -o kept.html"}) {
    const RunResult r = runProgram("cd " + dir + " && " + rt + " " + command);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.err, "replaytool: " + command.substr(command.rfind(' ') + 1) + ": Permission denied\n") << command;
  }
  EXPECT_EQ(slurp(dir + "/kept.wlx"), old);
  EXPECT_EQ(slurp(dir + "/kept.html"), old);
  struct stat st {};
  ASSERT_EQ(::stat((dir + "/kept.wlx").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  // Writable by its owner: replaced, as before.
  ASSERT_EQ(::chmod((dir + "/kept.wlx").c_str(), 0644), 0);
  EXPECT_EQ(runProgram("cd " + dir + " && " + rt + " pack climb.txt kept.wlx").status, 0);
  EXPECT_EQ(slurp(dir + "/kept.wlx"), slurp(samplePath("climb.wlx")));
  std::filesystem::remove_all(dir);
}

// 108 bytes holding a game of 2^31 frames (whose trace would be some 345 GB).
TEST(ReplayTool, TraceStopsAtAMillionFramesUnlessAskedForAll) {
  ReplayFixture endless;
  endless.records = {{2147483647, 0}, {0, END_MARKER}};
  const std::string path = writeTempFile("trace_long", buildReplayBytes(endless));
  ASSERT_EQ(slurp(path).size(), 108u);
  const std::string rt = REPLAYTOOL_BINARY;
  const RunResult r = runProgram("{ " + rt + " trace " + path + " | wc -l; }");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1000001\n") << "the header and a million frames";
  EXPECT_EQ(r.err,
            "replaytool: trace: stopped at frame 1000000 (at most 1000000 frames without --to or --all); the game goes on\n");
  EXPECT_EQ(tool("trace " + shellQuote(samplePath("climb.wlx"))).err, "") << "a shorter game is traced whole, silently";

  // --all streams: its reader takes three lines and leaves; the trace ends
  // at once, silently, as other tools do when their reader goes.
  const std::string status = writeTempFile("trace_all_status", {});
  const RunResult all = runProgram("{ { " + rt + " trace --all " + path + "; echo $? > " + status + "; } | head -n 3; }");
  EXPECT_EQ(lines(all.out).size(), 3u);
  EXPECT_EQ(all.out.rfind("frame,record,", 0), 0u);
  EXPECT_EQ(all.err, "");
  EXPECT_EQ(slurp(status), "141\n") << "ended by SIGPIPE";
  const RunResult both = tool("trace --all --to 5 " + path);
  EXPECT_EQ(both.status, 2);
  EXPECT_EQ(both.err, "replaytool: trace: --all and --to exclude each other\n");
  ::unlink(status.c_str());
  ::unlink(path.c_str());
}

TEST(ReplayTool, AClosedPipeEndsEveryCommandQuietly) {
  const std::string climb = shellQuote(samplePath("climb.wlx"));
  const std::string status = writeTempFile("pipe_status", {});
  // The reader is gone before the first byte is written.
  for (const std::string& args : {"trace " + climb, "view " + climb, "unpack " + climb, "show " + climb, "check " + climb,
                                  std::string("--help")}) {
    const RunResult r = runProgram("{ { sleep 0.2; " + std::string(REPLAYTOOL_BINARY) + " " + args + "; echo $? > " +
                                   status + "; } | true; }");
    EXPECT_EQ(r.err, "") << args;
    EXPECT_EQ(slurp(status), "141\n") << args;
  }
  ::unlink(status.c_str());
}

TEST(ReplayTool, StandardInputStandsForAFileInEveryCommand) {
  const std::string path = samplePath("seed36.wlx");
  const std::string file = shellQuote(path);
  const std::string rt = REPLAYTOOL_BINARY;
  auto fromStdin = [&](const std::string& args) { return runProgram("{ cat " + file + " | " + rt + " " + args + "; }"); };
  for (const char* command : {"trace", "unpack", "view", "trace --from 100"}) {
    const RunResult piped = fromStdin(std::string(command) + " -");
    EXPECT_EQ(piped.status, 0) << command << piped.err;
    EXPECT_EQ(piped.out, tool(std::string(command) + " " + file).out) << command;
  }
  std::string show = tool("show " + file).out;
  show.replace(show.find(path), path.size(), "-");
  EXPECT_EQ(fromStdin("show -").out, show);
  EXPECT_EQ(fromStdin("check --jobs 2 " + file + " -").out,
            path + "\tvalid\tframes 101\tfloor 1\tcombo 0\tcombo score 0\tclaims match\n"
                   "-\tvalid\tframes 101\tfloor 1\tcombo 0\tcombo score 0\tclaims match\tsame game as " + path + "\n");
  EXPECT_EQ(fromStdin("check - -").status, 2);
  const RunResult json = fromStdin("check --json -");
  EXPECT_EQ(json.out.rfind("{\"file\":\"-\",\"checker\":\"runaudit 2.0.0\",\"verdict\":\"valid\"", 0), 0u) << json.out;
  // What show explains about a rejected file comes from the bytes it read.
  const RunResult rejected = runProgram("{ head -c 100 " + file + " | " + rt + " show -; }");
  EXPECT_EQ(rejected.status, 1);
  EXPECT_TRUE(contains(rejected.out, "Rejected:       cut short: the header announces 7 records (35 bytes) but 2 bytes follow\n")) << rejected.out;
  EXPECT_EQ(rejected.err, "replaytool: -: File is not a valid replay\n");
  // pack: the text from standard input, the file to standard output.
  EXPECT_EQ(runProgram("{ " + rt + " unpack " + file + " | " + rt + " pack - -; }").out, slurp(path));
  EXPECT_EQ(tool("view " + file + " -o -").out, tool("view " + file).out);
  EXPECT_EQ(tool("view " + file + " --svg -").out.rfind("<svg xmlns=", 0), 0u);
  EXPECT_EQ(tool("view " + file + " --svg - -o -").status, 2);
}

TEST(ReplayTool, ShortOptionsAndSuggestions) {
  const std::string climb = shellQuote(samplePath("climb.wlx"));
  EXPECT_EQ(tool("-V").out, tool("--version").out);
  EXPECT_EQ(tool("-V").status, 0);
  const std::string jobs = tool("check --jobs 1 " + climb).out;
  for (const char* form : {"-j1", "-j 1", "-j=1"}) EXPECT_EQ(tool(std::string("check ") + form + " " + climb).out, jobs) << form;
  EXPECT_EQ(tool("check -j0 " + climb).status, 2);
  const std::string dir = freshDir("short");
  const std::string page = tool("view " + climb).out;
  for (const char* form : {"-o P", "-oP", "-o=P", "--output=P", "--output P"}) {
    ASSERT_EQ(runProgram("cd " + dir + " && " + REPLAYTOOL_BINARY + " view " + climb + " " + form).status, 0) << form;
    EXPECT_EQ(slurp(dir + "/P"), page) << form;
    EXPECT_EQ(dirEntries(dir), std::vector<std::string>{"P"}) << form;
    ::unlink((dir + "/P").c_str());
  }
  std::filesystem::remove_all(dir);
  EXPECT_EQ(tool("trace -x " + climb).err, "replaytool: trace: unknown option -x\n");

  struct Case {
    const char* args;
    const char* error;
  };
  const Case cases[] = {
      {"chek x", "replaytool: unknown command 'chek'; did you mean 'check'?\n"},
      {"hsow x", "replaytool: unknown command 'hsow'; did you mean 'show'?\n"},
      {"unpak x", "replaytool: unknown command 'unpak'; did you mean 'unpack'?\n"},
      {"help trcae", "replaytool: unknown command 'trcae'; did you mean 'trace'?\n"},
      {"checking x", "replaytool: unknown command: checking (see replaytool --help)\n"},
      {"$'\\x1B[2J'", "replaytool: unknown command: \\x1B[2J (see replaytool --help)\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = runProgram("bash -c " + shellQuote(std::string(REPLAYTOOL_BINARY) + " " + c.args));
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.err, c.error) << c.args;
  }
}

// The keys of a JSON object's top level, in order.
std::vector<std::string> topKeys(const std::string& json) {
  std::vector<std::string> keys;
  int depth = 0;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c == '"') {
      std::size_t end = i + 1;
      while (json[end] != '"') end += json[end] == '\\' ? 2 : 1;
      if (depth == 1 && json[end + 1] == ':') keys.push_back(json.substr(i + 1, end - i - 1));
      i = end;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return keys;
}

// The member `key`'s value at the top level of `json` (an object or array
// taken whole).
std::string member(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\":");
  if (at == std::string::npos) return "";
  std::size_t i = at + key.size() + 3, end = i;
  int depth = 0;
  for (; end < json.size(); ++end) {
    const char c = json[end];
    if (c == '"') {
      ++end;
      while (json[end] != '"') end += json[end] == '\\' ? 2 : 1;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (depth-- == 0) break;
    } else if (c == ',' && depth == 0) {
      break;
    }
  }
  return json.substr(i, end - i);
}

std::string outcomeOf(const EdgeOutcome& o) {
  return o.kind == OutcomeKind::Floor ? std::to_string(o.floor) : o.kind == OutcomeKind::Dies ? "\"dies\"" : "\"none\"";
}

TEST(ReplayTool, EvidenceMatchesTheLibrary) {
  const std::string climb = samplePath("climb.wlx");
  ReplayFile replay{};
  ASSERT_EQ(loadReplay(climb.c_str(), replay), nullptr);
  const Evidence ev = analyseEvidence(replay, 98 + 5 * static_cast<std::uint64_t>(replay.header.recordCount));
  const FileFacts facts = fileFacts(replay, 98 + 5 * static_cast<std::uint64_t>(replay.header.recordCount));
  releaseReplay(replay);
  ASSERT_GT(ev.summary.framePerfect, 0u);

  const RunResult json = tool("evidence --json " + shellQuote(climb));
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.err, "");
  ASSERT_EQ(lines(json.out).size(), 1u);
  EXPECT_EQ(topKeys(json.out), (std::vector<std::string>{"file", "rank", "checker", "reach", "horizon", "frames", "died",
                                                          "edgesInGame", "cut", "framesStepped", "edges", "summary",
                                                          "facts"}));
  const std::string summary = member(json.out, "summary");
  EXPECT_EQ(topKeys(summary), (std::vector<std::string>{"edges", "decisive", "framePerfect", "framePerfectShare",
                                                         "widths", "longestRun", "keys", "leftAndRight", "model"}));
  EXPECT_EQ(topKeys(member(json.out, "facts")),
            (std::vector<std::string>{"sameInputAdjacent", "strayBits", "recordsAfterMarker", "nonPositiveRepeats",
                                      "framesAfterEnd", "bytesAfterRecords", "claims"}));
  std::string edges = "[";
  for (const EvidenceEdge& e : ev.edges)
    edges += std::string(edges.size() > 1 ? "," : "") + "{\"frame\":" + std::to_string(e.frame) +
             ",\"record\":" + std::to_string(e.record) + ",\"key\":\"" + keyName(e.key) + "\",\"press\":" +
             (e.press ? "true" : "false") + ",\"window\":[" + std::to_string(e.lo) + "," + std::to_string(e.hi) +
             "],\"ends\":[\"" + windowEndName(e.loEnd) + "\",\"" + windowEndName(e.hiEnd) + "\"],\"outcome\":" +
             outcomeOf(e.outcome) + "}";
  EXPECT_EQ(member(json.out, "edges"), edges + "]");
  EXPECT_EQ(member(summary, "decisive"), std::to_string(ev.summary.decisive));
  EXPECT_EQ(member(summary, "framePerfect"), std::to_string(ev.summary.framePerfect));
  EXPECT_EQ(member(json.out, "frames"), std::to_string(ev.gameFrames));
  EXPECT_EQ(member(member(json.out, "facts"), "nonPositiveRepeats").rfind("{\"count\":" +
                std::to_string(facts.nonPositiveRepeats.count) + ",", 0), 0u);

  const RunResult text = tool("evidence " + shellQuote(climb));
  ASSERT_EQ(text.status, 0) << text.err;
  char line[128];
  std::snprintf(line, sizeof line, "Frame-perfect:     %llu (%.1f%% of decisive)\n",
                static_cast<unsigned long long>(ev.summary.framePerfect),
                100.0 * static_cast<double>(ev.summary.framePerfect) / static_cast<double>(ev.summary.decisive));
  EXPECT_TRUE(contains(text.out, line)) << text.out;
  EXPECT_TRUE(contains(text.out, "Decisive edges:    " + std::to_string(ev.summary.decisive) + "\n"));
  for (const EvidenceEdge& e : ev.edges)
    if (isFramePerfect(e)) {
      std::snprintf(line, sizeof line, "  frame %7llu  record %6u  %-5s %-7s  window [0, 0]",
                    static_cast<unsigned long long>(e.frame), e.record, keyName(e.key), e.press ? "press" : "release");
      EXPECT_TRUE(contains(text.out, line)) << line;
    }

  // Several files: each ranked among those given; a file that does not
  // load is reported and the others are still analysed.
  const RunResult many = tool("evidence " + shellQuote(samplePath("seed36.wlx")) + " " + shellQuote(climb) + " " +
                              shellQuote(samplePath("missing.wlx")));
  EXPECT_EQ(many.status, 1);
  EXPECT_TRUE(contains(many.err, "missing.wlx")) << many.err;
  const std::vector<std::string> out = lines(many.out);
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out[out.size() - 3], "Rank  Frame-perfect share  Frame-perfect  Decisive  Model figure  File");
  EXPECT_EQ(out[out.size() - 2].substr(0, 4), "   1");
  EXPECT_TRUE(contains(out[out.size() - 2], "climb.wlx"));
  EXPECT_EQ(out[out.size() - 1].substr(0, 4), "   2");
  EXPECT_TRUE(contains(out[out.size() - 1], "seed36.wlx"));
  const RunResult ranks = tool("evidence --json --reach 2 --horizon 50 " + shellQuote(samplePath("seed36.wlx")) + " " +
                               shellQuote(climb));
  ASSERT_EQ(lines(ranks.out).size(), 2u);
  EXPECT_EQ(member(lines(ranks.out)[0], "rank"), "2");
  EXPECT_EQ(member(lines(ranks.out)[1], "rank"), "1");
  EXPECT_EQ(member(lines(ranks.out)[1], "reach"), "2");
  EXPECT_EQ(tool("evidence --reach 65 " + shellQuote(climb)).err,
            "replaytool: evidence: --reach needs a number from 0 to 64\n");
  EXPECT_EQ(tool("evidence --horizon 0 " + shellQuote(climb)).status, 2);
}

}  // namespace

namespace {

// A copy of seed36 in another file's clothes: its text form with `edit`
// applied, packed.
std::string seed36Variant(const char* name, const std::string& from, const std::string& to) {
  std::string text = tool("unpack " + shellQuote(samplePath("seed36.wlx"))).out;
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  const std::string source = writeTempFile(std::string(name) + "_text", bytesOf(text));
  const std::string out = writeTempFile(name, {});
  EXPECT_EQ(tool("pack " + source + " " + out).status, 0) << name;
  ::unlink(source.c_str());
  return out;
}

}  // namespace

// The same game under another name, date, claim, record split or ignored
// bits is named as the first file of it, in the order given whatever the
// threads; --unique leaves it out; the exit status is the verdicts' alone.
TEST(ReplayTool, CheckNamesTheFirstFileOfEachGame) {
  const std::string seed36 = samplePath("seed36.wlx"), climb = samplePath("climb.wlx");
  const std::string renamed = seed36Variant("dup_renamed", "name \"tester\"\ndate \"2026-12-07\"\nscore 0\nfloor 1",
                                            "name \"thief\"\ndate \"2027-01-01\"\nscore 777\nfloor 40");
  const std::string split = seed36Variant("dup_split", "25 0x12\n", "12 0x12\n12 0x16\n");
  const std::string unmarked = seed36Variant("dup_unmarked", "0 0x80\n", "");  // the same game, invalid
  const std::string other = seed36Variant("dup_other", "25 0x12\n", "24 0x12\n0 0x02\n");
  const std::string files = seed36 + " " + renamed + " " + climb + " " + split + " " + other + " " + unmarked;

  const RunResult r = tool("check -j1 " + files);
  const std::string seed36Facts = "\tvalid\tframes 101\tfloor 1\tcombo 0\tcombo score 0\tclaims ";
  const std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 6u) << r.out;
  EXPECT_EQ(out[0], seed36 + seed36Facts + "match");
  EXPECT_EQ(out[1], renamed + seed36Facts + "differ\tfloor 40 claimed, 1 reached\tsame game as " + seed36);
  EXPECT_EQ(out[2] + "\n", climb + CLIMB_VALID);
  EXPECT_EQ(out[3], split + seed36Facts + "match\tsame game as " + seed36);
  EXPECT_EQ(out[4].find("same game"), std::string::npos) << out[4];
  EXPECT_EQ(out[5], unmarked + "\tinvalid\tsame game as " + seed36);
  EXPECT_EQ(r.status, 1);
  for (const char* jobs : {"-j2 ", "-j6 "}) EXPECT_EQ(tool(std::string("check ") + jobs + files).out, r.out) << jobs;

  const RunResult unique = tool("check --unique -j3 " + files);
  EXPECT_EQ(unique.out, out[0] + "\n" + out[2] + "\n" + out[4] + "\n");
  EXPECT_EQ(unique.status, 1) << "the left-out invalid file still counts";
  EXPECT_EQ(tool("check --unique " + seed36 + " " + renamed).status, 0);

  const std::vector<std::string> json = lines(tool("check --json " + files).out);
  ASSERT_EQ(json.size(), 6u);
  for (const std::size_t later : {1u, 3u, 5u}) {
    EXPECT_TRUE(contains(json[later], ",\"gameDigest\":\"" + SEED36_DIGEST + "\",\"sameGameAs\":\"" + seed36 + "\"}"))
        << json[later];
  }
  EXPECT_FALSE(contains(json[4], "sameGameAs")) << json[4];
  EXPECT_FALSE(contains(json[4], SEED36_DIGEST)) << "one played frame's input differs";
  EXPECT_TRUE(contains(tool("check --json " + samplePath("example.wlx")).out, "\"gameDigest\":\"" + EXAMPLE_DIGEST + "\"}"));
  EXPECT_EQ(lines(tool("check --json --unique " + files).out).size(), 3u);
  for (const std::string& f : {renamed, split, unmarked, other}) ::unlink(f.c_str());
}

// A re-check against an earlier check --json: only what changed, old and
// new side by side, then the count; a file OLD lacks is new; an OLD that
// cannot be read is a usage error, as is --against with --json.
TEST(ReplayTool, CheckAgainstShowsOnlyWhatChanged) {
  const std::string seed36 = samplePath("seed36.wlx"), climb = samplePath("climb.wlx"), example = samplePath("example.wlx");
  std::string old = tool("check --json " + seed36 + " " + climb).out;
  const std::string same = writeTempFile("against_same", bytesOf(old));
  const RunResult unchanged = tool("check --against " + same + " " + climb + " " + seed36);
  EXPECT_EQ(unchanged.out, "0 of 2 files changed since " + same + "\n");
  EXPECT_EQ(unchanged.status, 0);
  EXPECT_EQ(unchanged.err, "");

  // What an older checker might have said of them.
  auto edit = [&old](const std::string& from, const std::string& to) {
    const std::size_t at = old.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    old.replace(at, from.size(), to);
  };
  edit("\"frames\":2515", "\"frames\":2514");
  edit("\"verdict\":\"valid\"", "\"verdict\":\"invalid\"");  // seed36's line comes first
  edit("\"gameDigest\":\"" + SEED36_DIGEST + "\"", "\"gameDigest\":null");
  edit(",\"claims\":\"match\"", ",\"claims\":\"differ\"");
  const std::string older = writeTempFile("against_older", bytesOf(old + "\n"));
  const RunResult r = tool("check -j2 --against " + older + " " + seed36 + " " + example + " " + climb);
  EXPECT_EQ(r.out, seed36 + "\tverdict \"invalid\" -> \"valid\"\tclaims \"differ\" -> \"match\"\tgameDigest null -> \"" +
                       SEED36_DIGEST + "\"\n" + example + "\tnew: not in OLD\n" + climb +
                       "\tframes 2514 -> 2515\n3 of 3 files changed since " + older + "\n");
  EXPECT_EQ(r.status, 1);

  // A line of an older checker without gameDigest: that fact is not compared.
  std::string noDigest = tool("check --json " + climb).out;
  noDigest.erase(noDigest.find(",\"gameDigest\""), 80);
  const std::string before = writeTempFile("against_before", bytesOf(noDigest));
  EXPECT_EQ(tool("check --against " + before + " " + climb).status, 0);

  const std::string junk = writeTempFile("against_junk", bytesOf(std::string("{\"file\":\"a\"}\nnot json\n")));
  const RunResult bad = tool("check --against " + junk + " " + climb);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err, "replaytool: check: --against " + junk + ": line 2 is not a line of check --json\n");
  EXPECT_EQ(tool("check --against " + same + ".missing " + climb).status, 2);
  EXPECT_EQ(tool("check --json --against " + same + " " + climb).status, 2);
  for (const std::string& f : {same, older, before, junk}) ::unlink(f.c_str());
}
