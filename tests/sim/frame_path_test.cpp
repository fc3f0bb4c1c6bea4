// The arithmetic path is the caller's explicit choice (useFramePath,
// runaudit_set_arithmetic), never the library's environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "api/runaudit.h"
#include "app/frames_option.h"
#include "climber.h"
#include "support/replay_builder.h"
#include "sim/extended.h"
#include "sim/frame_variants.h"

namespace {

FramePath automaticPath() {
  useFramePath(FramePath::Auto);
  const FramePath path = framePathInUse();
  useFramePathFromEnvironment();  // back to what this run of the tests chose
  return path;
}

// A climbing game of some thousands of frames, with scrolling and landings,
// as file bytes.
std::vector<std::uint8_t> climbingReplay() {
  ReplayFixture fixture;
  fixture.rejump = 1;
  fixture.seed = 4242;
  fixture.records = climbRecords(scriptClimb(fixture.seed, 20000));
  return buildReplayBytes(fixture);
}

std::string resultJson(const std::vector<std::uint8_t>& bytes) {
  runaudit_result result;
  runaudit_check_bytes(bytes.data(), bytes.size(), &result);
  char* json = nullptr;
  EXPECT_EQ(runaudit_result_json(&result, &json, nullptr), 0);
  std::string text = json != nullptr ? json : "";
  runaudit_free(json);
  return text;
}

void setVariable(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) setenv(name, value, 1);
  else unsetenv(name);
#endif
}

}  // namespace

TEST(FramePath, TheExplicitChoiceTakesEffectAndChangesNoResult) {
  const std::vector<std::uint8_t> bytes = climbingReplay();
  ASSERT_EQ(runaudit_set_arithmetic("auto"), 0);
  const FramePath automatic = framePathInUse();
  EXPECT_EQ(automatic, RUNAUDIT_EXTENDED_IS_SOFTWARE == 0 ? FramePath::Exact
                       : fastFramesSupported()           ? FramePath::Fused
                                                         : FramePath::Split);
  const std::string expected = resultJson(bytes);
  EXPECT_NE(expected.find("\"frames\":"), std::string::npos) << expected;

  const struct {
    const char* name;
    FramePath path;
  } choices[] = {{"exact", FramePath::Exact},
                 {"fast", fastFramesSupported() ? FramePath::Fused : FramePath::Split},
                 {"split", FramePath::Split},
                 {"auto", automatic}};
  for (const auto& choice : choices) {
    ASSERT_EQ(runaudit_set_arithmetic(choice.name), 0) << choice.name;
    EXPECT_EQ(framePathInUse(), choice.path) << choice.name;
    EXPECT_EQ(fastFramesInUse(), choice.path != FramePath::Exact) << choice.name;
    EXPECT_EQ(resultJson(bytes), expected) << choice.name;
  }

  // Anything else is refused and changes nothing.
  ASSERT_EQ(runaudit_set_arithmetic("split"), 0);
  for (const char* name : {"", "Split", "EXACT", "fused", "split ", "x87"}) {
    EXPECT_EQ(runaudit_set_arithmetic(name), -1) << '"' << name << '"';
    EXPECT_EQ(framePathInUse(), FramePath::Split) << '"' << name << '"';
  }
  EXPECT_EQ(runaudit_set_arithmetic(nullptr), -1);
  EXPECT_EQ(framePathInUse(), FramePath::Split);
  useFramePathFromEnvironment();
}

TEST(FramePath, TheLibraryIgnoresRunauditFramesInItsEnvironment) {
  const FramePath automatic = automaticPath();
  const char* other = automatic == FramePath::Exact ? "split" : "exact";
  const char* before = std::getenv("RUNAUDIT_FRAMES");
  const std::string saved = before != nullptr ? before : "";
  setVariable("RUNAUDIT_FRAMES", other);

  ASSERT_EQ(runaudit_set_arithmetic("auto"), 0);
  const std::vector<std::uint8_t> bytes = climbingReplay();
  runaudit_result result;
  runaudit_check_bytes(bytes.data(), bytes.size(), &result);
  EXPECT_NE(result.verdict, RUNAUDIT_ERROR);
  EXPECT_EQ(framePathInUse(), automatic) << "RUNAUDIT_FRAMES=" << other;

  // The programs' switch does read it.
  useFramePathFromEnvironment();
  EXPECT_EQ(framePathInUse(), automatic == FramePath::Exact ? FramePath::Split : FramePath::Exact);

  setVariable("RUNAUDIT_FRAMES", before != nullptr ? saved.c_str() : nullptr);
  useFramePathFromEnvironment();
}
