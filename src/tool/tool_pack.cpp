#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "replay/replay_text.h"
#include "tool/tool_common.h"

namespace {

// The text read piece by piece into the reader: memory holds the records
// and one line, not the text.
bool packText(const char* path, std::vector<std::uint8_t>& bytes, std::string& error) {
  const int fd = openInput(path);
  if (fd < 0) {
    error = fileError(path, std::strerror(errno));
    return false;
  }
  ReplayTextReader reader;
  std::uint64_t total = 0;
  bool ok = true;
  std::vector<char> buf(1 << 16);
  for (;;) {
    const std::int64_t got = readSome(fd, buf.data(), buf.size());
    if (got < 0) {
      error = fileError(path, std::strerror(errno));
      ok = false;
      break;
    }
    if (got == 0) break;
    total += static_cast<std::uint64_t>(got);
    if (total > MAX_TEXT_BYTES) {
      error = fileError(path, "larger than " + std::to_string(MAX_TEXT_BYTES) + " bytes");
      ok = false;
      break;
    }
    if (!feedReplayText(reader, buf.data(), static_cast<std::size_t>(got))) break;  // reported below
  }
  closeInput(path, fd);
  if (!ok) return false;
  if (!finishReplayText(reader, bytes, error)) {
    error = fileError(path, error);
    return false;
  }
  return true;
}

}  // namespace

int runPack(const CommandLine& line) {
  if (const std::string wrong = operandError("pack", line, 2, "TEXT and OUT"); !wrong.empty())
    return reportError(EXIT_USAGE, wrong);
  const char* text = line.operands[0].c_str();
  const char* out = line.operands[1].c_str();
  if (!isStandardStream(text) && !isStandardStream(out) && sameFile(text, out)) return reportError(EXIT_USAGE, fileError(out, "the output would replace the input"));
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!packText(text, bytes, error) || !writeOutputBytes(out, bytes, error)) return reportError(EXIT_FAILED, error);
  return 0;
}

int runUnpack(const CommandLine& line) {
  if (const std::string wrong = operandError("unpack", line, 1, "FILE"); !wrong.empty())
    return reportError(EXIT_USAGE, wrong);
  const char* argv[] = {line.operands[0].c_str()};
  ReplayImage image;
  std::string error;
  if (!readReplayImage(argv[0], image, error)) return reportError(EXIT_FAILED, error);
  std::string text;
  if (!replayBytesToText(image.bytes, text, error, image.tail)) return reportError(EXIT_FAILED, fileError(argv[0], error));
  writeStandardOutput(text.data(), text.size());
  return 0;
}
