// The text form both ways. Arbitrary text must parse or be refused with a
// reason; whatever parses must unpack and pack back to the same bytes; and
// arbitrary bytes must unpack and pack back to themselves (trailing bytes
// aside).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "replay/replay_file.h"
#include "replay/replay_text.h"

namespace {

void expectRoundTrip(const std::vector<std::uint8_t>& bytes) {
  std::string text, error;
  if (!replayBytesToText(bytes, text, error)) {
    if (bytes.size() >= REPLAY_HEADER_SIZE) std::abort();
    return;
  }
  std::vector<std::uint8_t> again;
  if (!replayTextToBytes(text, again, error)) std::abort();
  // The text leaves out bytes after the records it shows.
  if (again.size() > bytes.size() || !std::equal(again.begin(), again.end(), bytes.begin())) std::abort();
  if (text.find(" after the records is not shown") == std::string::npos &&
      text.find(" after the records are not shown") == std::string::npos && again.size() != bytes.size())
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  expectRoundTrip(bytes);

  std::vector<std::uint8_t> packed;
  std::string error;
  if (replayTextToBytes(std::string(data, data + size), packed, error)) {
    expectRoundTrip(packed);
  } else if (error.empty()) {
    std::abort();  // a refusal always says why
  }
  return 0;
}
