// The hostile and truncated sound files through the platform-free layers of the converter
// chain (under the sanitizers in the native build): every layer survives them, and the
// Ogg decoder and the WAV walk refuse what they must.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "sound/converter_harness.h"
#include "sound/hostile_sounds.h"
#include "sound/pcm_converter.h"

namespace quelt {
namespace {

using namespace quelt_test;

std::string SoundFile(const char* name) {
  const char* folder = std::getenv("QUELT_BINARY_DIR");
  return std::string(folder != nullptr ? folder : ".") + "/testwork/sound_files/" + name;
}

struct Fixture {
  std::vector<uint8_t> ima = ReadSoundFile(SoundFile("tone_ima.wav"));
  std::vector<uint8_t> ms = ReadSoundFile(SoundFile("tone_ms.wav"));
  std::vector<uint8_t> mp3 = ReadSoundFile(SoundFile("tone_cbr.mp3"));
  std::vector<uint8_t> vbr = ReadSoundFile(SoundFile("tone_vbr.mp3"));
  std::vector<uint8_t> ogg = ReadSoundFile(SoundFile("tone.ogg"));
};

// The kind's own open, alone, on the bytes: 0 or -1.
int OpenKindAlone(const std::vector<uint8_t>& bytes, int (*open)(PcmConverter*)) {
  MemoryStream* memory = OpenMemoryStream(bytes.data(), static_cast<int32_t>(bytes.size()));
  auto* converter = new PcmConverter{};
  converter->stream = DataStream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};
  const int result = open(converter);
  if (result == 0 && converter->kind == PcmConverterKind::Ogg) CloseOggConverter(converter);
  delete converter;
  CloseMemoryStream(reinterpret_cast<StreamHandle>(memory));
  return result;
}

TEST(HostileSounds, EveryLayerSurvivesAndRefusesTheBrokenWavesAndOggs) {
  const Fixture f;
  ASSERT_FALSE(f.ogg.empty()) << "run sound_files_make first";
  for (const HostileSound& h : HostileSounds(f.ima, f.ms, f.mp3, f.ogg)) {
    SCOPED_TRACE(h.name);
    ExerciseConverter(h.bytes.data(), h.bytes.size());
    if (h.refuser == Refuser::WaveWalk) {
      EXPECT_EQ(OpenKindAlone(h.bytes, OpenPcmWaveConverter), -1);
      EXPECT_EQ(OpenKindAlone(h.bytes, OpenAcmWaveConverter), -1);
    }
    if (h.refuser == Refuser::Ogg) {
      EXPECT_EQ(OpenKindAlone(h.bytes, OpenOggConverter), -1);
    }
  }
}

// Whole conversion of Ogg Vorbis allocates a second of 44100 Hz slack beyond the stated
// total and returns the exact decoded size (1 s of stereo).
TEST(OggConverter, WholeConversionHasSlackAndGivesTheExactSize) {
  const Fixture f;
  MemoryStream* memory = OpenMemoryStream(f.ogg.data(), static_cast<int32_t>(f.ogg.size()));
  auto* converter = new PcmConverter{};
  ASSERT_EQ(OpenPcmConverter(DataStream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)}, converter), 0);
  ASSERT_EQ(converter->kind, PcmConverterKind::Ogg);
  EXPECT_EQ(GetPcmConverterSize(converter), 176400);
  EXPECT_EQ(GetOggConverterSize(converter), 176400 + 44100 * 4);
  WaveFormat format{};
  uint8_t* pcm = nullptr;
  int32_t size = 0;
  ASSERT_EQ(ConvertWholeToPcm(converter, &format, &pcm, &size), 0);
  EXPECT_EQ(size, 176400);
  EXPECT_EQ(format.channels, 2);
  // A second whole conversion seeks back to the start and gives the same again.
  uint8_t* again = nullptr;
  int32_t again_size = 0;
  ASSERT_EQ(ConvertWholeToPcm(converter, &format, &again, &again_size), 0);
  EXPECT_EQ(again_size, size);
  EXPECT_EQ(0, std::memcmp(pcm, again, static_cast<size_t>(size)));
  TrackedFree(pcm);
  TrackedFree(again);
  ClosePcmConverter(converter);
  delete converter;
  CloseMemoryStream(reinterpret_cast<StreamHandle>(memory));
}

TEST(HostileSounds, TruncatedFilesNeverDecodeToMoreThanTheWhole) {
  const Fixture f;
  const auto wave = ToneWave(22050, 1, 0.1, 440);
  const auto whole_wave = ExerciseConverter(wave.data(), wave.size());
  ASSERT_EQ(whole_wave.opened, 0);
  for (const HostileSound& h : TruncatedSounds("pcm wav", wave)) {
    SCOPED_TRACE(h.name);
    // Every cut leaves the data chunk running past the end: what is left of it decodes, in
    // whole 2-byte frames, once there is one.
    const int64_t held = (static_cast<int64_t>(h.bytes.size()) - 46) / 2 * 2;
    EXPECT_EQ(ExerciseConverter(h.bytes.data(), h.bytes.size()).pcmBytes, held > 0 ? held : -1);
  }
  const auto whole_ogg = ExerciseConverter(f.ogg.data(), f.ogg.size());
  ASSERT_EQ(whole_ogg.kind, static_cast<int>(PcmConverterKind::Ogg));
  for (const HostileSound& h : TruncatedSounds("ogg", f.ogg)) {
    SCOPED_TRACE(h.name);
    const auto outcome = ExerciseConverter(h.bytes.data(), h.bytes.size());
    if (outcome.kind == static_cast<int>(PcmConverterKind::Ogg)) {
      EXPECT_LE(outcome.pcmBytes, whole_ogg.pcmBytes);
    }
  }
  for (const auto* file : {&f.ima, &f.ms, &f.mp3, &f.vbr})
    for (const HostileSound& h : TruncatedSounds("file", *file)) ExerciseConverter(h.bytes.data(), h.bytes.size());
}

}  // namespace
}  // namespace quelt
