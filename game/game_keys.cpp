#include "game/game_keys.h"

#include "game/entry_layer.h"

namespace quelt::game {

std::array<uint8_t, 256> KeyHeldFrames{};
std::array<uint8_t, 256> KeyStateBuffer{};

void RefreshKeys() {
  KeyStateBuffer.fill(0);
  Engine.ApiReadAllKeys(KeyStateBuffer.data());
  for (size_t i = 0; i < KeyHeldFrames.size(); ++i) {
    KeyHeldFrames[i] = KeyStateBuffer[i] ? static_cast<uint8_t>(KeyHeldFrames[i] + 1) : 0;
  }
}

bool KeyPressed(int scan_code) { return KeyHeldFrames[scan_code] == 1; }

int8_t ReadRaceKey() {
  RefreshKeys();
  if (KeyPressed(KeyRight)) return 1;
  if (KeyPressed(KeyLeft)) return -1;
  if (KeyPressed(KeyUp)) return 2;
  if (KeyPressed(KeySpace)) return -2;
  return 0;
}

int8_t ReadMenuKey() {
  RefreshKeys();
  if (KeyPressed(KeyUp)) return -1;
  if (KeyPressed(KeyDown)) return 1;
  if (KeyPressed(KeySpace)) return MenuDecide;
  return 0;
}

}  // namespace quelt::game
