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

RaceKey ReadRaceKey() {
  RefreshKeys();
  if (KeyPressed(KeyRight)) return RaceKeyRight;
  if (KeyPressed(KeyLeft)) return RaceKeyLeft;
  if (KeyPressed(KeyUp)) return RaceKeySlide;
  if (KeyPressed(KeySpace)) return RaceKeyPause;
  return RaceKeyNone;
}

MenuKey ReadMenuKey() {
  RefreshKeys();
  if (KeyPressed(KeyUp)) return MenuUp;
  if (KeyPressed(KeyDown)) return MenuDown;
  if (KeyPressed(KeySpace)) return MenuDecide;
  return MenuNone;
}

}  // namespace quelt::game
