#include "game/game_session.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/entry/api_entry.h"
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
  std::string game = QUELT_GAME_DIR;
  if (!game.empty() && game[0] == '/') game = "Z:" + game;
  Session = {};
  ResetGameGlobals();
  TitleMenuCursor = 0;
  KeyHeldFrames.fill(0);
  Engine = SessionEntries;
  quelt_test::SessionOptions options{caption};
  options.hardware = hardware;
  // The engine starts in the test's own folder, which takes its log; the game folder, which
  // players play from, is left as it was built.
  if (quelt_test::StartEngineSession(options) != 0) return -1;
  // The game reads "dat/..." from its working folder.
  if (!SetCurrentDirectoryA(game.c_str())) {
    quelt_test::StopEngineSession();
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

}  // namespace quelt::game::testing
