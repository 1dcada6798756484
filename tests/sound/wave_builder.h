#pragma once
// WAV images built by the tests: a 16-bit PCM tone and chunk lists shaped at will.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quelt_test {

inline void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body,
                     int64_t claimed = -1) {
  out.insert(out.end(), id, id + 4);
  PutLe32(out, static_cast<uint32_t>(claimed >= 0 ? claimed : static_cast<int64_t>(body.size())));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() % 2 != 0) out.push_back(0);
}
inline std::vector<uint8_t> PcmFormatBody(uint16_t channels, uint32_t rate, uint16_t bits, bool eighteen) {
  std::vector<uint8_t> body;
  const auto align = static_cast<uint16_t>(channels * bits / 8);
  PutLe16(body, 1);
  PutLe16(body, channels);
  PutLe32(body, rate);
  PutLe32(body, rate * align);
  PutLe16(body, align);
  PutLe16(body, bits);
  if (eighteen) PutLe16(body, 0);
  return body;
}
inline std::vector<uint8_t> ToneSamples(uint32_t rate, uint16_t channels, double seconds, double hz) {
  std::vector<uint8_t> out;
  const auto frames = static_cast<int64_t>(rate * seconds);
  for (int64_t i = 0; i < frames; ++i) {
    const auto v = static_cast<int16_t>(12000.0 * std::sin(2.0 * 3.14159265358979 * hz * i / rate));
    for (int c = 0; c < channels; ++c) PutLe16(out, static_cast<uint16_t>(v));
  }
  return out;
}
// RIFF/WAVE around the given chunks (already laid out).
inline std::vector<uint8_t> RiffWave(const std::vector<uint8_t>& chunks) {
  std::vector<uint8_t> out{'R', 'I', 'F', 'F'};
  PutLe32(out, static_cast<uint32_t>(chunks.size() + 4));
  out.insert(out.end(), {'W', 'A', 'V', 'E'});
  out.insert(out.end(), chunks.begin(), chunks.end());
  return out;
}
inline std::vector<uint8_t> ToneWave(uint32_t rate, uint16_t channels, double seconds, double hz) {
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "fmt ", PcmFormatBody(channels, rate, 16, true));
  PutChunk(chunks, "data", ToneSamples(rate, channels, seconds, hz));
  return RiffWave(chunks);
}

}  // namespace quelt_test
