// Music handle bookkeeping, MCI notification handling, the current music and the WAV output
// header, under Wine.
#include <windows.h>
#include <objbase.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/core_state.h"
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

// A quarter-second MIDI file: one note.
std::vector<uint8_t> ShortMidi() {
  return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
          'M', 'T', 'r', 'k', 0, 0, 0, 13, 0, 0x90, 60, 100, 48, 0x80, 60, 64, 0, 0xFF, 0x2F, 0};
}

int32_t Notifications = 0;

// The engine's window procedure hands MM_MCINOTIFY to HandleMciNotify; so does this one.
LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  if (message == MM_MCINOTIFY) {
    // A play that is itself interrupted at once would notify without end; the test must end.
    if (++Notifications > 20) return 0;
    HandleMciNotify();
    return 0;
  }
  return DefWindowProcA(window, message, w_param, l_param);
}

// Pumps the thread's messages until `done` or `limit` ms have passed.
template <typename Done>
bool PumpUntil(Done done, DWORD limit) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > limit) return false;
    MSG message;
    for (int i = 0; i < 10 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageA(&message);
    Sleep(5);
  }
  return true;
}

DWORD_PTR MciMode(uint32_t device) {
  MCI_STATUS_PARMS status{};
  status.dwItem = MCI_STATUS_MODE;
  if (mciSendCommandA(device, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)) != 0) return 0;
  return status.dwReturn;
}

// Wine's sequencer has no MIDI port to play on, yet opens a file and "plays" it silently,
// never reaching its end; an interrupted play still sends its notification. Through the
// window that notification starts the file again while the loop flag is set; once stopped,
// the device is closed and later notifications change nothing.
TEST_F(MusicTest, MciNotificationsPlayTheMusicAgainUntilStopped) {
  const char* path = "music_test_loop.mid";
  const std::vector<uint8_t> midi = ShortMidi();
  FILE* f = std::fopen(path, "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(midi.data(), 1, midi.size(), f);
  std::fclose(f);
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = NotifyWindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "QueltMusicTestWindow";
  RegisterClassA(&window_class);
  HWND window = CreateWindowA("QueltMusicTestWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  MainWindowHandle = window;
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = "sequencer";
  open.lpstrElementName = path;
  ASSERT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open)), 0u);
  const int32_t h = AddMusicData();
  ASSERT_NE(h, -1);
  Music.mciDevice = open.wDeviceID;
  Music.mciLoop = 1;
  Notifications = 0;
  // The loop road starts the first play too.
  EXPECT_EQ(HandleMciNotify(), 0);
  EXPECT_EQ(GetMusicStatus(h), 1);
  EXPECT_EQ(MciMode(Music.mciDevice), static_cast<DWORD_PTR>(MCI_MODE_PLAY));
  for (int32_t round = 1; round <= 2; ++round) {
    // Past the file's quarter second it still "plays"; a stop ends the play and its
    // notification plays the file again.
    PumpUntil([] { return false; }, 400);
    EXPECT_EQ(MciMode(Music.mciDevice), static_cast<DWORD_PTR>(MCI_MODE_PLAY)) << round;
    EXPECT_EQ(mciSendCommandA(Music.mciDevice, MCI_STOP, 0, 0), 0u);
    EXPECT_TRUE(PumpUntil([round] { return Notifications >= round; }, 5000)) << round;
    EXPECT_EQ(Music.mciPlaying, 1);
    EXPECT_EQ(MciMode(Music.mciDevice), static_cast<DWORD_PTR>(MCI_MODE_PLAY)) << round;
  }
  // Stopped: the loop flag goes, the device is closed, and what the close sends leaves it so.
  EXPECT_EQ(StopMidiMusic(h), 0);
  EXPECT_EQ(Music.mciPlaying, 0);
  EXPECT_EQ(MciMode(Music.mciDevice), 0u);
  const int32_t seen = Notifications;
  PumpUntil([] { return false; }, 400);
  EXPECT_LE(Notifications, seen + 1);
  EXPECT_EQ(Music.mciPlaying, 0);
  EXPECT_EQ(GetMusicStatus(h), 0);
  MainWindowHandle = nullptr;
  DestroyWindow(window);
  std::remove(path);
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

// The engine's end finishes a WAV output left on (its header written), deletes every MIDI
// handle and the temporary MIDI file.
TEST(MusicEnd, TerminateSoundFinishesWaveOutputAndDeletesMidi) {
  CoInitialize(nullptr);
  SetFileAccessTable(nullptr);
  ASSERT_EQ(InitializeSound(), 0);
  const char* path = "music_test_left_on.wav";
  ASSERT_EQ(StartWaveOutputFile(path), 0);
  const int16_t frames[4] = {5, -5, 7, -7};
  ASSERT_EQ(WriteWaveOutputFrames(frames, 2), 0);
  const char* midi_path = "music_test_temporary.mid";
  const std::vector<uint8_t> midi = ShortMidi();
  FILE* m = std::fopen(midi_path, "wb");
  ASSERT_NE(m, nullptr);
  std::fwrite(midi.data(), 1, midi.size(), m);
  std::fclose(m);
  std::snprintf(Music.tempMidiPath, sizeof Music.tempMidiPath, "%s", midi_path);
  Music.tempMidiExists = 1;
  const int32_t first = AddMusicData();
  const int32_t second = AddMusicData();
  ASSERT_NE(first, -1);
  ASSERT_NE(second, -1);
  ASSERT_EQ(TerminateSound(), 0);
  EXPECT_EQ(Music.waveOutput, 0);
  EXPECT_EQ(Musics.count, 0);
  EXPECT_EQ(Music.tempMidiExists, 0);
  EXPECT_EQ(std::fopen(midi_path, "rb"), nullptr);
  ASSERT_EQ(InitializeSound(), 0);
  EXPECT_EQ(GetMusicStatus(first), -1);
  EXPECT_EQ(GetMusicStatus(second), -1);
  EXPECT_EQ(TerminateSound(), 0);
  FILE* f = std::fopen(path, "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> bytes(100);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  ASSERT_EQ(bytes.size(), 54u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(bytes[4], 46);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(std::string(bytes.begin() + 38, bytes.begin() + 42), "data");
  EXPECT_EQ(bytes[42], 8);
  EXPECT_EQ(bytes[46], 5);
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
