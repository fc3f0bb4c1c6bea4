#include <cstdio>

#include "replay/replay_text.h"
#include "tool/tool_common.h"

int runPack(const CommandLine& line) {
  if (line.operands.size() < 2) return reportError(EXIT_USAGE, "pack needs TEXT and OUT");
  if (line.operands.size() > 2) return reportError(EXIT_USAGE, extraOperand("pack takes TEXT and OUT", line, 2));
  const char* argv[] = {line.operands[0].c_str(), line.operands[1].c_str()};
  if (sameFile(argv[0], argv[1])) return reportError(EXIT_USAGE, fileError(argv[1], "the output would replace the input"));
  std::vector<std::uint8_t> text;
  std::string error;
  if (!readFileBytes(argv[0], text, MAX_TEXT_BYTES, error)) return reportError(EXIT_FAILED, error);
  std::vector<std::uint8_t> bytes;
  if (!replayTextToBytes(std::string(text.begin(), text.end()), bytes, error))
    return reportError(EXIT_FAILED, fileError(argv[0], error));
  if (!writeFileBytes(argv[1], bytes, error)) return reportError(EXIT_FAILED, error);
  return 0;
}

int runUnpack(const CommandLine& line) {
  if (line.operands.empty()) return reportError(EXIT_USAGE, "unpack needs FILE");
  if (line.operands.size() > 1) return reportError(EXIT_USAGE, extraOperand("unpack takes one FILE", line, 1));
  const char* argv[] = {line.operands[0].c_str()};
  ReplayImage image;
  std::string error;
  if (!readReplayImage(argv[0], image, error)) return reportError(EXIT_FAILED, error);
  std::string text;
  if (!replayBytesToText(image.bytes, text, error, image.tail)) return reportError(EXIT_FAILED, fileError(argv[0], error));
  std::fputs(text.c_str(), stdout);
  return 0;
}
