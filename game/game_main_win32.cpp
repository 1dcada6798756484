// The program entry: connects the game to the engine's public entries and runs it.
#include <windows.h>

#include "core/entry/api_entry.h"
#include "game/entry_layer.h"
#include "game/game_main.h"

namespace {

constexpr quelt::game::GameEntryLayer EngineEntries = {
    quelt::ApiStartEngine,         quelt::ApiStopEngine,          quelt::ApiPumpMessages,
    quelt::ApiSetWindowCaption,    quelt::ApiEnableLogFile,       quelt::ApiSetWindowIcon,
    quelt::ApiChangeWindowMode,    quelt::ApiRequestScreenMode,   quelt::ApiSelectDrawScreen,
    quelt::ApiOpenGraphFile,       quelt::ApiPresentScreen,       quelt::ApiEraseDrawScreen,
    quelt::ApiDrawGraphAtPoint,    quelt::ApiDrawGraphRotated,    quelt::ApiSelectBlendMode,
    quelt::ApiMakeScreenColourCode, quelt::ApiDrawTextFormatted,  quelt::ApiDrawTextDefaultFont,
    quelt::ApiReadAllKeys,         quelt::ApiLoadSoundFile,       quelt::ApiPlaySoundHandle,
    quelt::ApiStopSoundHandle,
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  quelt::game::Engine = EngineEntries;
  return quelt::game::RunGame();
}
