// What a user reads, whole: each text fixture's show output and check line
// against the expectations written in it, and the command-line grammar,
// every form accepted or refused, with its status and its error line.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/replay_builder.h"
#include "support/run_program.h"

namespace {

RunResult tool(const std::string& args) { return runProgram(std::string(REPLAYTOOL_BINARY) + " " + args); }

// A fixture's expectations: "#show LINE" (show's output, FILE for the
// file's path), "#check TEXT" (check's line after the path and its tab,
// \t for a tab), "#evidence TEXT" (the same of check --evidence) and
// "#cut N" (the packed file cut to N bytes).
struct Expected {
  std::string show;
  std::string check;
  std::string evidence;
  long cut = -1;
};

std::string unescapedTabs(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool tab = text.compare(i, 2, "\\t") == 0;
    out += tab ? '\t' : text[i];
    i += tab ? 1 : 0;
  }
  return out;
}

Expected expectations(const std::string& text) {
  Expected e;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("#show ", 0) == 0) e.show += line.substr(6) + "\n";
    if (line.rfind("#cut ", 0) == 0) e.cut = std::stol(line.substr(5));
    if (line.rfind("#check ", 0) == 0) e.check = unescapedTabs(line.substr(7));
    if (line.rfind("#evidence ", 0) == 0) e.evidence = unescapedTabs(line.substr(10));
  }
  return e;
}

std::string replaced(std::string text, const std::string& what, const std::string& with) {
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += with.size()) text.replace(at, what.size(), with);
  return text;
}

// Every fixture: show's whole output and check's whole line (with and
// without --evidence) as written in it, the statuses that go with them,
// and show's explanation and check --evidence's line the same through
// standard input. Then check --evidence on all of them as one folder on
// two threads: each file's line, in name order.
TEST(ReplayToolTexts, EveryFixtureReadsAsItsExpectationsSay) {
  int fixtures = 0;
  const std::string folder = writeTempFile("fixtures", {});
  ::unlink(folder.c_str());
  std::filesystem::create_directory(folder);
  std::map<std::string, std::string> folderLines, folderDigests;
  for (const auto& entry : std::filesystem::directory_iterator(TOOL_FIXTURES)) {
    if (entry.path().extension() != ".txt") continue;
    const std::string source = entry.path().string();
    const std::string name = entry.path().stem().string();
    const Expected e = expectations(slurp(source));
    ASSERT_FALSE(e.show.empty()) << name << " says what show prints";
    ASSERT_FALSE(e.check.empty()) << name << " says what check prints";
    ASSERT_FALSE(e.evidence.empty()) << name << " says what check --evidence prints";
    const std::string path = writeTempFile(name, {});
    ASSERT_EQ(tool("pack " + shellQuote(source) + " " + path).status, 0) << name;
    if (e.cut >= 0) std::filesystem::resize_file(path, static_cast<std::uintmax_t>(e.cut));
    const bool loads = e.check.rfind("error\t", 0) != 0;

    const RunResult shown = tool("show " + path);
    EXPECT_EQ(shown.out, replaced(e.show, "FILE", path)) << name;
    EXPECT_EQ(shown.status, loads ? 0 : 1) << name;
    EXPECT_EQ(shown.err, loads ? "" : "replaytool: " + path + ": File is not a valid replay\n") << name;
    const RunResult piped = runProgram("{ " + std::string(REPLAYTOOL_BINARY) + " show - < " + path + "; }");
    EXPECT_EQ(piped.out, replaced(e.show, "FILE", "-")) << name;

    const RunResult checked = tool("check " + path);
    EXPECT_EQ(checked.out, path + "\t" + e.check + "\n") << name;
    EXPECT_EQ(checked.status, e.check.rfind("valid\t", 0) == 0 ? 0 : 1) << name;
    EXPECT_EQ(checked.err, "") << name;
    const bool differ = e.check.find("\tclaims differ\t") != std::string::npos;
    EXPECT_EQ(tool("check --require-claims " + path).status, checked.status == 0 && !differ ? 0 : 1) << name;

    const RunResult evidence = tool("check --evidence " + path);
    EXPECT_EQ(evidence.out, path + "\t" + e.evidence + "\n") << name;
    EXPECT_EQ(evidence.status, checked.status) << name;
    EXPECT_EQ(evidence.err, "") << name;
    const RunResult pipedEvidence = runProgram("{ " + std::string(REPLAYTOOL_BINARY) + " check --evidence - < " + path + "; }");
    EXPECT_EQ(pipedEvidence.out, "-\t" + e.evidence + "\n") << name;
    std::filesystem::rename(path, folder + "/" + name + ".wlx");
    folderLines[name + ".wlx"] = folder + "/" + name + ".wlx\t" + e.evidence;
    const std::size_t digestAt = e.show.find("Game digest:    ");
    if (digestAt != std::string::npos) folderDigests[name + ".wlx"] = e.show.substr(digestAt + 16, 64);
    ++fixtures;
  }
  EXPECT_GE(fixtures, 15);
  // A later file of a game already listed names the first.
  std::string inOrder;
  std::map<std::string, std::string> firstOfGame;
  for (const auto& [name, line] : folderLines) {
    inOrder += line;
    if (const auto digest = folderDigests.find(name); digest != folderDigests.end()) {
      const auto [first, fresh] = firstOfGame.emplace(digest->second, name);
      if (!fresh) inOrder += "\tsame game as " + folder + "/" + first->second;
    }
    inOrder += "\n";
  }
  const RunResult all = tool("check --evidence -j2 " + folder);
  EXPECT_EQ(all.out, inOrder);
  EXPECT_EQ(all.status, 1);
  std::filesystem::remove_all(folder);
}

