#pragma once
// The engine entries the game calls, as one table. The program fills it with the engine's
// public entry functions; the game's tests fill it with a recording stand-in.
#include <cstdint>

namespace quelt::game {

constexpr int32_t DrawScreenBack = -2;

struct GameEntryLayer {
  int (*ApiStartEngine)();
  int (*ApiStopEngine)();
  int (*ApiPumpMessages)();
  int (*ApiSetWindowCaption)(const char* text);
  int (*ApiEnableLogFile)(int32_t flag);
  int (*ApiSetWindowIcon)(int32_t icon_id);
  int (*ApiChangeWindowMode)(int32_t mode);
  int (*ApiRequestScreenMode)(int32_t width, int32_t height, int32_t bits, int32_t refresh);
  int (*ApiSelectDrawScreen)(int32_t screen);
  int32_t (*ApiOpenGraphFile)(const char* path, int32_t flag);
  int (*ApiPresentScreen)();
  int (*ApiEraseDrawScreen)();
  int (*ApiDrawGraphAtPoint)(int32_t x, int32_t y, int32_t graph, int32_t transparent);
  int (*ApiDrawGraphRotated)(int32_t x, int32_t y, double scale, double angle, int32_t graph, int32_t transparent,
                             int32_t turn);
  int (*ApiSelectBlendMode)(int32_t mode, int32_t param);
  uint32_t (*ApiMakeScreenColourCode)(int32_t red, int32_t green, int32_t blue);
  // Fonts, input and sound.
  void (*ApiDrawTextFormatted)(int32_t x, int32_t y, uint32_t colour, const char* format, ...);
  int (*ApiDrawTextDefaultFont)(int32_t x, int32_t y, const char* text, uint32_t colour, uint32_t edge_colour);
  int (*ApiReadAllKeys)(uint8_t* key_states);
  int32_t (*ApiLoadSoundFile)(const char* path, int32_t buffer_count, int32_t flag);
  int (*ApiPlaySoundHandle)(int32_t sound, int32_t play_type, int32_t from_start);
  int (*ApiStopSoundHandle)(int32_t sound);
};

// Set before the game runs.
extern GameEntryLayer Engine;

}  // namespace quelt::game
