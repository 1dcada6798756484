#include "game/game_main.h"

#include "game/entry_layer.h"
#include "game/game_state.h"
#include "game/menus.h"
#include "game/race_scene.h"
#include "game/runner.h"

namespace quelt::game {

void RunRaceFrame(bool& running) {
  DrawRaceBackground();
  DrawRaceHud();
  DrawRivals();
  DrawPlayer();
  for (RunnerRecord& r : RivalTable) UpdateRival(r);
  running = UpdatePlayer() != 0;
  Engine.ApiPresentScreen();
  Engine.ApiEraseDrawScreen();
}

int RunGame() {
  InitialiseTextColours();
  Engine.ApiSetWindowIcon(100);
  Engine.ApiChangeWindowMode(1);
  Engine.ApiRequestScreenMode(600, 600, 32, 60);
  Engine.ApiSetWindowCaption("Tarn Vale");
  Engine.ApiEnableLogFile(0);
  if (Engine.ApiStartEngine() == -1) return -1;
  Engine.ApiSelectDrawScreen(DrawScreenBack);
  LoadGameAssets();
  ResetPlayer();
  while (Engine.ApiPumpMessages() == 0) {
    Engine.ApiStopSoundHandle(GameAssetHandles.raceMusic);
    Engine.ApiPlaySoundHandle(GameAssetHandles.titleMusic, 3, 1);
    const int32_t course = RunTitleMenu();
    // After a quit the menu may return a non-course entry; the program is ending then.
    if (course < 0 || course >= CourseCount) break;
    StartRace(course);
    bool running = true;
    while (Engine.ApiPumpMessages() == 0 && running) RunRaceFrame(running);
  }
  Engine.ApiStopEngine();
  return 0;
}

}  // namespace quelt::game
