#pragma once
// Sound handles over DirectSound: every sound file decodes whole to PCM and is copied into
// 1 to 10 buffers of one record, played in turn so a sound can overlap itself.
#include <cstdint>

#include "core/engine_handle.h"
#include "core/list.h"
#include "sound/pcm_converter.h"
#include "sound/wave_format.h"

struct IDirectSoundBuffer;
struct _DSBUFFERDESC;

namespace quelt {

struct SoundBuffer {
  int32_t valid;
  IDirectSoundBuffer* buffer;
  // The software variant: no DirectSound buffer, the play state kept here. Selected only
  // while SoftwareSoundBuffers is set (tests move its play cursor by hand).
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
inline constexpr int32_t MaxStreamSources = 3;

// One source of a stream sound: a converter over a stream, played repeatCount + 1 times
// (-1: forever).
struct StreamSource {
  int8_t repeatCount;
  int32_t type;  // 0 decoded whole, 2 converted from memory while playing, 3 from the caller's stream
  uint8_t* data;  // owned, or null
  int32_t dataSize;
  DataStream stream;
  int32_t loopStartSample;
  PcmConverter converter;
};
inline constexpr int32_t SoundTableSize = 4096;

// A loop written into the ring that the play cursor has not reached yet: where in the ring
// it begins, and the sound's played bytes at that point. The writer runs up to four seconds
// ahead, so a sound shorter than that has several pending at once.
struct PendingLoop {
  int32_t ringPosition;
  int64_t playedBytes;
};
// Loops of sources of an eighth of a second or more all fit (four seconds ahead).
inline constexpr int32_t MaxPendingLoops = 32;

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
  // Stream sounds: a ring of six seconds refilled by the pump so that the writer W stays
  // three to four seconds ahead of the play cursor; V is W minus four seconds.
  int32_t lastPlayType;
  int32_t sharedSource;  // the sound whose ring this one plays on, -1 none
  int32_t useCount;      // sounds playing on this one's ring
  int32_t currentPlayer;  // the handle playing on this ring, -1 none
  int32_t deletePending;
  int32_t ringSize;
  int32_t writeCursor;  // PrimingPending until primed
  int32_t windowStart;  // -1 while priming
  StreamSource sources[MaxStreamSources];
  uint8_t closeStream[MaxStreamSources];
  int32_t sourceCount;
  int32_t currentSource;
  int32_t repeatCounter;
  int64_t sourcePosition;  // bytes within the current source
  int64_t totalSamples;  // every source with its repeats (a source repeated forever once)
  int64_t playedBytes;
  int32_t lastCursor;
  uint8_t primed;
  uint8_t ending;
  uint8_t allSourcesDone;
  int32_t endPosition;
  int32_t endCursor;
  PendingLoop loops[MaxPendingLoops];  // oldest first
  int32_t loopCount;
  ListNode node;
};

using SoundTable = HandleTable<SoundRecord, SoundTableSize, HandleKind::Sound, SlotChoice::HighWater,
                               &SoundRecord::checkId>;
extern SoundTable Sounds;
extern int32_t SoundCreateType;
// Set: new buffers are the software variant (no DirectSound buffer, nothing audible).
extern int32_t SoftwareSoundBuffers;
inline constexpr int32_t PrimingPending = -800;

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
int SoundBufferGetPosition(SoundBuffer* buffer, uint32_t* playCursor);
// Logs why a sound of this format gets no buffer (`reason`: what refused it).
void LogSoundFormatRefused(const WaveFormat& format, const char* reason);

bool SoundStarted();

// Stream sounds.
int AddSreamSound(const DataStream& stream, int32_t repeatCount, int32_t handle, int32_t sourceType,
                  int32_t* ownsStream, int32_t sharedSource);
int AddStreamSoundFile(const char* path, int32_t repeatCount, int32_t handle, int32_t sourceType,
                       int32_t sharedSource);
int AddStreamSoundImage(const void* image, int32_t size, int32_t repeatCount, int32_t handle, int32_t sourceType,
                        int32_t sharedSource);
int PrimeStreamSound(int32_t handle);
int PlayStreamSound(int32_t handle, int32_t playType, int32_t fromStart);
int StopStreamSound(int32_t handle);
int GetStreamSoundStatus(int32_t handle);
int32_t GetStreamSoundPositionMs(int32_t handle);
int64_t GetSoundTotalSamples(int32_t handle);
int64_t GetSoundTotalTimeMs(int32_t handle);
int RefillStreamSound(int32_t handle);
int ProcessStreamSounds();
// The stream part of deleting a sound: 1 when the record must stay (its ring is in use).
int ReleaseStreamSound(int32_t handle);
void InitStreamList();

// Position in milliseconds of a byte offset (64-bit: a 32-bit product overflows after
// about 12 seconds of 44.1 kHz stereo).
constexpr int32_t BytesToMilliseconds(int64_t bytes, const WaveFormat& format) {
  const int64_t per_second = int64_t{format.blockAlign} * format.samplesPerSec;
  return per_second == 0 ? 0 : static_cast<int32_t>(bytes * 1000 / per_second);
}

// Largest and smallest DirectSound buffer in bytes.
inline constexpr int64_t MaxSoundBufferBytes = 0x0FFFFFFF;
inline constexpr int64_t MinSoundBufferBytes = 4;

// Whether a PCM format and size can be offered to DirectSound at all: whole-byte samples of
// 8 to 32 bits, a block align that agrees with the channels and bits, a rate within
// DirectSound's range, bytes per second that a WAVEFORMATEX can state, and a size within
// its buffers'. Whether DirectSound takes the channels and bits it describes is
// DirectSound's to say when the buffer is created.
constexpr bool SoundBufferFormatFits(const WaveFormat& format, int64_t size) {
  const int32_t bits = format.bitsPerSample;
  return format.formatTag == WaveFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32) &&
         format.channels >= 1 && format.samplesPerSec >= 100 && format.samplesPerSec <= 200000 &&
         format.blockAlign == format.channels * (bits / 8) &&
         int64_t{format.samplesPerSec} * format.blockAlign <= 0xFFFFFFFFLL && size >= MinSoundBufferBytes &&
         size <= MaxSoundBufferBytes;
}

}  // namespace quelt
