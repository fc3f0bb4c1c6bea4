// Arbitrary records through the evidence analysis: with its shortcuts
// (moved runs meeting the recorded one, long stretches played by playback,
// edges met again taking the windows found before)
// and without, every edge's window, its ends and outcome must agree, and
// nothing may misbehave.
// Input: rejump (4 bytes), seed (4 bytes), reach and horizon (1 byte each),
// then 5-byte records whose repeat is bounded so that games stay short.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "evidence/evidence.h"
#include "sim/fpu_mode.h"

namespace {

constexpr std::int32_t MAX_REPEAT = 3000;
constexpr std::uint64_t FRAME_BUDGET = 400'000;

bool sameEdges(const Evidence& a, const Evidence& b) {
  if (a.edges.size() != b.edges.size() || a.cut != b.cut || a.gameFrames != b.gameFrames) return false;
  for (std::size_t i = 0; i < a.edges.size(); ++i) {
    const EvidenceEdge &x = a.edges[i], &y = b.edges[i];
    if (x.frame != y.frame || x.key != y.key || x.press != y.press || x.lo != y.lo || x.hi != y.hi ||
        x.loEnd != y.loEnd || x.hiEnd != y.hiEnd || !(x.outcome == y.outcome))
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  resetFloatingPointUnit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return 0;
  ReplayFile replay{};
  replay.header.rejump = static_cast<std::int32_t>(loadLE32(data));
  replay.header.seed = loadLE32(data + 4);
  EvidenceOptions quick;
  quick.reach = data[8] % 12;
  quick.horizon = 1 + data[9] % 200;
  quick.frameBudget = FRAME_BUDGET;

  const std::size_t count = (size - 10) / INPUT_RECORD_SIZE;
  std::vector<std::uint8_t> body(count * INPUT_RECORD_SIZE + 1);
  std::memcpy(body.data(), data + 10, count * INPUT_RECORD_SIZE);
  for (std::size_t j = 0; j < count; ++j) {
    std::uint8_t* p = body.data() + j * INPUT_RECORD_SIZE;
    encodeRecord({static_cast<std::int32_t>(loadLE32(p)) % MAX_REPEAT, p[4]}, p);
  }
  replay.header.recordCount = static_cast<std::int32_t>(count);
  replay.records = body.data();

  // Without the shortcuts more frames are stepped: a budget the plain
  // analysis cannot run out of, so that both see every edge the quick one
  // sees. The quick one, cut, is compared up to its cut.
  EvidenceOptions plain = quick;
  plain.meetRecorded = false;
  plain.skipStretches = false;
  plain.reuseWindows = false;
  plain.frameBudget = UINT64_MAX / 4;
  plain.maxEdges = 400;
  quick.maxEdges = 400;
  const Evidence a = analyseEvidence(replay, 0, quick);
  Evidence b = analyseEvidence(replay, 0, plain);
  if (a.cut == EvidenceCut::Frames) {
    if (b.edges.size() < a.edges.size()) std::abort();
    b.edges.resize(a.edges.size());
    b.cut = a.cut;
  }
  if (!sameEdges(a, b)) std::abort();
  return 0;
}
