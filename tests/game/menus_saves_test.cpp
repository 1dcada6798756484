#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/game_keys.h"
#include "game/game_state.h"
#include "game/menus.h"
#include "game/race_scene.h"
#include "game/runner.h"
#include "game/recording_entry.h"
#include "game/save_slots.h"

namespace quelt::game {
namespace {

using testing::CallsNamed;

TEST(GameSaves, StartingProfileBytesAndRoundTrip) {
  const PlayerProfileRecord start{0, 0, 0, 1, -1};
  const SaveRecordBytes expected = {0x29, 0x15, 0, 0, 0x29, 0x15, 0, 0, 0x29, 0x15,
                                    0,    0,    0x28, 0x15, 0, 0, 0xD6, 0xEA, 0xFF, 0xFF};
  EXPECT_EQ(EncodeSaveRecord(start), expected);

  std::remove("save2.dat");
  const PlayerProfileRecord p{1234, 3, 7, 23, 5};
  ASSERT_EQ(WriteSaveSlot(1, p), 0);
  auto back = ReadSaveSlot(1);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->virtue, 1234);
  EXPECT_EQ(back->previousLife, 5);
  std::FILE* f = std::fopen("save2.dat", "rb");
  uint8_t raw[4];
  ASSERT_EQ(std::fread(raw, 1, 4, f), 4u);
  std::fclose(f);
  EXPECT_EQ(raw[0], (1234 ^ 0x1529) & 0xFF);
}

TEST(GameSaves, ShortOrImpossibleRecordsHoldNoData) {
  SaveRecordBytes bytes = EncodeSaveRecord({0, 0, 0, 1, -1});
  EXPECT_FALSE(DecodeSaveRecord(bytes.data(), 19));
  EXPECT_TRUE(DecodeSaveRecord(bytes.data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({0, 0, 0, 1, 12}).data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({0, 21, 0, 1, -1}).data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({-5, 0, 0, 1, -1}).data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({0, 0, 0, 0, -1}).data(), 20));
  // The total level is one more than every relaxation-up bought: relaxation + 5 x physique.
  EXPECT_TRUE(DecodeSaveRecord(EncodeSaveRecord({9, 20, 20, 121, 11}).data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({9, 2, 3, 5, 11}).data(), 20));

  std::FILE* f = std::fopen("save3.dat", "wb");
  std::fwrite(bytes.data(), 1, 7, f);
  std::fclose(f);
  EXPECT_FALSE(ReadSaveSlot(2));

  // The screen shows such a slot as empty and refuses to load it.
  testing::InstallRecorder();
  InitialiseTextColours();
  for (int i = 0; i < SaveSlotCount; ++i) std::remove(SaveSlotPath(i));
  f = std::fopen("save3.dat", "wb");
  std::fwrite(bytes.data(), 1, 19, f);
  std::fclose(f);
  ASSERT_EQ(WriteSaveSlot(0, {16, 0, 2, 3, 4}), 0);
  // Down twice to slot 3, decide; the pump quits after a few frames.
  testing::Script.keysAt = [](int n) {
    return n == 0 || n == 2 ? std::vector<int>{KeyDown} : n == 4 ? std::vector<int>{KeySpace} : std::vector<int>{};
  };
  testing::Script.quitAtPump = 7;
  PlayerProfile.virtue = 5;
  RunSaveLoadScreen(0);
  EXPECT_EQ(PlayerProfile.virtue, 5);
  std::vector<std::string> rows;
  for (const auto& t : CallsNamed("text")) {
    if (t.numbers[0] == 350 && t.numbers[1] >= 350 && t.numbers[1] < 500 && rows.size() < 5) rows.push_back(t.text);
  }
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], "16 / 0 / 2 / 3 / 蛙");
  EXPECT_EQ(rows[2], "no data");
  bool refused = false;
  for (const auto& t : CallsNamed("text")) refused |= t.text == "データがないです。";
  EXPECT_TRUE(refused);
  std::remove("save1.dat");
  std::remove("save3.dat");
}

TEST(GameMenus, TrainingCostDoublesWithoutOverflow) {
  EXPECT_EQ(TrainingCost(1), 2);
  EXPECT_EQ(TrainingCost(2), 4);
  EXPECT_EQ(TrainingCost(31), int64_t{1} << 31);
  EXPECT_GT(TrainingCost(40), int64_t{INT32_MAX});
}

