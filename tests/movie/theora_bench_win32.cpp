// Playback speed of a 640x480 Theora movie through the engine's player (the decode thread
// filling the stock, frame fetch converting each frame to 32-bit pixels on this thread)
// beside bare libtheora playing the same file to the same pixels with the same converter,
// in frames per second; bare decoding without the conversion is shown too. All are timed
// from the open (the engine's index scan and first frame, the bare loop's set-up) to the
// last frame; they take turns for seven rounds and the figures are the medians (the ratios
// the medians of each round's). A bare pass over the file like the open's index scan, added
// to the bare decode, shows what an index built at the open leaves reachable. An untimed
// pass checks that the player shows the bare loop's pictures.
#include <windows.h>
#include <ogg/ogg.h>
#include <theora/theora.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "movie/theora_decoder.h"
#include "movie/theora_movie_maker.h"
#include "movie/yuv_layouts.h"
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

// What the bare loop does with each picture: nothing more, copy its planes into a stock
// of ten as the player's decode thread does, or convert it (and hash the pixels).
enum class BarePictures { Decode, Copy, Convert, Hash };

uint64_t Fnv(uint64_t hash, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

// The file through the sync state in the player's 4096-byte reads, every page into the
// stream (made on the first page), every packet out to `onPacket`.
template <class OnPacket>
void FeedPackets(const std::vector<uint8_t>& file, ogg_sync_state& sync, ogg_stream_state& stream,
                 bool& streamStarted, OnPacket onPacket) {
  constexpr size_t kRead = 4096;
  ogg_page page;
  ogg_packet packet;
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
      while (ogg_stream_packetout(&stream, &packet) == 1) onPacket(packet);
    }
  }
}

// Every packet through the legacy interface, the file fed in the player's 4096-byte reads
// (faster here than the whole file in one buffer), each picture asked for and, unless only
// decoding, converted to 32-bit pixels by the converter the player's fetch uses: frames per
// second from the set-up to the last frame. Hashing (untimed use) leaves the pictures' hash.
double BareDecode(const std::vector<uint8_t>& file, BarePictures pictures, uint64_t* hash = nullptr) {
  const double start = Now();
  ogg_sync_state sync;
  ogg_stream_state stream;
  theora_info info;
  theora_comment comment;
  theora_state state;
  ogg_sync_init(&sync);
  theora_info_init(&info);
  theora_comment_init(&comment);
  std::vector<uint8_t> image;
  constexpr size_t kStock = 10;
  std::vector<uint8_t> stock;
  size_t stocked = 0;
  bool streamStarted = false;
  int32_t headers = 0;
  int32_t frames = 0;
  FeedPackets(file, sync, stream, streamStarted, [&](ogg_packet& packet) {
    if (headers < 3) {
      theora_decode_header(&info, &comment, &packet);
      if (++headers == 3) {
        theora_decode_init(&state, &info);
        image.resize(static_cast<size_t>(info.frame_width) * info.frame_height * 4);
        stock.resize(static_cast<size_t>(info.width) * info.height * 3 / 2 * kStock);
      }
      return;
    }
    yuv_buffer yuv;
    theora_decode_packetin(&state, &packet);
    theora_decode_YUVout(&state, &yuv);
    if (pictures == BarePictures::Copy) {
      const auto planeRows = [&](const unsigned char* plane, int32_t stride, int32_t width, int32_t height) {
        for (int32_t row = 0; row < height; ++row) {
          std::memcpy(stock.data() + stocked, plane + static_cast<intptr_t>(row) * stride, static_cast<size_t>(width));
          stocked += static_cast<size_t>(width);
        }
      };
      stocked = stock.size() / kStock * static_cast<size_t>(frames % kStock);
      planeRows(yuv.y, yuv.y_stride, yuv.y_width, yuv.y_height);
      planeRows(yuv.u, yuv.uv_stride, yuv.uv_width, yuv.uv_height);
      planeRows(yuv.v, yuv.uv_stride, yuv.uv_width, yuv.uv_height);
    } else if (pictures != BarePictures::Decode) {
      const YuvPlanes planes{yuv.y, yuv.u, yuv.v, yuv.y_width, yuv.y_height, yuv.y_stride,
                             yuv.uv_width, yuv.uv_height, yuv.uv_stride};
      const auto width = static_cast<int32_t>(info.frame_width);
      ConvertYuvToXrgb(planes, image.data(), width * 4, width, static_cast<int32_t>(info.frame_height));
      if (hash != nullptr) *hash = Fnv(*hash, image.data(), image.size());
    }
    ++frames;
  });
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
  ogg_sync_init(&sync);
  bool streamStarted = false;
  int64_t frames = 0;
  FeedPackets(file, sync, stream, streamStarted,
              [&](ogg_packet& packet) { frames += theora_packet_iskeyframe(&packet) >= 0 ? 1 : 0; });
  const double seconds = Now() - start;
  if (streamStarted) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  return frames > 0 ? seconds : 0;
}

