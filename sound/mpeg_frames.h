#pragma once
// MPEG audio frame headers, ID3 tag sizes and the frame walk that finds the audio of an
// MPEG audio file. Platform-free; reads through a DataStream.
#include <cstdint>

#include "file/file_access.h"

namespace quelt {

struct MpegFrameHeader {
  int32_t version;          // 1 MPEG-1, 2 MPEG-2
  int32_t layer;            // 1, 2 or 3
  int32_t bitRate;          // kbit/s
  int32_t sampleRate;       // Hz
  int32_t padding;          // 0 or 1
  int32_t channels;         // 1 or 2
  int32_t samplesPerFrame;
  int32_t frameLength;      // bytes, header included
};

// 0; -2 when the bytes are no frame sync (0xFF, then 0xF0 or more); -1 for a sync with an
// undefined layer, bit rate (free format included) or sample rate.
int ParseMpegFrameHeader(const uint8_t header[4], MpegFrameHeader* out);

// Bytes an ID3v2 tag at the start of a file occupies (10-byte header, synchsafe size,
// footer), 0 when the bytes are no ID3v2 header.
int32_t Id3v2TagLength(const uint8_t header[10]);

struct MpegAudioScan {
  int32_t dataStart;    // position of the first frame
  int32_t dataEnd;      // end of the last frame, never inside an ID3v1 tag
  int64_t totalFrames;  // output sample frames of all the frames walked
  MpegFrameHeader first;
};

// Walks the frames of the whole stream: 0, or -1 when no frame is found or the first
// frame's header is bad. The walk ends at the frame that reaches the end of the audio, or
// where a header would be read past the data. Past damage (a bad header, or no sync where
// the next frame should begin) it searches on for a frame of the first one's version, layer
// and rate that the next frame's header follows, so the frames after the damage are counted.
int ScanMpegAudio(const DataStream& stream, MpegAudioScan* scan);

}  // namespace quelt
