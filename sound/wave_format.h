#pragma once
// The 18-byte wave format record of sound files and sound buffers (the layout of
// WAVEFORMATEX, which files, ACM and DirectSound share).
#include <cstdint>

namespace quelt {

struct [[gnu::packed]] WaveFormat {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extraSize;
};
static_assert(sizeof(WaveFormat) == 18);

inline constexpr uint16_t WaveFormatPcm = 1;
inline constexpr uint16_t WaveFormatMpegLayer3 = 0x55;

// A PCM format with block align and bytes per second derived from the other fields.
constexpr WaveFormat MakePcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
  const auto align = static_cast<uint16_t>(channels * (bits / 8));
  return WaveFormat{WaveFormatPcm, channels, rate, rate * align, align, bits, 0};
}

}  // namespace quelt
