#pragma once
// The RIFF WAVE chunk walk shared by the PCM and compressed WAV converters: the format
// chunk (it must come first) and the data chunk. Platform-free; reads through a DataStream.
#include <cstdint>

#include "file/file_access.h"
#include "sound/wave_format.h"

namespace quelt {

// A format chunk larger than this is not a sound file.
inline constexpr int32_t MaxFormatChunkSize = 18 + 0xFFFF;

struct WaveChunks {
  int32_t formatPosition;  // stream position of the format chunk's body
  int32_t formatSize;
  int32_t dataStart;       // stream position of the first data byte
  int32_t dataSize;        // bytes in whole blocks, never past the end of the stream and never 0
  int32_t partBytes;       // bytes of a block cut short after them (a cut file, a short last block)
  WaveFormat format;       // the chunk's first 18 bytes (a 16-byte chunk completed)
};

// Walks the stream from its current position (the caller seeks to 0). When `formatBlock`
// is given it receives a tracked copy of the whole format chunk (at least 18 bytes, a
// 16-byte chunk completed), owned by the caller. 0, or -1 for anything that is not a
// well-formed WAV: no "RIFF"/"WAVE", a first chunk other than "fmt ", a format chunk under
// 16 bytes or above MaxFormatChunkSize, zero channels, rate or block align, a chunk before
// the data whose size has the top bit set or runs past the end of the stream, no data
// chunk or not one whole block of data. A data chunk running past the end of the stream
// is cut to the whole blocks the stream holds; the bytes of a block cut short are counted
// apart.
int WalkWaveChunks(const DataStream& stream, WaveChunks* chunks, uint8_t** formatBlock);

// Whether a compressed format chunk (the whole chunk, `size` bytes) describes blocks an
// ACM driver can decode without dividing by zero or reading past the chunk. IMA and MS
// ADPCM need samples per block above zero and within what a block holds, MS ADPCM its
// coefficient table inside the chunk; other tags pass.
bool CompressedFormatIsSound(const uint8_t* format, int32_t size);

// Sample frames the first `bytes` of an IMA or MS ADPCM block hold, for a format chunk that
// CompressedFormatIsSound passes: the block header's and those of every whole group of
// coded bytes after it, at most the samples of a block. 0 for less than the header, for
// another tag and for a whole block or more.
int32_t AdpcmFramesInPart(const uint8_t* format, int32_t bytes);

// Size of the stream by seeking to its end; the position is restored. -1 on failure.
int32_t DataStreamSize(const DataStream& stream);
// Reads exactly `size` bytes: true, or false when fewer were there.
bool ReadExact(const DataStream& stream, void* dest, int32_t size);

}  // namespace quelt