// The grammar, command by command: each form with its status, its output
// (that of an equivalent command line, or none) and its whole error line.
// 2 is a usage error, 1 a file that cannot be opened or read as a replay.
TEST(ReplayToolTexts, EveryFormOfTheCommandLine) {
  const std::string s = shellQuote(std::string(RUNAUDIT_SAMPLES) + "/seed36.wlx");
  const std::string bad = shellQuote(std::string(RUNAUDIT_SAMPLES) + "/example.wlx");
  const std::string text = shellQuote(std::string(TOOL_FIXTURES) + "/marker_late.txt");
  const std::string seed36Line = std::string(RUNAUDIT_SAMPLES) + "/seed36.wlx\tvalid\tframes 101\tfloor 1\tcombo 0\tcombo score 0\tclaims match\n";
  struct Case {
    std::string args;
    int status;
    std::string sameAs;  // a command line whose standard output this one's equals; "" for none
    std::string err;     // the whole of standard error, "replaytool: " left out
    std::string input = "";  // standard input, when not /dev/null
  };
  const std::string usage = "usage: replaytool show FILE [--json]\n";
  const Case cases[] = {
      // show
      {"show " + s + " --json", 0, "show --json " + s, ""},
      {"show -- " + s, 0, "show " + s, ""},
      {"show " + s + " --", 0, "show " + s, ""},
      {"show", 2, "", "show needs FILE"},
      {"show --json", 2, "", "show needs FILE"},
      {"show " + s + " x y", 2, "", "show takes one FILE (extra argument x)"},
      {"show " + s + " -- --json", 2, "", "show takes one FILE (extra argument --json)"},
      {"show -- --json", 1, "", "--json: No such file or directory"},
      {"show --json= " + s, 2, "", "show: --json takes no value"},
      {"show --xml " + s, 2, "", "show: unknown option --xml"},
      {"show --xml=1 " + s, 2, "", "show: unknown option --xml"},
      {"show -j1 " + s, 2, "", "show: unknown option -j1"},
      {"show -q " + s, 2, "", "show: unknown option -q"},
      {"show /nonexistent.wlx", 1, "", "/nonexistent.wlx: No such file or directory"},
      {"show " + bad, 0, "show " + bad, ""},
      // trace
      {"trace --from=100 " + s, 0, "trace --from 100 " + s, ""},
      {"trace " + s + " --to=3", 0, "trace " + s + " --to 3", ""},
      {"trace --all " + s, 0, "trace " + s, ""},
      {"trace - --from 100", 0, "trace " + s + " --from 100", "", s},
      {"trace", 2, "", "trace needs FILE"},
      {"trace " + s + " x y", 2, "", "trace takes one FILE (extra argument x)"},
      {"trace -- " + s + " --from 3", 2, "", "trace takes one FILE (extra argument --from)"},
      {"trace " + s + " --from", 2, "", "trace: --from needs a frame number"},
      {"trace " + s + " --to", 2, "", "trace: --to needs a frame number"},
      {"trace " + s + " --from=", 2, "", "trace: --from needs a frame number"},
      {"trace " + s + " --from x", 2, "", "trace: --from needs a frame number"},
      {"trace " + s + " --from -1", 2, "", "trace: --from needs a frame number"},
      {"trace " + s + " --to 18446744073709551616", 2, "", "trace: --to needs a frame number"},
      {"trace " + s + " --from 5 --to 4", 2, "", "trace: --from 5 is after --to 4"},
      {"trace " + s + " --all=yes", 2, "", "trace: --all takes no value"},
      {"trace " + s + " --all --all", 2, "", "trace: --all given twice"},
      {"trace " + s + " --from 102", 1, "", "trace: --from 102 is past the end: the replay has 101 frames"},
      {"trace /nonexistent.wlx", 1, "", "/nonexistent.wlx: No such file or directory"},
      // check
      {"check -j1 " + s, 0, "check " + s, ""},
      {"check -j 1 " + s, 0, "check " + s, ""},
      {"check -j=1 " + s, 0, "check " + s, ""},
      {"check --jobs=1 " + s, 0, "check " + s, ""},
      {"check " + s + " --jobs 1024", 0, "check " + s, ""},
      {"check", 2, "", "check needs at least one FILE"},
      {"check --json --require-claims", 2, "", "check needs at least one FILE"},
      {"check - " + s + " -", 2, "", "check: - (standard input) given more than once"},
      {"check -j 0 " + s, 2, "", "check: --jobs needs a number from 1 to 1024"},
      {"check -j1025 " + s, 2, "", "check: --jobs needs a number from 1 to 1024"},
      {"check -j=-1 " + s, 2, "", "check: --jobs needs a number from 1 to 1024"},
      {"check --jobs= " + s, 2, "", "check: --jobs needs a number from 1 to 1024"},
      {"check -j 2x " + s, 2, "", "check: --jobs needs a number from 1 to 1024"},
      {"check -j 18446744073709551617 " + s, 2, "", "check: --jobs needs a number from 1 to 1024"},
      {"check " + s + " -j", 2, "", "check: -j needs a number from 1 to 1024"},
      {"check " + s + " --jobs", 2, "", "check: --jobs needs a number from 1 to 1024"},
      {"check -j1 --jobs 2 " + s, 2, "", "check: --jobs given twice"},
      {"check --require-claims=1 " + s, 2, "", "check: --require-claims takes no value"},
      {"check -J1 " + s, 2, "", "check: unknown option -J1"},
      {"check --job=1 " + s, 2, "", "check: unknown option --job"},
      {"check " + bad, 1, "", ""},
      {"check --evidence -j1 " + s, 0, "check " + s + " --evidence", ""},
      {"check --evidence=yes " + s, 2, "", "check: --evidence takes no value"},
      {"check --evidence --evidence " + s, 2, "", "check: --evidence given twice"},
      // pack
      {"pack " + text + " -", 0, "pack - -", "", text},
      {"pack", 2, "", "pack needs TEXT and OUT"},
      {"pack " + text, 2, "", "pack needs TEXT and OUT"},
      {"pack " + text + " - x y", 2, "", "pack takes TEXT and OUT (extra argument x)"},
      {"pack --json " + text + " -", 2, "", "pack: unknown option --json"},
      {"pack /nonexistent.txt -", 1, "", "/nonexistent.txt: No such file or directory"},
      {"pack /dev/null -", 1, "", "/dev/null: missing field: name"},
      // unpack
      {"unpack -", 0, "unpack " + s, "", s},
      {"unpack -- " + s, 0, "unpack " + s, ""},
      {"unpack -- -", 0, "unpack " + s, "", s},
      {"unpack", 2, "", "unpack needs FILE"},
      {"unpack " + s + " x y", 2, "", "unpack takes one FILE (extra argument x)"},
      {"unpack " + s + " -o x", 2, "", "unpack: unknown option -o"},
      // view
      {"view " + s + " -o -", 0, "view " + s, ""},
      {"view " + s + " -o-", 0, "view " + s, ""},
      {"view " + s + " -o=-", 0, "view " + s, ""},
      {"view " + s + " --output=-", 0, "view " + s, ""},
      {"view " + s + " --output -", 0, "view " + s, ""},
      {"view - --svg=-", 0, "view " + s + " --svg -", "", s},
      {"view", 2, "", "view needs FILE"},
      {"view " + s + " x y", 2, "", "view takes one FILE (extra argument x)"},
      {"view " + s + " -o", 2, "", "view: -o needs a file name"},
      {"view " + s + " --output", 2, "", "view: --output needs a file name"},
      {"view " + s + " --svg", 2, "", "view: --svg needs a file name"},
      {"view " + s + " -o - --svg -", 2, "", "view: -o and --svg cannot both be standard output"},
      {"view " + s + " -o a -o b", 2, "", "view: --output given twice"},
      {"view " + s + " -x", 2, "", "view: unknown option -x"},
      {"view /nonexistent.wlx -o -", 1, "", "/nonexistent.wlx: No such file or directory"},
      // the commands themselves
      {"", 2, "", ""},
      {"help show x", 2, "", "help takes one COMMAND"},
      {"Show " + s, 2, "", "unknown command 'Show'; did you mean 'show'?"},
      {"-v", 2, "", "unknown command: -v (see replaytool --help)"},
      {"show -h " + s, 0, "help show", ""},
      {"show --help=1 " + s, 2, "", "show: --help takes no value"},
      {"check " + s + " --help", 0, "help check", ""},
  };
  for (const Case& c : cases) {
    const std::string rt = REPLAYTOOL_BINARY;
    const std::string input = c.input.empty() ? "" : " < " + c.input;
    const RunResult r = runProgram("{ " + rt + " " + c.args + input + "; }");
    EXPECT_EQ(r.status, c.status) << c.args;
    if (c.args.empty()) {
      EXPECT_EQ(r.err.rfind(usage, 0), 0u) << "the usage, on standard error: " << r.err;
    } else {
      EXPECT_EQ(r.err, c.err.empty() ? "" : "replaytool: " + c.err + "\n") << c.args;
    }
    if (c.sameAs.empty()) {
      if (c.status == 2) {
        EXPECT_EQ(r.out, "") << c.args;
      }
      continue;
    }
    const RunResult same = runProgram("{ " + rt + " " + c.sameAs + input + "; }");
    EXPECT_EQ(same.status, 0) << c.sameAs;
    EXPECT_FALSE(same.out.empty()) << c.sameAs;
    EXPECT_EQ(r.out, same.out) << c.args << " against " << c.sameAs;
  }
  // check's line for standard input names it "-".
  EXPECT_EQ(runProgram("{ " + std::string(REPLAYTOOL_BINARY) + " check -j=2 -- " + s + " - < " + s + "; }").out,
            seed36Line + "-" + seed36Line.substr(seed36Line.find('\t'), seed36Line.size() - seed36Line.find('\t') - 1) +
                "\tsame game as " + seed36Line.substr(0, seed36Line.find('\t')) + "\n");
}

}  // namespace
