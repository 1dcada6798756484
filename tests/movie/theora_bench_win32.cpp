// Playback speed of a 640x480 Theora movie through the engine's player (the decode thread
// filling the stock, frame fetch converting each frame to 32-bit pixels on this thread)
// beside bare libtheora decoding of the same file, in frames per second. Both are timed from
// the open (the engine's index scan and first frame, the bare loop's set-up) to the last
// frame; they take turns for five rounds and the figures are the medians. A bare pass over
// the file like the open's index scan, added to the bare decode, shows what an index built
// at the open leaves reachable.
#include <windows.h>
#include <ogg/ogg.h>
#include <theora/theora.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "movie/theora_decoder.h"
#include "movie/theora_movie_maker.h"
#include "movie/yuv_tables.h"

namespace {

using namespace quelt;

constexpr int32_t Frames = 150;
int32_t BenchWidth = 640;
int32_t BenchHeight = 480;

double Now() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Every packet through the legacy interface, each picture asked for: frames per second.
double BareDecode(const std::vector<uint8_t>& file) {
  const double start = Now();
  ogg_sync_state sync;
  ogg_stream_state stream;
  ogg_page page;
  ogg_packet packet;
  theora_info info;
  theora_comment comment;
  theora_state state;
  ogg_sync_init(&sync);
  theora_info_init(&info);
  theora_comment_init(&comment);
  char* buffer = ogg_sync_buffer(&sync, static_cast<long>(file.size()));
  std::copy(file.begin(), file.end(), buffer);
  ogg_sync_wrote(&sync, static_cast<long>(file.size()));
  bool streamStarted = false;
  int32_t headers = 0;
  int32_t frames = 0;
  while (ogg_sync_pageout(&sync, &page) == 1) {
    if (!streamStarted) {
      ogg_stream_init(&stream, ogg_page_serialno(&page));
      streamStarted = true;
    }
    ogg_stream_pagein(&stream, &page);
    while (ogg_stream_packetout(&stream, &packet) == 1) {
      if (headers < 3) {
        theora_decode_header(&info, &comment, &packet);
        if (++headers == 3) theora_decode_init(&state, &info);
        continue;
      }
      yuv_buffer yuv;
      theora_decode_packetin(&state, &packet);
      theora_decode_YUVout(&state, &yuv);
      ++frames;
    }
  }
  const double seconds = Now() - start;
  if (headers == 3) theora_clear(&state);
  theora_comment_clear(&comment);
  theora_info_clear(&info);
  if (streamStarted) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  return frames / seconds;
}

// The pieces the player's open does before any decoding, done bare: the file through the
// sync state in 4096-byte reads, every page into the stream, every packet out and asked
// whether it is a key frame. Seconds; added to the bare decode, it gives the floor the
// player can reach with an index of the whole file at the open.
double BareIndexPass(const std::vector<uint8_t>& file) {
  const double start = Now();
  ogg_sync_state sync;
  ogg_stream_state stream;
  ogg_page page;
  ogg_packet packet;
  ogg_sync_init(&sync);
  bool streamStarted = false;
  int64_t frames = 0;
  constexpr size_t kRead = 4096;
  for (size_t at = 0; at < file.size();) {
    const size_t n = std::min(kRead, file.size() - at);
    std::copy(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(at + n),
              ogg_sync_buffer(&sync, static_cast<long>(n)));
    ogg_sync_wrote(&sync, static_cast<long>(n));
    at += n;
    while (ogg_sync_pageout(&sync, &page) == 1) {
      if (!streamStarted) {
        ogg_stream_init(&stream, ogg_page_serialno(&page));
        streamStarted = true;
      }
      ogg_stream_pagein(&stream, &page);
      while (ogg_stream_packetout(&stream, &packet) == 1) frames += theora_packet_iskeyframe(&packet) >= 0 ? 1 : 0;
    }
  }
  const double seconds = Now() - start;
  if (streamStarted) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  return frames > 0 ? seconds : 0;
}

// Open (the index scan reads the whole file once), then every frame fetched and converted in
// play order: frames per second from the open to the last frame, and the open's milliseconds.
double EnginePlayback(double* openMs) {
  const double opening = Now();
  const FileAccessTable& table = quelt_test::MemoryFileTable();
  const FileHandle file = table.open("bench.ogv", 0, 1, 0);
  TheoraDecoder* decoder = OpenTheoraDecoder(&table, file, 10);
  const double start = Now();
  *openMs = (start - opening) * 1000;
  int32_t frames = 0;
  if (decoder != nullptr) {
    for (int32_t f = 0; f < Frames; ++f) {
      frames += FetchTheoraFrame(decoder, 1, 0);
      AdvanceTheoraFrame(decoder, 1);
    }
  }
  const double seconds = Now() - opening;
  CloseTheoraDecoder(decoder);
  table.close(file);
  return frames / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    BenchWidth = std::atoi(argv[1]);
    BenchHeight = std::atoi(argv[2]);
  }
  InitYuvTables();
  quelt_test::MovieRecipe recipe;
  recipe.width = BenchWidth;
  recipe.height = BenchHeight;
  recipe.frames = Frames;
  recipe.textured = true;
  recipe.keyInterval = 32;
  std::vector<uint8_t> file = quelt_test::TestMovie(recipe, QUELT_BENCH_MOVIES);
  quelt_test::RegisterMemoryFile("bench.ogv", file);
  constexpr int kRounds = 5;
  std::vector<double> bares, reachables, engines, opens;
  for (int round = 0; round < kRounds; ++round) {
    double ms = 0;
    const double indexSeconds = BareIndexPass(file);
    bares.push_back(BareDecode(file));
    reachables.push_back(Frames / (Frames / bares.back() + indexSeconds));
    engines.push_back(EnginePlayback(&ms));
    opens.push_back(ms);
  }
  const auto median = [](std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double bare = median(bares), reachable = median(reachables), engine = median(engines), openMs = median(opens);
  if (file.empty()) {
    std::printf("no bench movie in %s\n", QUELT_BENCH_MOVIES);
    return 1;
  }
  std::printf("%dx%d Theora, %d frames (%zu bytes), open to last frame, medians of %d rounds, frames per second\n",
              BenchWidth, BenchHeight, Frames, file.size(), kRounds);
  std::printf("%-40s %10.1f\n", "player: decode thread + fetch to XRGB", engine);
  std::printf("%-40s %10.1f\n", "bare libtheora decode", bare);
  std::printf("%-40s %10.1f\n", "bare index pass + bare decode", reachable);
  std::printf("%-40s %10.1f\n", "player open (index scan), ms", openMs);
  std::printf("%-40s %10.3f\n", "player / (index pass + bare)", reachable > 0 ? engine / reachable : 0.0);
  std::printf("%-40s %10.3f\n", "player / bare", bare > 0 ? engine / bare : 0.0);
  return 0;
}