TEST(GameMenus, TitleCursorWrapsAndTrainingPaysOnlyWhatItCan) {
  testing::InstallRecorder();
  InitialiseTextColours();
  // Up from entry 0 -> 14, down -> 0, down x12 -> 12 (training), decide there,
  // then decide relaxation-up twice (virtue 6: 2 then 4), then leave training, then quit.
  testing::Script.keysAt = [](int n) {
    static const std::vector<std::vector<int>> plan = [] {
      std::vector<std::vector<int>> p = {{KeyUp}, {}, {KeyDown}, {}};
      for (int i = 0; i < 12; ++i) {
        p.push_back({KeyDown});
        p.push_back({});
      }
      p.push_back({KeySpace});
      for (int i = 0; i < 3; ++i) {
        p.push_back({});
        p.push_back({KeySpace});
      }
      return p;
    }();
    return n < static_cast<int>(plan.size()) ? plan[n] : std::vector<int>{};
  };
  PlayerProfile.virtue = 6;
  testing::Script.quitAtPump = 60;
  RunTitleMenu();
  EXPECT_EQ(TitleMenuCursor, 12);
  EXPECT_EQ(PlayerProfile.virtue, 0);
  EXPECT_EQ(PlayerProfile.relaxation, 2);
  EXPECT_EQ(PlayerProfile.totalLevel, 3);
  bool short_of_virtue = false;
  for (const auto& t : CallsNamed("text")) short_of_virtue |= t.text == "徳が足りません。";
  EXPECT_TRUE(short_of_virtue);
}

TEST(GameMenus, LoadingAnEmptySlotKeepsTheProfile) {
  testing::InstallRecorder();
  InitialiseTextColours();
  for (int i = 1; i <= 5; ++i) std::remove(SaveSlotPath(i - 1));
  testing::Script.keysAt = [](int n) { return n == 0 ? std::vector<int>{KeySpace} : std::vector<int>{}; };
  testing::Script.quitAtPump = 3;
  PlayerProfile.virtue = 77;
  RunSaveLoadScreen(0);
  EXPECT_EQ(PlayerProfile.virtue, 77);
  bool shown = false;
  for (const auto& t : CallsNamed("text")) shown |= t.text == "データがないです。";
  EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace quelt::game

namespace quelt::game {
namespace {

bool TextShown(const char* text) {
  for (const auto& t : testing::CallsNamed("text")) {
    if (t.text == text) return true;
  }
  return false;
}

TEST(GameMenus, FailedSaveShowsTheErrorText) {
  testing::InstallRecorder();
  InitialiseTextColours();
  std::remove("save1.dat");
  ASSERT_EQ(std::system("mkdir save1.dat"), 0);  // a folder in the slot's place cannot be written
  testing::Script.keysAt = [](int n) { return n == 0 ? std::vector<int>{KeySpace} : std::vector<int>{}; };
  testing::Script.quitAtPump = 4;
  RunSaveLoadScreen(1);
  EXPECT_TRUE(TextShown("ファイルオープンエラー"));
  EXPECT_FALSE(TextShown("セーブしました。"));
  std::system("rmdir save1.dat");
}

#if defined(__linux__)
// A write that only fails when the buffered bytes reach the disk, at fclose.
TEST(GameMenus, FailedCloseShowsTheErrorText) {
  testing::InstallRecorder();
  InitialiseTextColours();
  std::remove("save1.dat");
  ASSERT_EQ(std::system("ln -s /dev/full save1.dat"), 0);
  EXPECT_EQ(WriteSaveSlot(0, PlayerProfile), -1);
  testing::Script.keysAt = [](int n) { return n == 0 ? std::vector<int>{KeySpace} : std::vector<int>{}; };
  testing::Script.quitAtPump = 4;
  RunSaveLoadScreen(1);
  EXPECT_TRUE(TextShown("ファイルオープンエラー"));
  EXPECT_FALSE(TextShown("セーブしました。"));
  std::remove("save1.dat");
}
#endif

TEST(GameMenus, PauseDialogRetiresTheRace) {
  testing::InstallRecorder();
  InitialiseTextColours();
  ResetPlayer();
  StartRace(0);
  // Space pauses; down moves to "Yes"; space retires.
  testing::Script.keysAt = [](int n) {
    switch (n) {
      case 0: return std::vector<int>{KeySpace};
      case 1: return std::vector<int>{KeyDown};
      case 3: return std::vector<int>{KeySpace};
      default: return std::vector<int>{};
    }
  };
  EXPECT_EQ(UpdatePlayer(), 0);
  auto blends = testing::CallsNamed("ApiSelectBlendMode");
  ASSERT_GE(blends.size(), 2u);
  EXPECT_EQ(blends[0].numbers[0], 1);
  EXPECT_EQ(blends[0].numbers[1], 191);
  EXPECT_TRUE(TextShown("ＲＥＴＩＲＥ？"));
}

}  // namespace
}  // namespace quelt::game
