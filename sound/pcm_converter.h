#pragma once
// The PCM converter chain: every sound file reaches the sound buffers as PCM through a
// PcmConverter opened on a DataStream, whatever its kind (PCM WAV, compressed WAV or MPEG
// audio through the Audio Compression Manager, Ogg Vorbis through vorbisfile).
//
// The record must not move while it is open: the Ogg decoder keeps its address.
#include <cstdint>

#include "file/file_access.h"
#include "sound/wave_format.h"

namespace quelt {

enum class PcmConverterKind : int32_t { PcmWave = 0, Acm = 1, Ogg = 2 };

struct PcmConverter {
  int32_t initialised;
  int32_t endReached;
  PcmConverterKind kind;
  DataStream stream;  // read through, never closed
  int32_t formatPosition;
  int32_t formatSize;
  int32_t dataStart;
  int32_t dataSize;
  WaveFormat format;  // output, always PCM
  // ACM (compressed WAV and MPEG audio)
  uint8_t* acmSourceFormat;
  uintptr_t acmMainStream;
  uintptr_t acmTrailingStream;
  uint8_t* acmSource;  // the whole coded data
  int32_t acmSourceSize;
  int32_t acmMainOffset;
  int64_t acmTotalFrames;  // -1 when unknown
  int32_t acmTrailingOffset;
  int64_t acmTrailingOutput;
  uint8_t* acmTrailingScratch;
  // Ogg Vorbis
  int32_t oggOpen;
  void* oggFile;  // the decoder's state, a tracked block
  int32_t oggWordSize;
  // the block most recently made by the kind
  uint8_t* block;
  int32_t blockSize;
  int32_t blockLeft;
  int32_t blockOffset;
  int64_t outputPosition;  // bytes
  int64_t trailingTarget;
  int32_t olderVorbis;
};

// Before each open: 1 opens Ogg Vorbis with the older decoder path (the movie layer sets
// it around its sound-track load).
extern int32_t OlderVorbisFlag;
// Bytes per output sample word of Ogg Vorbis (2).
extern int32_t OggWordSize;

int OpenPcmConverter(const DataStream& stream, PcmConverter* converter);
int ClosePcmConverter(PcmConverter* converter);
int GetPcmConverterFormat(const PcmConverter* converter, WaveFormat* format);
int64_t GetPcmConverterSize(PcmConverter* converter);
int32_t ConvertPcmBlock(PcmConverter* converter, void* dest, int32_t bytes);
int SeekPcmConverter(PcmConverter* converter, int64_t sample);
// Allocates a tracked block (the caller's) and converts the whole source into it.
int ConvertWholeToPcm(PcmConverter* converter, WaveFormat* format, uint8_t** pcm, int32_t* size);

// The kinds. Each open leaves nothing open on failure and sets kind, format, data fields
// and blockSize; the chain allocates the block.
int OpenPcmWaveConverter(PcmConverter* converter);
int OpenAcmWaveConverter(PcmConverter* converter);
int OpenMpegAcmConverter(PcmConverter* converter);
int OpenOggConverter(PcmConverter* converter);
// Each makes the next block into dest (room for blockSize bytes: the block, or the caller's
// memory when a whole block fits there): 0 (blockLeft set), or -1 at the end of the data.
int ConvertPcmWaveBlock(PcmConverter* converter, uint8_t* dest);
int ConvertAcmBlock(PcmConverter* converter, uint8_t* dest);
int ConvertOggBlock(PcmConverter* converter, uint8_t* dest);
int SeekPcmWave(PcmConverter* converter, int64_t sample);
int SeekAcmConverter(PcmConverter* converter, int64_t sample);
int SeekOggConverter(PcmConverter* converter, int64_t sample);
int CloseAcmConverter(PcmConverter* converter);
int CloseOggConverter(PcmConverter* converter);
int64_t GetAcmConverterSize(PcmConverter* converter);
int64_t GetOggConverterSize(PcmConverter* converter);
int64_t GetOggTotalBytes(PcmConverter* converter);

// Largest PCM output the chain makes into one block (the sound loader's limit too).
inline constexpr int64_t MaxPcmBytes = 0x40000000;

}  // namespace quelt
