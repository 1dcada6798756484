// Conversion speed of a 60-second MP3 and Ogg Vorbis file through the converter chain
// (open, frame walk, whole conversion) beside the bare ACM or vorbisfile calls on the same
// file, in seconds of audio per second. The chain and its baseline take turns, round after
// round, so a load that comes and goes on the machine falls on both alike.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "sound/hostile_sounds.h"
#include "sound/mpeg_frames.h"
#include "sound/bare_mp3_formats_win32.h"
#include "sound/pcm_converter.h"

namespace {

using namespace quelt;

double Now() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Run {
  double seconds = 1e30;  // best of the rounds
  int64_t bytes = 0;      // PCM made
  int32_t bytesPerSecond = 0;
};

constexpr int Rounds = 5;

// The chain as a sound load drives it: open on a memory stream, whole conversion.
// One round into `run` (best time kept).
void Chain(const std::vector<uint8_t>& file, Run& run) {
  const double start = Now();
  MemoryStream* memory = OpenMemoryStream(file.data(), static_cast<int32_t>(file.size()));
  const DataStream stream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};
  auto* converter = static_cast<PcmConverter*>(TrackedCalloc(sizeof(PcmConverter), __FILE__, __LINE__));
  WaveFormat format{};
  uint8_t* pcm = nullptr;
  int32_t size = 0;
  if (OpenPcmConverter(stream, converter) == 0) {
    if (ConvertWholeToPcm(converter, &format, &pcm, &size) != 0) size = 0;
    ClosePcmConverter(converter);
  }
  TrackedFree(converter);
  CloseMemoryStream(reinterpret_cast<StreamHandle>(memory));
  run.seconds = std::min(run.seconds, Now() - start);
  run.bytes = size;
  run.bytesPerSecond = static_cast<int32_t>(format.avgBytesPerSec);
  TrackedFree(pcm);
}

