// Music handle bookkeeping, MCI notification handling, the current music and the WAV output
// header, under Wine.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "file/file_access.h"
#include "sound/music.h"
#include "sound/sound.h"
#include "sound/wave_builder.h"

namespace quelt {
namespace {

class MusicTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    SetFileAccessTable(nullptr);
  }
  void SetUp() override { ASSERT_EQ(InitializeSound(), 0); }
  void TearDown() override {
    DeleteAllMidiHandles();
    TerminateSound();
  }
};

TEST(MusicNotStarted, EveryOperationFails) {
  EXPECT_EQ(AddMusicData(), -1);
  EXPECT_EQ(GetMusicStatus(0x58000000), -1);
  EXPECT_EQ(PollMusicStatus(), -1);
  EXPECT_EQ(DeleteAllMidiHandles(), -1);
  EXPECT_EQ(FinishWaveOutputFile(), -1);
}

TEST_F(MusicTest, TableHoldsTwoHundredFiftySixAndPullsTheHighWaterBack) {
  std::vector<int32_t> handles;
  for (int32_t i = 0; i < MusicTableSize; ++i) {
    handles.push_back(AddMusicData());
    ASSERT_NE(handles.back(), -1) << i;
  }
  EXPECT_EQ(AddMusicData(), -1);
  EXPECT_EQ(Musics.count, 256);
  EXPECT_EQ(DeleteMidiHandle(handles[100]), 0);
  EXPECT_EQ(DeleteMidiHandle(handles[100]), -1);
  EXPECT_EQ(Musics.highWater, 256);
  EXPECT_EQ(DeleteMidiHandle(handles[255]), 0);
  EXPECT_EQ(DeleteMidiHandle(handles[254]), 0);
  EXPECT_EQ(Musics.highWater, 254);
  EXPECT_EQ(GetMusicStatus(handles[3]), 0);
  EXPECT_EQ(GetMusicStatus(handles[255]), -1);
  EXPECT_EQ(DeleteAllMidiHandles(), 0);
  EXPECT_EQ(Musics.count, 0);
  EXPECT_EQ(Musics.highWater, 0);
  EXPECT_EQ(GetMusicStatus(handles[3]), -1);
}

TEST_F(MusicTest, NotifyReplaysWhileLoopingAndClosesOtherwise) {
  const int32_t h = AddMusicData();
  ASSERT_NE(h, -1);
  Music.mciLoop = 1;
  EXPECT_EQ(HandleMciNotify(), 0);
  EXPECT_EQ(Music.mciPlaying, 1);
  EXPECT_EQ(GetMusicStatus(h), 1);
  // Stopping clears the loop: the notification then closes the device.
  EXPECT_EQ(StopMidiMusic(h), 0);
  EXPECT_EQ(Music.mciLoop, 0);
  EXPECT_EQ(Music.mciPlaying, 0);
  EXPECT_EQ(GetMusicStatus(h), 0);
  EXPECT_EQ(HandleMciNotify(), 0);
  EXPECT_EQ(Music.mciPlaying, 0);
}

TEST_F(MusicTest, StopCurrentMusicDeletesAMidiHandleOrASound) {
  const int32_t midi = AddMusicData();
  Music.currentMusic = midi;
  Music.currentIsSound = 0;
  EXPECT_EQ(StopCurrentMusic(), 0);
  EXPECT_EQ(Music.currentMusic, 0);
  EXPECT_EQ(GetMusicStatus(midi), -1);
  const auto wave = quelt_test::ToneWave(8000, 1, 0.1, 440);
  const int32_t sound = LoadSoundFromMemory(wave.data(), static_cast<int32_t>(wave.size()), 1, -1);
  ASSERT_NE(sound, -1);
  Music.currentMusic = sound;
  Music.currentIsSound = 1;
  EXPECT_EQ(StopCurrentMusic(), 0);
  EXPECT_EQ(GetSoundStatus(sound), -1);
  EXPECT_EQ(StopCurrentMusic(), 0);
}

TEST_F(MusicTest, WaveOutputHeaderIsByteExact) {
  const char* path = "music_test_output.wav";
  ASSERT_EQ(StartWaveOutputFile(path), 0);
  EXPECT_EQ(StartWaveOutputFile(path), -1);
  const int16_t frames[6] = {1, -1, 2, -2, 0x7FFF, -0x8000};
  ASSERT_EQ(WriteWaveOutputFrames(frames, 3), 0);
  ASSERT_EQ(FinishWaveOutputFile(), 0);
  EXPECT_EQ(FinishWaveOutputFile(), -1);
  FILE* f = std::fopen(path, "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> bytes(100);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  const std::vector<uint8_t> header = {
      'R', 'I', 'F', 'F', 50, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 18, 0, 0, 0,
      1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0,
      'd', 'a', 't', 'a', 12, 0, 0, 0};
  ASSERT_EQ(bytes.size(), 58u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 46), header);
  EXPECT_EQ(bytes[46], 1);
  EXPECT_EQ(bytes[57], 0x80);
  std::remove(path);
}

// DirectMusic may be missing (then the plain start runs in mode 0); either way sound starts,
// loads and ends.
TEST(MusicDirectMusic, ModeOneStartsOrFallsBackToModeZero) {
  CoInitialize(nullptr);
  SetFileAccessTable(nullptr);
  Music.backEndMode = 1;
  ASSERT_EQ(InitializeSound(), 0);
  EXPECT_TRUE(Music.backEndMode == 0 || Music.backEndMode == 1);
  const auto wave = quelt_test::ToneWave(8000, 1, 0.1, 440);
  const int32_t sound = LoadSoundFromMemory(wave.data(), static_cast<int32_t>(wave.size()), 1, -1);
  EXPECT_NE(sound, -1);
  const int32_t midi = AddMusicData();
  EXPECT_EQ(GetMusicStatus(midi), 0);
  EXPECT_EQ(PollMusicStatus(), 0);
  EXPECT_EQ(DeleteMidiHandle(midi), 0);
  EXPECT_EQ(TerminateSound(), 0);
  std::printf("back-end mode after start: %d\n", Music.backEndMode);
  Music.backEndMode = 0;
}

}  // namespace
}  // namespace quelt
