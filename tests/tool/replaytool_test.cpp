// End to end: the built replaytool on the samples and on text fixtures.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "support/replay_builder.h"
#include "support/run_program.h"

namespace {

RunResult tool(const std::string& args) { return runProgram(std::string(REPLAYTOOL_BINARY) + " " + args); }

std::string samplePath(const char* name) { return std::string(RUNAUDIT_SAMPLES) + "/" + name; }

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
  EXPECT_TRUE(contains(json.out, "\"valid\":true,\"frames\":101,\"ended\":{\"frame\":101,\"record\":6,\"frameInRecord\":20}"))
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

  const std::string alive = packed("still_alive");
  const RunResult a = tool("show " + alive);
  EXPECT_TRUE(contains(a.out, "Name:           alive\\tand \\\"well\\\"\n")) << "control bytes escaped: " << a.out;
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
    EXPECT_EQ(r.out, samplePath("seed36.wlx") + "\tvalid\n" + late + "\tinvalid\n" +
                         "/nonexistent.wlx\terror\tCould not open file\n" + alive + "\tinvalid\n" +
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

TEST(ReplayTool, PackAndUnpackRoundTrip) {
  const RunResult r = tool("unpack " + shellQuote(samplePath("example.wlx")));
  ASSERT_EQ(r.status, 0);
  const std::string text = writeTempFile("unpacked", std::vector<std::uint8_t>(r.out.begin(), r.out.end()));
  const std::string out = writeTempFile("repacked", {});
  ASSERT_EQ(tool("pack " + text + " " + out).status, 0);
  EXPECT_EQ(slurp(out), slurp(samplePath("example.wlx")));
  ::unlink(text.c_str());

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
      {"show a b", 2, "replaytool: show takes one FILE\n"},
      {"show --xml a", 2, "replaytool: show: unknown option --xml\n"},
      {"show /dev/null", 1, "replaytool: /dev/null: File is not a valid replay\n"},
      {"trace a --from", 2, "replaytool: trace: --from needs a frame number\n"},
      {"trace a --to -3", 2, "replaytool: trace: --to needs a frame number\n"},
      {"check", 2, "replaytool: check needs at least one FILE\n"},
      {"check a --jobs 0", 2, "replaytool: check: --jobs needs a number from 1 to 1024\n"},
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
    EXPECT_EQ(r.err, "replaytool: cannot write to standard output\n") << args;
  }
  // A trace whose reader leaves stops at once instead of simulating billions
  // of frames (this record lasts 2^31 frames); its status says the output was lost.
  const std::string status = writeTempFile("trace_status", {});
  const RunResult r = runProgram("{ " + std::string(REPLAYTOOL_BINARY) + " trace " +
                                 shellQuote(std::string(RUNAUDIT_BENCH_WORST) + "/rearmed-decay.wlx") + "; echo $? > " +
                                 status + "; } 2>/dev/null | head -c 1 >/dev/null");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(slurp(status), "1\n");
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
    EXPECT_TRUE(contains(r.out, "replaytool check FILE... [--jobs N] [--json]\n")) << args;
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
  EXPECT_TRUE(contains(tool("check -- --help").out, "--help\terror\tCould not open file\n"));
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
  EXPECT_EQ(out[0], "{\"file\":\"" + utf8 + "\",\"verdict\":\"valid\"}");
  std::string hex;
  for (unsigned char c : latin1) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", c);
    hex += two;
  }
  std::string shown = latin1;
  shown.replace(shown.find('\xE9'), 1, "\\uFFFD");
  EXPECT_EQ(out[1], "{\"file\":\"" + shown + "\",\"fileHex\":\"" + hex + "\",\"verdict\":\"valid\"}");
  EXPECT_EQ(out[2], "{\"file\":\"" + missing + "\",\"verdict\":\"error\",\"error\":\"Could not open file\"}");
  EXPECT_EQ(r.status, 1);

  // The header's text fields: a UTF-8 date as text, a Latin-1 one replaced,
  // both exact in hex.
  const std::string alive = packed("still_alive");
  const RunResult show = tool("show --json " + alive);
  EXPECT_TRUE(contains(show.out, "\"date\":\"\\uFFFDt\\uFFFD\"")) << show.out;
  EXPECT_TRUE(contains(show.out, "\"dateHex\":\"e974e9\"")) << show.out;
  const RunResult named = tool("show --json " + shellQuote(utf8));
  EXPECT_TRUE(contains(named.out, "{\"file\":\"" + utf8 + "\",\"header\"")) << named.out;
  ::unlink(utf8.c_str());
  ::unlink(latin1.c_str());
  ::unlink(controls.c_str());
  ::unlink(alive.c_str());
}

// show says which of the loader's checks a rejected file fails.
TEST(ReplayTool, ShowExplainsRejectedFiles) {
  const std::string good = slurp(samplePath("climb.wlx"));
  std::string flipped = good;
  flipped[200] = static_cast<char>(flipped[200] ^ 1);
  std::string wrongSignature = good;
  wrongSignature[0] = 'X';
  struct Case {
    std::string bytes;
    const char* reason;
  } cases[] = {
      {good.substr(0, 50), "Rejected:       shorter than the 98-byte header\n"},
      {wrongSignature, "Rejected:       the signature is not WLX130\n"},
      {good.substr(0, 120), "Rejected:       the file is shorter than its records\n"},
      {flipped, "Rejected:       the checksum does not match\n"},
  };
  for (const Case& c : cases) {
    const std::string path = writeTempFile("rejected", bytesOf(c.bytes));
    const RunResult r = tool("show " + path);
    EXPECT_TRUE(contains(r.out, c.reason)) << r.out;
    EXPECT_EQ(r.err, "replaytool: " + path + ": File is not a valid replay\n");
    EXPECT_EQ(r.status, 1);
    ::unlink(path.c_str());
  }
  const std::string path = writeTempFile("rejected", bytesOf(flipped));
  const RunResult r = tool("show " + path);
  EXPECT_TRUE(contains(r.out, "Records:        175, needing 875 bytes after the header: the file has 875\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Checksum:       stored 52488427, computed ")) << r.out;
  EXPECT_FALSE(contains(r.out, "computed 52488427"));
  const RunResult j = tool("show --json " + path);
  EXPECT_TRUE(contains(j.out, "\"valid\":false,\"rejected\":\"the checksum does not match\",\"size\":973,")) << j.out;
  EXPECT_TRUE(contains(j.out, "\"storedChecksum\":52488427,\"computedChecksum\":")) << j.out;
  ::unlink(path.c_str());
}

// "--opt=value" is "--opt value" in every command; after "--" nothing is an option.
TEST(ReplayTool, OptionsTakeTheirValueAfterAnEqualsSign) {
  const std::string climb = samplePath("climb.wlx");
  const RunResult spaced = tool("trace --from 3 --to 4 " + climb);
  const RunResult joined = tool("trace --from=3 --to=4 " + climb);
  EXPECT_EQ(spaced.status, 0);
  EXPECT_EQ(lines(joined.out).size(), 3u) << joined.out;
  EXPECT_EQ(joined.out, spaced.out);
  EXPECT_EQ(tool("check --jobs=1 " + climb).out, climb + "\tvalid\n");
  const RunResult bad = tool("check --jobs=0 " + climb);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(tool("check -- --jobs=1").out, "--jobs=1\terror\tCould not open file\n");
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
  EXPECT_EQ(tool("view /nonexistent.wlx").err, "replaytool: /nonexistent.wlx: Could not open file\n");
  for (const std::string& f : {replay, page, svg}) ::unlink(f.c_str());
}

}  // namespace