// A whole conversion's output block, allocated inside the timed part and freed after it,
// as the chain's is. A real whole conversion writes into memory it has just allocated, and
// the system makes each page of such a block at its first write; a block kept from round
// to round would skip that cost (about 2600 page faults, 5% of an Ogg Vorbis conversion).
struct Output {
  explicit Output(size_t bytes) : data(static_cast<uint8_t*>(std::malloc(bytes))), size(data ? bytes : 0) {}
  ~Output() { std::free(data); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  uint8_t* data;
  size_t size;
};

// acmStreamConvert over the whole coded data, 64 KB of source at a time, into a block of
// 70 seconds.
void BareAcm(const std::vector<uint8_t>& file, Run& run) {
  MpegFrameHeader first{};
  if (file.size() < 4 || ParseMpegFrameHeader(file.data(), &first) != 0) return;
  MPEGLAYER3WAVEFORMAT source{};
  WAVEFORMATEX output{};
  BareMp3Formats(first, &source, &output);
  const double start = Now();
  Output pcm(static_cast<size_t>(output.nAvgBytesPerSec) * 70);
  HACMSTREAM stream = nullptr;
  if (acmStreamOpen(&stream, nullptr, &source.wfx, &output, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
    return;
  size_t in = 0;
  size_t out = 0;
  while (in < file.size() && out < pcm.size) {
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = const_cast<uint8_t*>(file.data()) + in;
    header.cbSrcLength = static_cast<DWORD>(std::min<size_t>(65536, file.size() - in));
    header.pbDst = pcm.data + out;
    header.cbDstLength = static_cast<DWORD>(pcm.size - out);
    if (acmStreamPrepareHeader(stream, &header, 0) != 0) break;
    const MMRESULT result = acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
    acmStreamUnprepareHeader(stream, &header, 0);
    if (result != 0 || (header.cbSrcLengthUsed == 0 && header.cbDstLengthUsed == 0)) break;
    in += header.cbSrcLengthUsed;
    out += header.cbDstLengthUsed;
  }
  acmStreamClose(stream, 0);
  run.seconds = std::min(run.seconds, Now() - start);
  run.bytes = static_cast<int64_t>(out);
  run.bytesPerSecond = static_cast<int32_t>(output.nAvgBytesPerSec);
}

struct MemoryFile {
  const std::vector<uint8_t>* bytes;
  size_t at;
};

size_t ReadMemory(void* dest, size_t size, size_t count, void* source) {
  auto* m = static_cast<MemoryFile*>(source);
  const size_t left = m->bytes->size() - m->at;
  const size_t take = std::min(left, size * count) / size;
  std::memcpy(dest, m->bytes->data() + m->at, take * size);
  m->at += take * size;
  return take;
}

int SeekMemory(void* source, ogg_int64_t offset, int whence) {
  auto* m = static_cast<MemoryFile*>(source);
  const auto base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<ogg_int64_t>(m->at)
                                                                : static_cast<ogg_int64_t>(m->bytes->size());
  const ogg_int64_t to = base + offset;
  if (to < 0 || to > static_cast<ogg_int64_t>(m->bytes->size())) return -1;
  m->at = static_cast<size_t>(to);
  return 0;
}

long TellMemory(void* source) { return static_cast<long>(static_cast<MemoryFile*>(source)->at); }

// vorbisfile straight over the bytes: open, ov_read 4096 bytes at a time into a block of
// the stated length and a second.
void BareVorbisfile(const std::vector<uint8_t>& file, Run& run) {
  const double start = Now();
  MemoryFile memory{&file, 0};
  OggVorbis_File vf;
  if (ov_open_callbacks(&memory, &vf, nullptr, 0, ov_callbacks{ReadMemory, SeekMemory, nullptr, TellMemory}) != 0)
    return;
  const vorbis_info* info = ov_info(&vf, -1);
  Output pcm(static_cast<size_t>(ov_pcm_total(&vf, -1) + 44100) * info->channels * 2);
  size_t out = 0;
  int section = 0;
  while (out < pcm.size) {
    const long got = ov_read(&vf, reinterpret_cast<char*>(pcm.data + out),
                             static_cast<int>(std::min<size_t>(4096, pcm.size - out)), 0, 2, 1, &section);
    if (got <= 0) break;
    out += static_cast<size_t>(got);
  }
  run.bytesPerSecond = static_cast<int32_t>(info->rate * info->channels * 2);
  ov_clear(&vf);
  run.seconds = std::min(run.seconds, Now() - start);
  run.bytes = static_cast<int64_t>(out);
}

double AudioPerSecond(const Run& run) {
  if (run.bytes <= 0 || run.bytesPerSecond <= 0) return 0;
  return static_cast<double>(run.bytes) / run.bytesPerSecond / run.seconds;
}

void Report(const char* name, const Run& chain, const char* bare_name, const Run& bare) {
  const double c = AudioPerSecond(chain);
  const double b = AudioPerSecond(bare);
  std::printf("%-5s %-22s %8.2f s audio %10.1f s/s\n", name, "converter chain", static_cast<double>(chain.bytes) /
              std::max(chain.bytesPerSecond, 1), c);
  std::printf("%-5s %-22s %8.2f s audio %10.1f s/s\n", name, bare_name, static_cast<double>(bare.bytes) /
              std::max(bare.bytesPerSecond, 1), b);
  std::printf("%-5s %-22s %29.3f\n", name, "chain / bare", b > 0 ? c / b : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  // The files tests/sound/CMakeLists.txt encodes next to this program.
  std::string folder = argc > 1 ? argv[1] : QUELT_BENCH_SOUNDS;
  const auto mp3 = quelt_test::ReadSoundFile(folder + "/music60.mp3");
  const auto ogg = quelt_test::ReadSoundFile(folder + "/music60.ogg");
  if (mp3.empty() || ogg.empty()) {
    std::printf("no bench files in %s\n", folder.c_str());
    return 1;
  }
  std::printf("whole conversion of 60 s of 44.1 kHz stereo, best of %d alternate rounds, seconds of audio per second\n",
              Rounds);
  Run chain_mp3;
  Run acm;
  for (int round = 0; round < Rounds; ++round) {
    Chain(mp3, chain_mp3);
    BareAcm(mp3, acm);
  }
  Report("MP3", chain_mp3, "bare ACM", acm);
  Run chain_ogg;
  Run vorbisfile;
  for (int round = 0; round < Rounds; ++round) {
    Chain(ogg, chain_ogg);
    BareVorbisfile(ogg, vorbisfile);
  }
  Report("Ogg", chain_ogg, "bare vorbisfile", vorbisfile);
  return 0;
}
