#include "climber.h"

#include "replay/replay_file.h"
#include "sim/frame_step.h"
#include "sim/game_state.h"

std::uint8_t climbInput(const GameState& s) {
  const std::int32_t target = s.lastFloor + 1;
  const std::int32_t q = s.floorCount - target;
  std::uint8_t input = INPUT_JUMP;
  if (q < 1 || q > FLOOR_RING_SIZE) return input;
  std::int32_t slot = s.ringNext - q;
  if (slot < 0) slot += FLOOR_RING_SIZE;
  const FloorSlot& f = s.floors.slot[slot];
  const double centre = (f.left * 16 - 2 + f.right * 16 + 17) / 2.0;
  if (s.x < centre - 6.0) input |= INPUT_RIGHT;
  if (s.x > centre + 6.0) input |= INPUT_LEFT;
  return input;
}

ScriptedGame scriptClimb(std::uint32_t seed, std::uint32_t maxFrames) {
  ScriptedGame game{seed, {}};
  GameState s;
  initGame(s, 1, seed);
  for (std::uint32_t frame = 0; frame < maxFrames; ++frame) {
    const std::uint8_t input = climbInput(s);
    game.inputs.push_back(input);
    if (!stepFrame(s, input)) break;
  }
  return game;
}

std::vector<InputRecord> climbRecords(const ScriptedGame& game) {
  std::vector<InputRecord> records;
  for (std::size_t i = 0; i < game.inputs.size();) {
    std::size_t j = i;
    while (j + 1 < game.inputs.size() && game.inputs[j + 1] == game.inputs[i]) ++j;
    records.push_back({static_cast<std::int32_t>(j - i), game.inputs[i]});
    i = j + 1;
  }
  records.push_back({0, END_MARKER});
  return records;
}
