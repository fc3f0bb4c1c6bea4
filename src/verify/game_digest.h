// The game digest: one identity per game, whatever the file around it
// (docs/format.md defines it). A game is its seed, its rejump setting and
// the three input bits of every frame played; the digest hashes those as
// runs of equal input, so record splitting and ignored bits drop out.
#pragma once

#include <cstdint>

#include "replay/replay_file.h"
#include "verify/sha256.h"

// Hashed first: the digest's name and version.
inline constexpr char GAME_DIGEST_TAG[] = "runaudit game 1";  // with its NUL: 16 bytes

struct GameDigest {
  Sha256 sha;
  std::uint8_t input = 0;  // the run being gathered
  std::uint64_t frames = 0;
};

void startGameDigest(GameDigest& d, std::uint32_t seed, std::int32_t rejump);
// `frames` frames played with `input` (its other bits are ignored).
void addGameFrames(GameDigest& d, std::uint8_t input, std::uint64_t frames);
Sha256Digest finishGameDigest(GameDigest& d);
