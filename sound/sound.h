#pragma once
// Sound handles over DirectSound: every sound file decodes whole to PCM and is copied into
// 1 to 10 buffers of one record, played in turn so a sound can overlap itself.
#include <cstdint>

#include "core/engine_handle.h"
#include "sound/wave_format.h"

struct IDirectSoundBuffer;
struct _DSBUFFERDESC;

namespace quelt {

struct SoundBuffer {
  int32_t valid;
  IDirectSoundBuffer* buffer;
  // The software variant (never selected by this engine).
  void* softData;
  int32_t softPlaying;
  int32_t softPosition;
  int32_t softLoop;
  int32_t softReserved;
  int32_t softVolume;
  int32_t softMinusOne;
  int32_t softLength;
  WaveFormat softFormat;
};

inline constexpr int32_t MaxSoundBuffers = 10;
inline constexpr int32_t SoundTableSize = 4096;

struct SoundRecord {
  int32_t checkId;
  SoundBuffer buffers[MaxSoundBuffers];
  WaveFormat format;
  int32_t streamFlag;
  int32_t playStartTime;
  int32_t pcmSize;
  uint8_t* pcm;
  int32_t sharedData[MaxSoundBuffers];
  int32_t bufferCount;
  int32_t currentBuffer;
};

using SoundTable = HandleTable<SoundRecord, SoundTableSize, HandleKind::Sound, SlotChoice::HighWater,
                               &SoundRecord::checkId>;
extern SoundTable Sounds;
extern int32_t SoundCreateType;

int InitializeSound();
int TerminateSound();
int32_t AddSoundData(int32_t unused);
int SetSoundCreateType(int32_t type);
int32_t GetSoundCreateType();
int32_t LoadSoundFile(const char* path, int32_t bufferCount, int32_t streamArgument);
int32_t LoadSoundFromMemory(const void* image, int32_t size, int32_t bufferCount, int32_t streamArgument);
int LoadFileToMemory(const char* path, void** data, int32_t* size);
int PlaySoundHandle(int32_t handle, int32_t playType, int32_t fromStart);
int StopSoundHandle(int32_t handle);
int GetSoundStatus(int32_t handle);
int32_t GetSoundPositionMs(int32_t handle);
int DeleteSoundHandle(int32_t handle, int32_t unused);
int DeleteAllSounds(int32_t argument);
int CreateStreamSoundBuffer(const WaveFormat* format, int32_t size, int32_t mode, int32_t bufferCount,
                            int32_t handle);

// Operations on one buffer: 0, or -1 when it is not valid or DirectSound refuses.
int SoundBufferCreate(SoundBuffer* buffer, _DSBUFFERDESC* desc);
int SoundBufferRelease(SoundBuffer* buffer);
int SoundBufferPlay(SoundBuffer* buffer, int32_t loop);
int SoundBufferStop(SoundBuffer* buffer);
int SoundBufferGetStatus(SoundBuffer* buffer, unsigned long* status);  // bit 0 playing
int SoundBufferSetPosition(uint32_t offset, SoundBuffer* buffer);
int SoundBufferDuplicate(SoundBuffer* from, SoundBuffer* to);
int SoundBufferLock(uint32_t offset, SoundBuffer* buffer, uint32_t bytes, void** first, uint32_t* firstSize,
                    void** second, uint32_t* secondSize);
int SoundBufferUnlock(SoundBuffer* buffer, void* first, uint32_t firstSize, void* second, uint32_t secondSize);

// Position in milliseconds of a byte offset (64-bit: a 32-bit product overflows after
// about 12 seconds of 44.1 kHz stereo).
constexpr int32_t BytesToMilliseconds(int64_t bytes, const WaveFormat& format) {
  const int64_t per_second = int64_t{format.blockAlign} * format.samplesPerSec;
  return per_second == 0 ? 0 : static_cast<int32_t>(bytes * 1000 / per_second);
}

// Largest and smallest DirectSound buffer in bytes.
inline constexpr int64_t MaxSoundBufferBytes = 0x0FFFFFFF;
inline constexpr int64_t MinSoundBufferBytes = 4;

// Whether DirectSound takes a buffer of this PCM format and size. A format whose block
// align disagrees with its channels and bits, or a size past the largest buffer, is
// refused here: creating the buffer would fail, and that failure ends the program.
constexpr bool SoundBufferFormatFits(const WaveFormat& format, int64_t size) {
  return format.formatTag == WaveFormatPcm && (format.bitsPerSample == 8 || format.bitsPerSample == 16) &&
         format.channels >= 1 && format.channels <= 2 && format.samplesPerSec >= 100 &&
         format.samplesPerSec <= 200000 && format.blockAlign == format.channels * (format.bitsPerSample / 8) &&
         size >= MinSoundBufferBytes && size <= MaxSoundBufferBytes;
}

}  // namespace quelt