// Open (the index scan reads the whole file once), then every frame fetched and converted in
// play order: frames per second from the open to the last frame, and the open's milliseconds.
// With a hash (untimed use), the hash of the pictures shown.
double EnginePlayback(double* openMs, uint64_t* hash = nullptr) {
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
      if (hash != nullptr) {
        const RasterImage& image = *GetTheoraFrameImage(decoder);
        for (int32_t row = 0; row < image.height; ++row) {
          *hash = Fnv(*hash, image.pixels + static_cast<intptr_t>(row) * image.pitch, static_cast<size_t>(image.width) * 4);
        }
      }
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
  constexpr int kRounds = 7;
  std::vector<double> bares, decodes, copies, reachables, engines, opens, ratios, decodeRatios;
  for (int round = 0; round < kRounds; ++round) {
    double ms = 0;
    const double indexSeconds = BareIndexPass(file);
    decodes.push_back(BareDecode(file, BarePictures::Decode));
    copies.push_back(BareDecode(file, BarePictures::Copy));
    reachables.push_back(Frames / (Frames / decodes.back() + indexSeconds));
    bares.push_back(BareDecode(file, BarePictures::Convert));
    engines.push_back(EnginePlayback(&ms));
    opens.push_back(ms);
    ratios.push_back(engines.back() / bares.back());
    decodeRatios.push_back(engines.back() / decodes.back());
  }
  const auto median = [](std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  if (file.empty()) {
    std::printf("no bench movie in %s\n", QUELT_BENCH_MOVIES);
    return 1;
  }
  uint64_t bareHash = 14695981039346656037ull, engineHash = bareHash;
  double ms = 0;
  BareDecode(file, BarePictures::Hash, &bareHash);
  EnginePlayback(&ms, &engineHash);
  const double bare = median(bares), decode = median(decodes), reachable = median(reachables);
  const double engine = median(engines), openMs = median(opens);
  std::printf("%dx%d Theora, %d frames (%zu bytes), open to last frame, medians of %d rounds, frames per second\n",
              BenchWidth, BenchHeight, Frames, file.size(), kRounds);
  std::printf("%-44s %10.1f\n", "player: decode thread + fetch to XRGB", engine);
  std::printf("%-44s %10.1f\n", "bare libtheora decode + the same conversion", bare);
  std::printf("%-44s %10.1f\n", "bare libtheora decode only", decode);
  std::printf("%-44s %10.1f\n", "bare index pass + bare decode only", reachable);
  std::printf("%-44s %10.1f\n", "bare decode + the stock's plane copies", median(copies));
  std::printf("%-44s %10.1f\n", "player open (index scan, frame 0), ms", openMs);
  std::printf("%-44s %10s\n", "pictures identical to bare", engineHash == bareHash ? "yes" : "NO");
  std::printf("%-44s %10.3f\n", "player / bare (same conversion), per round", median(ratios));
  std::printf("%-44s %10.3f\n", "player / bare decode only, per round", median(decodeRatios));
  std::printf("%-44s %10.3f\n", "player / (index pass + bare decode only)", reachable > 0 ? engine / reachable : 0.0);
  std::printf("%-44s %10.3f\n", "player / (bare decode + plane copies)", engine / median(copies));
  return 0;
}
