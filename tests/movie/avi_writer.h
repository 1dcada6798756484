#pragma once
// A small writer of uncompressed AVI files for the movie tests: 24-bit RGB frames, each of
// one flat colour, with the main header, one video stream, when asked a 16-bit mono PCM
// sound stream interleaved with it, and the index.
#include <cstdint>
#include <string>
#include <vector>

namespace quelt_test {

struct AviMovie {
  int32_t width = 64, height = 48;
  int32_t framesPerSecond = 10;
  std::vector<uint32_t> colours;  // 0x00RRGGBB of each frame
  int32_t soundRate = 0;          // samples per second of a sound stream; 0 = none
};

inline std::vector<uint8_t> WriteFlatAvi(const AviMovie& movie) {
  std::vector<uint8_t> out;
  auto put32 = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto put16 = [&out](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto fourcc = [&out](const char* f) { out.insert(out.end(), f, f + 4); };
  auto patch32 = [&out](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  // Opens a chunk or list; the returned position is patched with the size at its end.
  auto open = [&](const char* id, const char* listType) {
    fourcc(id);
    const size_t sizeAt = out.size();
    put32(0);
    if (listType != nullptr) fourcc(listType);
    return sizeAt;
  };
  auto close = [&](size_t sizeAt) {
    patch32(sizeAt, static_cast<uint32_t>(out.size() - sizeAt - 4));
    if (out.size() % 2) out.push_back(0);
  };

  const uint32_t row = static_cast<uint32_t>((movie.width * 3 + 3) & ~3);
  const uint32_t frameBytes = row * static_cast<uint32_t>(movie.height);
  const uint32_t frames = static_cast<uint32_t>(movie.colours.size());
  const uint32_t soundRate = static_cast<uint32_t>(movie.soundRate);
  const uint32_t soundBytes = 2 * soundRate / static_cast<uint32_t>(movie.framesPerSecond);  // per frame
  const size_t riff = open("RIFF", "AVI ");
  const size_t hdrl = open("LIST", "hdrl");
  const size_t avih = open("avih", nullptr);
  put32(1000000u / static_cast<uint32_t>(movie.framesPerSecond));  // microseconds per frame
  put32(frameBytes * static_cast<uint32_t>(movie.framesPerSecond));
  put32(0);
  put32(0x10);  // AVIF_HASINDEX
  put32(frames);
  put32(0);
  put32(soundRate != 0 ? 2 : 1);  // streams
  put32(frameBytes);
  put32(static_cast<uint32_t>(movie.width));
  put32(static_cast<uint32_t>(movie.height));
  for (int i = 0; i < 4; ++i) put32(0);
  close(avih);
  const size_t strl = open("LIST", "strl");
  const size_t strh = open("strh", nullptr);
  fourcc("vids");
  fourcc("DIB ");
  put32(0);
  put16(0);
  put16(0);
  put32(0);
  put32(1);  // scale
  put32(static_cast<uint32_t>(movie.framesPerSecond));  // rate
  put32(0);
  put32(frames);
  put32(frameBytes);
  put32(0xFFFFFFFFu);
  put32(0);
  put16(0);
  put16(0);
  put16(static_cast<uint32_t>(movie.width));
  put16(static_cast<uint32_t>(movie.height));
  close(strh);
  const size_t strf = open("strf", nullptr);
  put32(40);
  put32(static_cast<uint32_t>(movie.width));
  put32(static_cast<uint32_t>(movie.height));
  put16(1);
  put16(24);
  put32(0);  // BI_RGB
  put32(frameBytes);
  for (int i = 0; i < 4; ++i) put32(0);
  close(strf);
  close(strl);
  if (soundRate != 0) {
    const size_t sstrl = open("LIST", "strl");
    const size_t sstrh = open("strh", nullptr);
    fourcc("auds");
    put32(0);
    put32(0);
    put16(0);
    put16(0);
    put32(0);
    put32(2);  // scale: bytes per sample
    put32(2 * soundRate);  // rate: bytes per second
    put32(0);
    put32(soundBytes * frames / 2);
    put32(soundBytes);
    put32(0xFFFFFFFFu);
    put32(2);
    for (int i = 0; i < 4; ++i) put16(0);
    close(sstrh);
    const size_t sstrf = open("strf", nullptr);
    put16(1);  // PCM
    put16(1);
    put32(soundRate);
    put32(2 * soundRate);
    put16(2);
    put16(16);
    close(sstrf);
    close(sstrl);
  }
  close(hdrl);

  const size_t movi = open("LIST", "movi");
  const size_t moviStart = movi + 4;  // index offsets count from the "movi" type
  std::vector<uint32_t> offsets;
  std::vector<uint32_t> soundOffsets;
  for (uint32_t colour : movie.colours) {
    if (soundRate != 0) {
      // A quiet 400 Hz square wave.
      soundOffsets.push_back(static_cast<uint32_t>(out.size() - moviStart));
      const size_t chunk = open("01wb", nullptr);
      for (uint32_t i = 0; i < soundBytes / 2; ++i) put16((i * 400 / soundRate) % 2 != 0 ? 0x0400 : 0xFC00);
      close(chunk);
    }
    offsets.push_back(static_cast<uint32_t>(out.size() - moviStart));
    const size_t chunk = open("00db", nullptr);
    for (int32_t y = 0; y < movie.height; ++y) {
      for (int32_t x = 0; x < movie.width; ++x) {
        out.push_back(static_cast<uint8_t>(colour));
        out.push_back(static_cast<uint8_t>(colour >> 8));
        out.push_back(static_cast<uint8_t>(colour >> 16));
      }
      for (uint32_t pad = static_cast<uint32_t>(movie.width * 3); pad < row; ++pad) out.push_back(0);
    }
    close(chunk);
  }
  close(movi);
  const size_t idx1 = open("idx1", nullptr);
  for (size_t i = 0; i < offsets.size(); ++i) {
    if (soundRate != 0) {
      fourcc("01wb");
      put32(0x10);
      put32(soundOffsets[i]);
      put32(soundBytes);
    }
    fourcc("00db");
    put32(0x10);  // AVIIF_KEYFRAME
    put32(offsets[i]);
    put32(frameBytes);
  }
  close(idx1);
  close(riff);
  return out;
}

}  // namespace quelt_test
