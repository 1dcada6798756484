#pragma once
// The hostile and truncated sound files every decoder must survive: WAV, compressed WAV,
// MPEG audio and Ogg Vorbis images shaped to break a careless reader. Built from a tone
// the tests make and from the files tests/sound/make_sounds.sh encodes.
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "sound/wave_builder.h"

namespace quelt_test {

// The layer that must refuse a file on its own, besides the whole load.
enum class Refuser { Load, WaveWalk, Ogg };

struct HostileSound {
  std::string name;
  std::vector<uint8_t> bytes;
  bool mustFail;  // false: the file may still decode (to whatever is left of it)
  Refuser refuser = Refuser::Load;
};

inline std::vector<uint8_t> ReadSoundFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(f);
  }
  return bytes;
}

inline std::vector<uint8_t> Patched(std::vector<uint8_t> bytes, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

// The Ogg page checksum (polynomial 0x04C11DB7, unreflected, over the page with its
// checksum field zeroed), so a page edited on purpose is still read.
inline void FixOggPageChecksum(std::vector<uint8_t>& bytes, size_t page) {
  if (page + 27 > bytes.size()) return;
  size_t length = 27 + bytes[page + 26];
  if (page + length > bytes.size()) return;
  for (int i = 0; i < bytes[page + 26]; ++i) length += bytes[page + 27 + i];
  if (page + length > bytes.size()) return;
  for (int i = 0; i < 4; ++i) bytes[page + 22 + i] = 0;
  uint32_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= static_cast<uint32_t>(bytes[page + i]) << 24;
    for (int b = 0; b < 8; ++b) crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  for (int i = 0; i < 4; ++i) bytes[page + 22 + i] = static_cast<uint8_t>(crc >> (8 * i));
}

inline size_t LastOggPage(const std::vector<uint8_t>& bytes) {
  for (size_t i = bytes.size() >= 27 ? bytes.size() - 27 : 0; i > 0; --i)
    if (bytes[i] == 'O' && bytes[i + 1] == 'g' && bytes[i + 2] == 'g' && bytes[i + 3] == 'S') return i;
  return 0;
}

inline std::vector<uint8_t> MpegFrames(int count, uint8_t b1, uint8_t b2, uint8_t b3, size_t length, uint8_t fill) {
  std::vector<uint8_t> out;
  for (int i = 0; i < count; ++i) {
    const size_t at = out.size();
    out.resize(at + length, fill);
    out[at] = 0xFF;
    out[at + 1] = b1;
    out[at + 2] = b2;
    out[at + 3] = b3;
    for (size_t j = 4; j < length; ++j) out[at + j] = static_cast<uint8_t>((j * 2654435761u + i) >> 13);
  }
  return out;
}

// ima and ms are sox's IMA and MS ADPCM WAVs (format chunk at byte 20), mp3 a CBR file,
// ogg an Ogg Vorbis file.
inline std::vector<HostileSound> HostileSounds(const std::vector<uint8_t>& ima, const std::vector<uint8_t>& ms,
                                               const std::vector<uint8_t>& mp3, const std::vector<uint8_t>& ogg) {
  std::vector<HostileSound> set;
  const auto fmt = PcmFormatBody(2, 44100, 16, true);
  const auto tone = ToneSamples(44100, 2, 0.05, 440);
  auto wave = [&](const char* name, std::vector<uint8_t> chunks, Refuser refuser = Refuser::WaveWalk) {
    set.push_back({name, RiffWave(chunks), true, refuser});
  };
  std::vector<uint8_t> c;
  PutChunk(c, "fmt ", fmt, 0x80000012u);
  PutChunk(c, "data", tone);
  wave("wav format size top bit", c);
  c.clear();
  PutChunk(c, "fmt ", fmt);
  PutChunk(c, "LIST", {1, 2, 3, 4}, 0xFFFFFFFCu);
  PutChunk(c, "data", tone);
  wave("wav chunk size top bit", c);
  c.clear();
  PutChunk(c, "fmt ", {1, 0, 2, 0, 0x44, 0xAC, 0, 0});
  PutChunk(c, "data", tone);
  wave("wav format chunk of 8 bytes", c);
  c.clear();
  PutChunk(c, "fmt ", std::vector<uint8_t>(fmt.begin(), fmt.begin() + 15));
  PutChunk(c, "data", tone);
  wave("wav format chunk of 15 bytes", c);
  c.clear();
  {
    auto big = fmt;
    big.resize(70000, 0);
    PutChunk(c, "fmt ", big);
    PutChunk(c, "data", tone);
    wave("wav format chunk of 70000 bytes", c);
  }
  c.clear();
  PutChunk(c, "fmt ", fmt, 0x7FFFFFF0);
  wave("wav format chunk past the end", c);
  for (const auto& [name, channels, rate, bits] :
       {std::tuple{"wav zero channels", 0, 44100u, 16}, std::tuple{"wav zero rate", 2, 0u, 16},
        std::tuple{"wav nine channels", 9, 44100u, 16}, std::tuple{"wav 12 bits", 2, 44100u, 12},
        std::tuple{"wav rate of 4e9", 2, 4000000000u, 16}, std::tuple{"wav rate 50 Hz", 1, 50u, 8}}) {
    c.clear();
    PutChunk(c, "fmt ", PcmFormatBody(static_cast<uint16_t>(channels), rate, static_cast<uint16_t>(bits), true));
    PutChunk(c, "data", tone);
    // Nine channels are DirectSound's to take or refuse.
    const bool refused = channels != 9;
    set.push_back({name, RiffWave(c), refused, channels == 0 || rate == 0 ? Refuser::WaveWalk : Refuser::Load});
  }
  c.clear();
  // Rate x block align past 32 bits: no WAVEFORMATEX states its bytes per second (eight
  // whole frames of data, so the whole load has something to refuse).
  PutChunk(c, "fmt ", PcmFormatBody(16383, 65541, 32, true));
  PutChunk(c, "data", std::vector<uint8_t>(8 * 65532, 0x11));
  set.push_back({"wav bytes per second past 32 bits", RiffWave(c), true, Refuser::Load});
  c.clear();
  PutChunk(c, "fmt ", Patched(fmt, 12, 0, 2));
  PutChunk(c, "data", tone);
  wave("wav zero block align", c);
  c.clear();
  PutChunk(c, "fmt ", Patched(fmt, 12, 3, 2));
  PutChunk(c, "data", tone);
  wave("wav block align 3 for 16-bit stereo", c, Refuser::Load);
  c.clear();
  PutChunk(c, "fmt ", Patched(fmt, 8, 0, 4));
  PutChunk(c, "data", tone);
  wave("wav zero bytes per second", c, Refuser::Load);
  c.clear();
  PutChunk(c, "fmt ", fmt);
  PutChunk(c, "data", {});
  wave("wav empty data", c);
  for (const uint32_t claimed : {0x10000u, 0x7FFFFFF0u, 0xFFFFFFFFu}) {
    c.clear();
    PutChunk(c, "fmt ", fmt);
    PutChunk(c, "data", tone, claimed);
    // Plays the tone it holds.
    set.push_back({"wav data past the end", RiffWave(c), false});
  }
  c.clear();
  PutChunk(c, "fmt ", fmt);
  PutChunk(c, "LIST", {1, 2, 3, 4, 5, 6});
  wave("wav without data", c);
  c.clear();
  PutChunk(c, "fmt ", Patched(fmt, 0, 0x1234, 2));
  PutChunk(c, "data", tone);
  wave("wav unknown format tag", c, Refuser::Load);
  c.clear();
  {
    auto mpeg = Patched(fmt, 0, 0x55, 2);
    mpeg = Patched(mpeg, 16, 0xFFFF, 2);  // extra size far past the chunk
    PutChunk(c, "fmt ", mpeg);
    PutChunk(c, "data", tone);
    wave("wav MPEG tag with a false extra size", c, Refuser::Load);
  }
  set.push_back({"riff header only", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, true, Refuser::WaveWalk});

  // sox's ADPCM WAVs: channels at 22, block align at 32, bits at 34, extra size at 36,
  // samples per block at 38, MS ADPCM's coefficient count at 40.
  if (ima.size() > 64) {
    set.push_back({"ima zero channels", Patched(ima, 22, 0, 2), true, Refuser::WaveWalk});
    set.push_back({"ima nine channels", Patched(ima, 22, 9, 2), true});
    set.push_back({"ima zero block align", Patched(ima, 32, 0, 2), true, Refuser::WaveWalk});
    set.push_back({"ima block align 65535", Patched(ima, 32, 0xFFFF, 2), false});
    set.push_back({"ima block align 1", Patched(ima, 32, 1, 2), false});
    set.push_back({"ima zero bits", Patched(ima, 34, 0, 2), false});
    set.push_back({"ima extra size past the chunk", Patched(ima, 36, 0xFFFF, 2), true});
    set.push_back({"ima zero samples per block", Patched(ima, 38, 0, 2), false});
    set.push_back({"ima 65535 samples per block", Patched(ima, 38, 0xFFFF, 2), false});
    // Less than one block of data.
    auto small = Patched(ima, 0x3C, 3, 4);
    small.resize(0x40 + 3);
    set.push_back({"ima data under one block", small, true});
  }
  if (ms.size() > 96) {
    set.push_back({"ms adpcm coefficients past the chunk", Patched(ms, 40, 0xFFFF, 2), false});
    set.push_back({"ms adpcm zero coefficients", Patched(ms, 40, 0, 2), false});
    set.push_back({"ms adpcm block align 2", Patched(ms, 32, 2, 2), false});
    set.push_back({"ms adpcm zero samples per block", Patched(ms, 38, 0, 2), false});
  }

  // MPEG audio.
  {
    std::vector<uint8_t> tag{'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    tag.insert(tag.end(), mp3.begin(), mp3.end());
    set.push_back({"id3v2 size past the end", tag, true});
    std::vector<uint8_t> only{'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 20};
    only.resize(200, 0);
    set.push_back({"id3v2 without audio", only, true});
  }
  set.push_back({"mpeg free format", MpegFrames(4, 0xFB, 0x00, 0x64, 400, 0), true});
  set.push_back({"mpeg bit rate 15", MpegFrames(4, 0xFB, 0xF0, 0x64, 400, 0), true});
  set.push_back({"mpeg sample rate 3", MpegFrames(4, 0xFB, 0x9C, 0x64, 400, 0), true});
  set.push_back({"mpeg layer 0", MpegFrames(4, 0xF9, 0x90, 0x64, 400, 0), true});
  set.push_back({"mpeg layer II", MpegFrames(4, 0xFD, 0x90, 0x64, 417, 0), true});
  set.push_back({"mpeg layer I", MpegFrames(4, 0xFF, 0x90, 0x64, 417, 0), true});
  set.push_back({"mpeg frames of noise", MpegFrames(20, 0xFB, 0x90, 0x64, 417, 0), false});
  set.push_back({"mpeg one short frame", MpegFrames(1, 0xFB, 0x90, 0x64, 100, 0), false});
  {
    std::vector<uint8_t> tail(300, 0);
    tail.push_back(0xFF);
    tail.push_back(0xFB);
    set.push_back({"mpeg header cut after two bytes", tail, true});
    tail.push_back(0x90);
    set.push_back({"mpeg header cut after three bytes", tail, true});
  }
  {
    std::vector<uint8_t> tag{'T', 'A', 'G'};
    tag.resize(128, 0);
    set.push_back({"id3v1 tag only", tag, true});
    std::vector<uint8_t> frames_in_tag(1, 0);
    auto frames = MpegFrames(1, 0xFB, 0x90, 0x64, 125, 0);
    frames[0] = 'T';
    frames[1] = 'A';
    frames[2] = 'G';
    frames_in_tag.insert(frames_in_tag.end(), frames.begin(), frames.end());
    frames_in_tag.resize(129, 0xFF);
    set.push_back({"129 bytes ending in an id3v1 tag", frames_in_tag, true});
  }
  if (mp3.size() > 2000) {
    auto mixed = mp3;
    const auto other = MpegFrames(3, 0xFB, 0x94, 0xC4, 384, 0);  // 48 kHz mono frames midway
    mixed.insert(mixed.begin() + static_cast<long>(mp3.size() / 2), other.begin(), other.end());
    set.push_back({"mpeg rate and channels change midway", mixed, false});
    auto noisy = mp3;
    for (size_t i = 600; i < noisy.size(); i += 7) noisy[i] = static_cast<uint8_t>(noisy[i] * 31 + 17);
    set.push_back({"mpeg payload scrambled", noisy, false});
  }

  // Ogg Vorbis: the identification header's channels at 39 and rate at 40 (first page of
  // one segment), the last page's granule position at 6 from its start.
  if (ogg.size() > 200) {
    auto edit = [&](const char* name, size_t at, uint32_t value, int width, bool must_fail) {
      auto bytes = Patched(ogg, at, value, width);
      FixOggPageChecksum(bytes, 0);
      set.push_back({name, bytes, must_fail, Refuser::Ogg});
    };
    edit("ogg zero channels", 39, 0, 1, true);
    edit("ogg nine channels", 39, 9, 1, true);
    edit("ogg zero rate", 40, 0, 4, true);
    edit("ogg rate of 4e9", 40, 4000000000u, 4, true);
    const size_t last = LastOggPage(ogg);
    for (const auto& [name, high, low] : {std::tuple{"ogg total of 2^63 samples", 0x7FFFFFFFu, 0xFFFFFFFFu},
                                          std::tuple{"ogg total of 2^40 samples", 0x100u, 0u},
                                          std::tuple{"ogg total of 2^31 samples", 0u, 0x80000000u}}) {
      auto bytes = Patched(Patched(ogg, last + 6, low, 4), last + 10, high, 4);
      FixOggPageChecksum(bytes, last);
      // vorbisfile keeps its total to the audio it finds; the file may decode to that.
      set.push_back({name, bytes, false});
    }
    auto noisy = ogg;
    for (size_t i = 4000; i < noisy.size(); i += 5) noisy[i] ^= 0x5A;
    set.push_back({"ogg audio packets scrambled", noisy, false});
    set.push_back({"ogg capture pattern only", {'O', 'g', 'g', 'S', 0, 2}, true, Refuser::Ogg});
    std::vector<uint8_t> first_page(ogg.begin(), ogg.begin() + 58);
    set.push_back({"ogg identification page only", first_page, true, Refuser::Ogg});
  }
  set.push_back({"nothing", {}, true});
  set.push_back({"one byte", {0xFF}, true});
  set.push_back({"ten kilobytes of 0xFF", std::vector<uint8_t>(10240, 0xFF), true});
  return set;
}

// A file cut at every length up to 64 bytes, at each tenth and one byte short of its end.
inline std::vector<HostileSound> TruncatedSounds(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::vector<size_t> cuts;
  for (size_t n = 0; n <= 64 && n < bytes.size(); ++n) cuts.push_back(n);
  for (int tenth = 1; tenth < 10; ++tenth) cuts.push_back(bytes.size() * tenth / 10);
  if (!bytes.empty()) cuts.push_back(bytes.size() - 1);
  std::vector<HostileSound> set;
  for (const size_t n : cuts)
    set.push_back({name + " cut to " + std::to_string(n), std::vector<uint8_t>(bytes.begin(), bytes.begin() + n),
                   false});
  return set;
}

}  // namespace quelt_test
