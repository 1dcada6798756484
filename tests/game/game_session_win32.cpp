#include "game/game_session.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/api_entry.h"
#include "game/entry_layer.h"
#include "game/game_keys.h"
#include "game/game_state.h"
#include "game/menus.h"
#include "game/race_scene.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace quelt::game::testing {

GameSessionScript Session;

namespace {

int ScriptedPump() {
  if (++Session.pumps >= Session.quitAtPump) return -1;
  return quelt::ApiPumpMessages();
}

// The screen is read before it is shown: the Direct3D back buffer is undefined afterwards.
int WatchedPresent() {
  if (Session.presents++ == Session.captureAtPresent) {
    Session.captured.assign(600 * 600, 0);
    if (ReadBackDrawScreen(Session.captured.data(), 600, 600) != 0) Session.captured.clear();
  }
  return quelt::ApiPresentScreen();
}

int ScriptedKeys(uint8_t* keys) {
  std::memset(keys, 0, 256);
  if (Session.keysAt) {
    for (int k : Session.keysAt(Session.keyReads)) keys[k] = 0x80;
  }
  ++Session.keyReads;
  return 0;
}

constexpr GameEntryLayer SessionEntries = {
    quelt::ApiStartEngine,          quelt::ApiStopEngine,         ScriptedPump,
    quelt::ApiSetWindowCaption,     quelt::ApiEnableLogFile,      quelt::ApiSetWindowIcon,
    quelt::ApiChangeWindowMode,     quelt::ApiRequestScreenMode,  quelt::ApiSelectDrawScreen,
    quelt::ApiOpenGraphFile,        WatchedPresent,               quelt::ApiEraseDrawScreen,
    quelt::ApiDrawGraphAtPoint,     quelt::ApiDrawGraphRotated,   quelt::ApiSelectBlendMode,
    quelt::ApiMakeScreenColourCode, quelt::ApiDrawTextFormatted,  quelt::ApiDrawTextDefaultFont,
    ScriptedKeys,                   quelt::ApiLoadSoundFile,      quelt::ApiPlaySoundHandle,
    quelt::ApiStopSoundHandle,
};

std::string StartFolder;

double FileTimeSeconds(const FILETIME& t) {
  return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
}

}  // namespace

int StartGameSession(int32_t hardware, const char* caption) {
  char here[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof here, here);
  StartFolder = here;
  // The game reads "dat/..." from its working folder.
  std::string game = QUELT_GAME_DIR;
  if (!game.empty() && game[0] == '/') game = "Z:" + game;
  if (!SetCurrentDirectoryA(game.c_str())) return -1;
  Session = {};
  ResetGameGlobals();
  TitleMenuCursor = 0;
  KeyHeldFrames.fill(0);
  Engine = SessionEntries;
  quelt_test::SessionOptions options{caption};
  options.hardware = hardware;
  if (quelt_test::StartEngineSession(options) != 0) {
    SetCurrentDirectoryA(StartFolder.c_str());
    return -1;
  }
  InitialiseTextColours();
  Engine.ApiSelectDrawScreen(DrawScreenBack);
  LoadGameAssets();
  ResetPlayer();
  return 0;
}

void StopGameSession() {
  quelt_test::StopEngineSession();
  SetCurrentDirectoryA(StartFolder.c_str());
}

int32_t SessionHardware() { return ScreenState.hardware; }

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

bool WriteBmp(const std::string& path, const std::vector<uint32_t>& pixels, int32_t width, int32_t height) {
  if (pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t data = stride * static_cast<uint32_t>(height);
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&header](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(2, 54 + data);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  header[26] = 1;
  header[28] = 24;
  put32(34, data);
  bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
  std::vector<uint8_t> row(stride, 0);
  for (int32_t y = height - 1; y >= 0 && ok; --y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      row[x * 3] = static_cast<uint8_t>(p);
      row[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(p >> 16);
    }
    ok = std::fwrite(row.data(), 1, stride, f) == stride;
  }
  return std::fclose(f) == 0 && ok;
}

}  // namespace quelt::game::testing
