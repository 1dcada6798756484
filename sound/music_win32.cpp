// MIDI music handles over MCI and DirectMusic, the current music, and the WAV output file.
#include <windows.h>
#include <mmsystem.h>
#include <dmusici.h>

#include <array>
#include <cstring>

#include "core/core_state.h"
#include "core/little_endian.h"
#include "core/log.h"
#include "core/tracked_alloc.h"
#include "core/window_hooks.h"
#include "sound/music.h"
#include "sound/sound.h"

namespace quelt {

MusicTable Musics;
MusicGlobals Music{};

namespace {

IDirectMusicLoader8* MusicLoader = nullptr;
IDirectMusicPerformance8* MusicPerformance = nullptr;

}  // namespace

int StartDirectMusic(IDirectSound** directSound) {
  WriteLog("DirectSound8 の初期化を行います\n");
  if (FAILED(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                              reinterpret_cast<void**>(&MusicLoader)))) {
    MusicLoader = nullptr;
    WriteLog("DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
    WriteLog("前バージョンでの初期化処理に移ります\n");
    Music.backEndMode = 0;
    return 1;
  }
  if (FAILED(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                              reinterpret_cast<void**>(&MusicPerformance)))) {
    MusicPerformance = nullptr;
    EndDirectMusic();
    return WriteLog("DirectMusicPerformance オブジェクトの作成に失敗しました\n");
  }
  IDirectMusic* first = nullptr;
  IDirectMusic8* music = nullptr;
  if (FAILED(CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_INPROC, IID_IDirectMusic,
                              reinterpret_cast<void**>(&first))) ||
      FAILED(first->QueryInterface(IID_IDirectMusic8, reinterpret_cast<void**>(&music)))) {
    if (first != nullptr) first->Release();
    EndDirectMusic();
    return WriteLog("DirectMusic8 オブジェクトの取得に失敗しました\n");
  }
  first->Release();
  for (DWORD index = 0;; ++index) {
    DMUS_PORTCAPS caps{};
    caps.dwSize = sizeof caps;
    if (music->EnumPort(index, &caps) != S_OK) break;
    char description[DMUS_MAX_DESCRIPTION * 2 + 1] = {};
    WideCharToMultiByte(CP_ACP, 0, caps.wszDescription, -1, description, sizeof description - 1, nullptr, nullptr);
    WriteLogFormat("%s  Device%d:%s ", caps.dwClass == DMUS_PC_OUTPUTCLASS ? "出力ポート" : "入力ポート",
                   static_cast<int>(index), description);
  }
  DMUS_AUDIOPARAMS params{};
  params.dwSize = sizeof params;
  params.dwValidData = DMUS_AUDIOPARAMS_SAMPLERATE;
  params.dwSampleRate = 44100;
  IDirectMusic* shared = music;
  const HRESULT started = MusicPerformance->InitAudio(&shared, directSound, GetDesktopWindow(),
                                                      DMUS_APATH_SHARED_STEREOPLUSREVERB, 64, DMUS_AUDIOF_ALL, &params);
  music->Release();
  if (FAILED(started) || *directSound == nullptr) {
    *directSound = nullptr;
    EndDirectMusic();
    return WriteLog("DirectMusicPerformanceオブジェクトの初期化に失敗しました\n");
  }
  BOOL automatic = TRUE;
  MusicPerformance->SetGlobalParam(GUID_PerfAutoDownload, &automatic, sizeof automatic);
  return 0;
}

void EndDirectMusic() {
  if (MusicPerformance != nullptr) {
    MusicPerformance->CloseDown();
    MusicPerformance->Release();
    MusicPerformance = nullptr;
  }
  if (MusicLoader != nullptr) {
    MusicLoader->Release();
    MusicLoader = nullptr;
  }
}

int32_t AddMusicData() {
  if (!SoundStarted()) return -1;
  const HandleAlloc<MusicRecord> made = Musics.Allocate(__FILE__, __LINE__);
  return made.failure == HandleAllocFailure::None ? made.handle : -1;
}

int GetMusicStatus(int32_t handle) {
  if (!SoundStarted()) return -1;
  MusicRecord* music = Musics.Find(handle);
  if (music == nullptr) return -1;
  return Music.backEndMode == 0 ? Music.mciPlaying : music->playing;
}

int PollMusicStatus() {
  if (!SoundStarted()) return -1;
  if (Music.backEndMode != 1 || MusicPerformance == nullptr) return 0;
  Musics.ForEachLive([](EngineHandle handle) {
    MusicRecord* music = Musics.Find(handle);
    if (music->playing == 0 || music->segment == nullptr) return;
    const bool playing = MusicPerformance->IsPlaying(music->segment, nullptr) == S_OK;
    // A segment reports not playing until it has started; only then does its end count.
    if (music->seenPlaying != 0) {
      music->playing = playing ? 1 : 0;
    } else if (playing) {
      music->seenPlaying = 1;
    }
  });
  return 0;
}

