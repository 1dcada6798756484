#include "game/menus.h"

#include <optional>

#include "game/entry_layer.h"
#include "game/game_keys.h"
#include "game/game_state.h"
#include "game/race_scene.h"
#include "game/save_slots.h"
#include "softrender/blend_mode.h"

namespace quelt::game {

int32_t TitleMenuCursor = 0;

namespace {

constexpr const char* Cursor = "◇";
// The pause panel is drawn three quarters opaque over the frozen race.
constexpr int32_t PausePanelOpacity = 191;

void MenuText(int32_t x, int32_t y, const char* text) {
  Engine.ApiDrawTextDefaultFont(x, y, text, MenuTextColour, 0);
}

void PauseText(int32_t x, int32_t y, const char* text) {
  Engine.ApiDrawTextDefaultFont(x, y, text, PauseTextColour, 0);
}

void Flip() {
  Engine.ApiPresentScreen();
  Engine.ApiEraseDrawScreen();
}

}  // namespace

void PlayMoveSound() { Engine.ApiPlaySoundHandle(GameAssetHandles.moveSound, 1, 1); }
void PlayDecideSound() { Engine.ApiPlaySoundHandle(GameAssetHandles.decideSound, 1, 1); }

int64_t TrainingCost(int32_t total_level) {
  if (total_level < 0) return 0;
  if (total_level > 62) return INT64_MAX;
  return int64_t{1} << total_level;
}

std::string TrainingCostText(int32_t total_level) {
  if (total_level < 0) return "0";
  // Doubling a little-endian string of decimal digits.
  std::string digits = "1";
  for (int32_t i = 0; i < total_level; ++i) {
    int carry = 0;
    for (char& d : digits) {
      const int v = (d - '0') * 2 + carry;
      d = static_cast<char>('0' + v % 10);
      carry = v / 10;
    }
    if (carry != 0) digits.push_back(static_cast<char>('0' + carry));
  }
  return {digits.rbegin(), digits.rend()};
}

int32_t RunTitleMenu() {
  bool decided = false;
  while (Engine.ApiPumpMessages() == 0 && !decided) {
    DrawTitleScreen();
    MenuText(450, 200, "レースに出る");
    for (int32_t i = 0; i < CourseCount; ++i) {
      Engine.ApiDrawTextFormatted(450, 220 + 20 * i, MenuTextColour, "　%s", CourseNames[i]);
    }
    MenuText(450, 480, "素質改善");
    MenuText(450, 520, "ゲームセーブ");
    MenuText(450, 540, "ゲームロード");
    MenuText(430, MenuCursorRows[TitleMenuCursor], Cursor);
    const MenuKey key = ReadMenuKey();
    if (key == MenuUp || key == MenuDown) {
      PlayMoveSound();
      TitleMenuCursor = (TitleMenuCursor + key + 15) % 15;
    }
    Flip();
    if (key != MenuDecide) continue;
    if (TitleMenuCursor == 12) {
      PlayDecideSound();
      RunTrainingMenu();
    } else if (TitleMenuCursor == 13) {
      PlayDecideSound();
      RunSaveLoadScreen(1);
    } else if (TitleMenuCursor == 14) {
      PlayDecideSound();
      RunSaveLoadScreen(0);
    } else {
      decided = true;
    }
  }
  return TitleMenuCursor;
}

void RunTrainingMenu() {
  int32_t cursor = 0;
  const char* message = "";
  while (Engine.ApiPumpMessages() == 0) {
    DrawTitleScreen();
    PlayerProfileRecord& p = PlayerProfile;
    const int64_t cost = TrainingCost(p.totalLevel);
    MenuText(350, 200, "素質改善");
    MenuText(380, 220, "脱力ＵＰ");
    Engine.ApiDrawTextFormatted(410, 240, MenuTextColour, "必要徳数：%s", TrainingCostText(p.totalLevel).c_str());
    MenuText(410, 260, "上限２０");
    MenuText(380, 280, "体格ＵＰ");
    MenuText(410, 300, "脱力５と引き換え");
    MenuText(410, 320, "上限２０");
    MenuText(380, 340, "戻る");
    Engine.ApiDrawTextFormatted(350, 380, MenuTextColour, "%s", message);
    MenuText(360, 220 + 60 * cursor, Cursor);
    const MenuKey key = ReadMenuKey();
    if (key == MenuUp || key == MenuDown) {
      PlayMoveSound();
      cursor = (cursor + key + 3) % 3;
    } else if (key == MenuDecide && cursor == 0) {
      if (p.virtue < cost) {
        message = "徳が足りません。";
      } else if (p.relaxation < 20) {
        PlayDecideSound();
        p.virtue = static_cast<int32_t>(p.virtue - cost);
        p.totalLevel += 1;
        p.relaxation += 1;
        message = "脱力しました。";
      } else {
        message = "これ以上脱力できません。";
      }
    } else if (key == MenuDecide && cursor == 1) {
      if (p.relaxation <= 4) {
        message = "脱力が足りません。";
      } else if (p.physique < 20) {
        PlayDecideSound();
        p.relaxation -= 5;
        p.physique += 1;
        message = "巨大化しました。";
      } else {
        message = "これ以上大きくなれません。";
      }
    } else if (key == MenuDecide && cursor == 2) {
      PlayDecideSound();
      Flip();
      return;
    }
    Flip();
  }
}

int32_t RunPauseDialog() {
  PlayDecideSound();
  if (Engine.ApiPumpMessages() != 0) return 0;
  int32_t cursor = 0;
  for (;;) {
    DrawRaceBackground();
    DrawRaceHud();
    DrawRivals();
    DrawPlayer();
    Engine.ApiSelectBlendMode(BlendAlpha, PausePanelOpacity);
    Engine.ApiDrawGraphAtPoint(200, 200, GameAssetHandles.pause, 0);
    Engine.ApiSelectBlendMode(BlendCopy, 0);
    PauseText(230, 240, "ＲＥＴＩＲＥ？");
    PauseText(270, 290, "Ｎｏ！！！");
    PauseText(270, 340, "Ｙｅｓ．．．．");
    PauseText(250, 290 + 50 * cursor, Cursor);
    const MenuKey key = ReadMenuKey();
    if (key == MenuUp || key == MenuDown) {
      PlayMoveSound();
      cursor = 1 - cursor;
    } else if (key == MenuDecide) {
      PlayDecideSound();
      return cursor;
    }
    Flip();
    if (Engine.ApiPumpMessages() != 0) return cursor;
  }
}

void RunSaveLoadScreen(int32_t save_flag) {
  const char* title = save_flag ? "【Save】" : "【Load】";
  std::array<std::optional<PlayerProfileRecord>, SaveSlotCount> slots;
  auto read_slots = [&slots] {
    for (int i = 0; i < SaveSlotCount; ++i) slots[i] = ReadSaveSlot(i);
  };
  read_slots();
  const char* message = "";
  int32_t cursor = 0;
  while (Engine.ApiPumpMessages() == 0) {
    Engine.ApiEraseDrawScreen();
    DrawTitleScreen();
    Engine.ApiDrawTextFormatted(330, 320, MenuTextColour, "%s", title);
    for (int i = 0; i < SaveSlotCount; ++i) {
      const int32_t y = 350 + 30 * i;
      if (slots[i]) {
        const PlayerProfileRecord& r = *slots[i];
        Engine.ApiDrawTextFormatted(350, y, MenuTextColour, "%d / %d / %d / %d / %s", r.virtue, r.physique,
                                    r.relaxation, r.totalLevel, PreviousLifeName(r.previousLife));
      } else {
        MenuText(350, y, "no data");
      }
    }
    MenuText(350, 500, "戻る");
    Engine.ApiDrawTextFormatted(330, 530, MenuTextColour, "%s", message);
    MenuText(330, 350 + 30 * cursor, Cursor);
    const MenuKey key = ReadMenuKey();
    if (key == MenuUp || key == MenuDown) {
      PlayMoveSound();
      cursor = (cursor + key + 6) % 6;
    } else if (key == MenuDecide && cursor == 5) {
      PlayDecideSound();
      Engine.ApiPresentScreen();
      return;
    } else if (key == MenuDecide && save_flag) {
      if (Engine.ApiPumpMessages() != 0 || WriteSaveSlot(cursor, PlayerProfile) != 0) {
        message = "ファイルオープンエラー";
      } else {
        message = "セーブしました。";
        read_slots();
        PlayDecideSound();
      }
    } else if (key == MenuDecide) {
      if (slots[cursor]) {
        PlayerProfile = *slots[cursor];
        PlayDecideSound();
        message = "ロードしました。";
      } else {
        message = "データがないです。";
      }
    }
    Engine.ApiPresentScreen();
  }
}

}  // namespace quelt::game
