#pragma once
// MIDI music handles (played through MCI in back-end mode 0 or DirectMusic in mode 1), the
// current music, and the WAV output file that can record the mixed output.
#include <cstdint>

#include "core/engine_handle.h"

struct IDirectMusicSegment8;
struct IDirectSound;

namespace quelt {

inline constexpr int32_t MusicTableSize = 256;

struct MusicRecord {
  int32_t checkId;
  int32_t playing;
  int32_t seenPlaying;
  uint8_t* midiData;  // owned
  int32_t midiSize;
  IDirectMusicSegment8* segment;  // mode 1
};

using MusicTable = HandleTable<MusicRecord, MusicTableSize, HandleKind::Music, SlotChoice::HighWater,
                               &MusicRecord::checkId>;
extern MusicTable Musics;

struct MusicGlobals {
  int32_t backEndMode;  // 0 MCI, 1 DirectMusic
  uint32_t mciDevice;
  int32_t mciPlaying;
  int32_t mciLoop;
  char tempMidiPath[260];
  int32_t tempMidiExists;
  int32_t currentMusic;  // 0 none
  int32_t currentIsSound;
  int32_t waveOutput;
  uintptr_t waveOutputFile;  // a Win32 file handle
  int64_t waveOutputFrames;
};
extern MusicGlobals Music;

// A new empty music handle (nothing in the engine loads MIDI data; this is the least a
// caller needs to own one), or -1.
int32_t AddMusicData();
int GetMusicStatus(int32_t handle);
int PollMusicStatus();
int HandleMciNotify();
int StopMidiMusic(int32_t handle);
int DeleteMidiHandle(int32_t handle);
int DeleteAllMidiHandles();
// Deletes the temporary MIDI file when one exists.
void DeleteTemporaryMidiFile();
int StopCurrentMusic();

// Back-end mode 1: the DirectMusic loader and performance, which creates the DirectSound
// object. 0; 1 when DirectMusic is missing (the mode is then 0 and the caller starts over
// the plain way); -1 on failure.
int StartDirectMusic(IDirectSound** directSound);
void EndDirectMusic();

// WAV output: opened with room for the header, 44.1 kHz 16-bit stereo frames appended,
// the header written at the finish.
int StartWaveOutputFile(const char* path);
int WriteWaveOutputFrames(const int16_t* frames, int32_t count);
int FinishWaveOutputFile();

}  // namespace quelt
