// Runs the built program and compares its whole standard output, its
// standard error (always empty) and its exit status.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/replay_builder.h"
#include "support/run_program.h"

namespace {

RunResult run(const std::string& args) { return runProgram(std::string(RUNAUDIT_BINARY) + " " + args); }

std::string sample(const char* name) { return std::string("'") + RUNAUDIT_SAMPLES + "/" + name + "'"; }

const char* const EXAMPLE_OUTPUT =
    "Replay information:\nName: abc\nDate: xyz\nScore: 1000\nFloor: 25\nCombo: 3\nRejump: On\n"
    "\nPlaying the replay to check it's validity...\nReplay is invalid\n";

TEST(Cli, UsageLine) {
  for (const char* args : {"", "a b", "a b c"}) {
    const RunResult r = run(args);
    EXPECT_EQ(r.out, "Usage: runaudit replay.wlx\n") << args;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
  }
}

TEST(Cli, LoadErrors) {
  struct Case {
    std::string args;
    const char* message;
  };
  ReplayFixture broken = exampleReplay();
  broken.checksumDelta = 1;
  const std::string brokenPath = writeTempFile("cli_broken", buildReplayBytes(broken));
  const Case cases[] = {
      {"/nonexistent/x.wlx", "Could not open file"},
      {"/dev/null", "File is not a valid replay"},
      {brokenPath, "File is not a valid replay"},
      {"/tmp", "Could not read from file"},
  };
  for (const Case& c : cases) {
    const RunResult r = run(c.args);
    EXPECT_EQ(r.out, std::string("Error occured while loading replay: ") + c.message + "\n") << c.args;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
  }
  ::unlink(brokenPath.c_str());
}

TEST(Cli, AllocationFailureIsReported) {
#ifdef RUNAUDIT_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#else
  // A sparse file that really holds 2^31 - 1 records (10 GiB), loaded with
  // a 1 GiB address-space limit: the one allocation fails cleanly.
  ReplayFixture fixture;
  fixture.recordCount = 2147483647;
  const std::string path = writeTempFile("cli_sparse", buildReplayBytes(fixture));
  ASSERT_EQ(::truncate(path.c_str(), 98 + 5 * 2147483647ll), 0);
  const RunResult r = runProgram("ulimit -v 1048576; " + std::string(RUNAUDIT_BINARY) + " " + path);
  EXPECT_EQ(r.out, "Error occured while loading replay: Memory allocation failed\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  ::unlink(path.c_str());
#endif
}

TEST(Cli, PipesAreReadWholeAndAnEarlyReaderChangesNothing) {
  // A live pipe read through /dev/stdin, its writer starting late; and a
  // reader that closes before the verdict is printed: exit status still 0.
  for (int attempt = 0; attempt < 10; ++attempt) {
    const RunResult r = runProgram("{ (sleep 0.0" + std::to_string(attempt % 3) + "; cat " + sample("seed36.wlx") +
                                   ") | " + RUNAUDIT_BINARY + " /dev/stdin; }");
    EXPECT_EQ(r.out.substr(r.out.size() - 16), "Replay is valid\n") << r.out;
    EXPECT_EQ(r.status, 0);
  }
  const std::string status = writeTempFile("cli_status", {});
  const RunResult early = runProgram("{ " + std::string(RUNAUDIT_BINARY) + " " + sample("seed36.wlx") + "; echo $? > " +
                                     status + "; } | { exec 0<&-; sleep 0.2; }");
  EXPECT_EQ(early.status, 0);
  EXPECT_EQ(slurp(status), "0\n");
  ::unlink(status.c_str());
}

TEST(Cli, ExampleFileReportsItsHeaderAndVerdict) {
  const RunResult r = run(sample("example.wlx"));
  EXPECT_EQ(r.out, EXAMPLE_OUTPUT);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST(Cli, ShippedSamplesAreTheDocumentedRecordings) {
  EXPECT_EQ(slurp(RUNAUDIT_SAMPLES "/example.wlx"), slurp(writeTempFile("ex", buildReplayBytes(exampleReplay()))));
  EXPECT_EQ(slurp(RUNAUDIT_SAMPLES "/seed36.wlx"), slurp(writeTempFile("s36", buildReplayBytes(seed36Replay()))));
}

TEST(Cli, Seed36SampleIsValid) {
  const RunResult r = run(sample("seed36.wlx"));
  EXPECT_EQ(r.out,
            "Replay information:\nName: tester\nDate: 2026-12-07\nScore: 0\nFloor: 1\nCombo: 0\nRejump: On\n"
            "\nPlaying the replay to check it's validity...\nReplay is valid\n");
  EXPECT_EQ(r.status, 0);

  // A scripted climber's game of 2515 frames: scrolling, speed level 1, floor 93.
  const RunResult climb = run(sample("climb.wlx"));
  EXPECT_EQ(climb.out.substr(climb.out.size() - 16), "Replay is valid\n");
  EXPECT_EQ(climb.status, 0);
}

TEST(Cli, HeaderTextsAndNumbers) {
  ReplayFixture fixture;
  fixture.name = std::string(32, 'N');  // byte 31 is stored and signed but never printed
  fixture.date = "";
  fixture.score = -5;
  fixture.rejump = 2;
  const std::string path = writeTempFile("cli_header", buildReplayBytes(fixture));
  const RunResult r = run(path);
  EXPECT_EQ(r.out, "Replay information:\nName: " + std::string(31, 'N') +
                       "\nDate: \nScore: -5\nFloor: 0\nCombo: 0\nRejump: On\n"
                       "\nPlaying the replay to check it's validity...\nReplay is invalid\n");
  EXPECT_EQ(r.status, 0) << "a verdict was printed";
  ::unlink(path.c_str());
}


// A name and a date forged to print a verdict line of their own and to act
// on the terminal (retitle it, clear it, a C1 CSI, reversed text).
ReplayFixture forgedTexts() {
  ReplayFixture f;
  f.name = "evil\x1B]0;pwned\x07\xE2\x80\xAEgnp.exe";
  f.date = "x\nReplay is valid\n\x1B[2J\xC2\x9B\xFF";
  return f;
}

std::string expectedOutput(const std::string& name, const std::string& date) {
  return "Replay information:\nName: " + name + "\nDate: " + date +
         "\nScore: 0\nFloor: 0\nCombo: 0\nRejump: Off\n"
         "\nPlaying the replay to check it's validity...\nReplay is invalid\n";
}

TEST(Cli, ForgedTextsPrintEscapedOnATerminalAndAsStoredThroughAPipe) {
  const std::string path = writeTempFile("cli_forged", buildReplayBytes(forgedTexts()));
  const RunResult piped = run(path);
  EXPECT_EQ(piped.out, expectedOutput(forgedTexts().name, forgedTexts().date)) << "the stored bytes, unchanged";
  EXPECT_EQ(piped.status, 0);

  if (runProgram("command -v script").status != 0) GTEST_SKIP() << "no script(1) for a pseudo-terminal";
  // Under a pseudo-terminal the line ends come back as CR LF.
  const RunResult tty = runProgram("script -qec " + shellQuote(std::string(RUNAUDIT_BINARY) + " " + path) + " /dev/null");
  std::string shown;
  for (char c : tty.out)
    if (c != '\r') shown += c;
  EXPECT_EQ(shown, expectedOutput("evil\\x1B]0;pwned\\x07\\xE2\\x80\\xAEgnp.exe",
                                  "x\\nReplay is valid\\n\\x1B[2J\\xC2\\x9B\\xFF"));
  EXPECT_EQ(tty.status, 0);
  // Printable UTF-8 is text, shown as it is on a terminal too.
  ReplayFixture plain;
  plain.name = "J\xC3\xBCrgen \\ \"x\"";
  const std::string plainPath = writeTempFile("cli_plain", buildReplayBytes(plain));
  const RunResult plainTty = runProgram("script -qec " + shellQuote(std::string(RUNAUDIT_BINARY) + " " + plainPath) + " /dev/null");
  EXPECT_NE(plainTty.out.find("Name: J\xC3\xBCrgen \\ \"x\"\r\n"), std::string::npos) << plainTty.out;
  ::unlink(path.c_str());
  ::unlink(plainPath.c_str());
}

// Through a pipe every text prints as stored: for each replay the suite
// ships, the whole output is rebuilt from the file's own header bytes.
TEST(Cli, PipedOutputIsTheStoredBytesForEveryShippedReplay) {
  std::size_t seen = 0;
  for (const char* dir : {RUNAUDIT_SAMPLES, RUNAUDIT_BENCH_WORST, RUNAUDIT_EDGE_FINDS}) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.path().extension() != ".wlx") continue;
      const std::string bytes = slurp(entry.path().string());
      ASSERT_GE(bytes.size(), 98u);
      const std::string name(bytes.c_str() + 10, strnlen(bytes.c_str() + 10, 31));
      const std::string date(bytes.c_str() + 42, strnlen(bytes.c_str() + 42, 31));
      const RunResult r = run(shellQuote(entry.path().string()));
      const std::string head = "Replay information:\nName: " + name + "\nDate: " + date + "\nScore: ";
      EXPECT_EQ(r.out.substr(0, head.size()), head) << entry.path();
      ++seen;
    }
  }
  EXPECT_GE(seen, 3u);
}

}  // namespace
