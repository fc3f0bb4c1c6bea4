#include "verify/game_digest.h"

namespace {

void addRun(GameDigest& d) {
  std::uint8_t run[9] = {d.input};
  for (int i = 0; i < 8; ++i) run[1 + i] = static_cast<std::uint8_t>(d.frames >> (8 * i));
  sha256Add(d.sha, run, sizeof run);
}

}  // namespace

void startGameDigest(GameDigest& d, std::uint32_t seed, std::int32_t rejump) {
  d = GameDigest{};
  sha256Add(d.sha, GAME_DIGEST_TAG, sizeof GAME_DIGEST_TAG);
  const std::uint8_t game[5] = {static_cast<std::uint8_t>(seed), static_cast<std::uint8_t>(seed >> 8),
                                static_cast<std::uint8_t>(seed >> 16), static_cast<std::uint8_t>(seed >> 24),
                                static_cast<std::uint8_t>(rejump != 0 ? 1 : 0)};
  sha256Add(d.sha, game, sizeof game);
}

void addGameFrames(GameDigest& d, std::uint8_t input, std::uint64_t frames) {
  if (frames == 0) return;
  input &= GAME_INPUT_BITS;
  // Runs of equal input merge whatever the records that hold them.
  if (d.frames != 0 && input != d.input) {
    addRun(d);
    d.frames = 0;
  }
  d.input = input;
  d.frames += frames;
}

Sha256Digest finishGameDigest(GameDigest& d) {
  if (d.frames != 0) addRun(d);
  d.frames = 0;
  return sha256Finish(d.sha);
}