int HandleMciNotify() {
  if (Music.mciLoop != 0) {
    MCI_PLAY_PARMS play{};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(MainWindowHandle);
    play.dwFrom = 0;
    mciSendCommandA(Music.mciDevice, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<DWORD_PTR>(&play));
    Music.mciPlaying = 1;
  } else if (Music.mciPlaying != 0) {
    mciSendCommandA(Music.mciDevice, MCI_CLOSE, 0, 0);
    Music.mciPlaying = 0;
  }
  return 0;
}

int StopMidiMusic(int32_t handle) {
  if (!SoundStarted()) return -1;
  MusicRecord* music = Musics.Find(handle);
  if (music == nullptr) return -1;
  Music.mciLoop = 0;
  if (Music.backEndMode == 0) {
    HandleMciNotify();
    for (int i = 0; i < 5; ++i) PumpFrameMessages();
  } else if (MusicPerformance != nullptr && music->segment != nullptr) {
    MusicPerformance->Stop(music->segment, nullptr, 0, 0);
  }
  DeleteTemporaryMidiFile();
  music->playing = 0;
  music->seenPlaying = 0;
  return 0;
}

int DeleteMidiHandle(int32_t handle) {
  if (!SoundStarted()) return -1;
  MusicRecord* music = Musics.Find(handle);
  if (music == nullptr) return -1;
  if (GetMusicStatus(handle) == 1) StopMidiMusic(handle);
  if (music->segment != nullptr) {
    if (MusicPerformance != nullptr) music->segment->Unload(MusicPerformance);
    if (MusicLoader != nullptr) MusicLoader->ReleaseObjectByUnknown(music->segment);
    music->segment->Release();
    music->segment = nullptr;
  }
  if (music->midiData != nullptr) {
    std::memset(music->midiData, 0, static_cast<size_t>(music->midiSize));
    TrackedFree(music->midiData);
    music->midiData = nullptr;
  }
  if (Music.currentMusic == handle && Music.currentIsSound == 0) Music.currentMusic = 0;
  return Musics.Release(handle);
}

void DeleteTemporaryMidiFile() {
  if (Music.tempMidiExists == 0) return;
  DeleteFileA(Music.tempMidiPath);
  Music.tempMidiExists = 0;
}

int DeleteAllMidiHandles() {
  if (!SoundStarted()) return -1;
  Musics.ForEachLive([](EngineHandle handle) { DeleteMidiHandle(handle); });
  return 0;
}

int StopCurrentMusic() {
  const int32_t current = Music.currentMusic;
  if (current == 0) return 0;
  if (Music.currentIsSound != 0) {
    StopSoundHandle(current);
    DeleteSoundHandle(current, 0);
  } else {
    StopMidiMusic(current);
    DeleteMidiHandle(current);
  }
  Music.currentMusic = 0;
  Music.currentIsSound = 0;
  return 0;
}

int StartWaveOutputFile(const char* path) {
  if (path == nullptr || Music.waveOutput != 0) return -1;
  const HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  const std::array<uint8_t, 46> room{};
  DWORD done = 0;
  WriteFile(file, room.data(), room.size(), &done, nullptr);
  Music.waveOutputFile = reinterpret_cast<uintptr_t>(file);
  Music.waveOutputFrames = 0;
  Music.waveOutput = 1;
  return 0;
}

int WriteWaveOutputFrames(const int16_t* frames, int32_t count) {
  if (Music.waveOutput == 0 || frames == nullptr || count < 0) return -1;
  DWORD done = 0;
  if (WriteFile(reinterpret_cast<HANDLE>(Music.waveOutputFile), frames, static_cast<DWORD>(count) * 4, &done,
                nullptr) == FALSE)
    return -1;
  Music.waveOutputFrames += done / 4;
  return 0;
}

int FinishWaveOutputFile() {
  if (Music.waveOutput == 0) return -1;
  // The sizes are 32-bit in the file; past 4 GB they saturate rather than wrap to a lie.
  const int64_t data = Music.waveOutputFrames * 4;
  const auto data_size = static_cast<uint32_t>(data > 0xFFFFFFFFLL - 38 ? 0xFFFFFFFFLL - 38 : data);
  std::array<uint8_t, 46> h{};
  std::memcpy(h.data(), "RIFF", 4);
  StoreLe32(h.data() + 4, data_size + 38);
  std::memcpy(h.data() + 8, "WAVEfmt ", 8);
  StoreLe32(h.data() + 16, 18);
  StoreLe16(h.data() + 20, 1);
  StoreLe16(h.data() + 22, 2);
  StoreLe32(h.data() + 24, 44100);
  StoreLe32(h.data() + 28, 176400);
  StoreLe16(h.data() + 32, 4);
  StoreLe16(h.data() + 34, 16);
  StoreLe16(h.data() + 36, 0);
  std::memcpy(h.data() + 38, "data", 4);
  StoreLe32(h.data() + 42, data_size);
  const auto file = reinterpret_cast<HANDLE>(Music.waveOutputFile);
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  DWORD done = 0;
  WriteFile(file, h.data(), h.size(), &done, nullptr);
  CloseHandle(file);
  Music.waveOutputFile = 0;
  Music.waveOutput = 0;
  return 0;
}

}  // namespace quelt
