#include "movie/theora_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/log.h"
#include "core/tracked_alloc.h"
#include "movie/theora_platform.h"
#include "movie/theora_stock.h"

namespace quelt {

int32_t TheoraWaitLimitMs = 5000;

namespace {

constexpr int32_t PageReadBytes = 4096;
constexpr int32_t IndexGrowth = 1000;
constexpr int32_t KeyFrameGrowth = 1000;

bool IsOggStart(const FileAccessTable& files, FileHandle file) {
  char magic[4] = {};
  const int32_t got = files.read(magic, 1, 4, file);
  files.seek(file, 0, 0);
  return got == 4 && std::memcmp(magic, "OggS", 4) == 0;
}

// The next page into the sync state's output; false at the end of the file.
bool PullPage(TheoraDecoder* d) {
  for (;;) {
    const int r = ogg_sync_pageout(&d->sync, &d->page);
    if (r == 1) return true;
    if (r < 0) continue;  // bytes skipped to regain the page rhythm
    if (ReadTheoraPage(d, PageReadBytes) == 0) return false;
  }
}

bool GrowIndex(TheoraDecoder* d) {
  if (d->pageCount < d->pageCapacity) return true;
  if (d->pageCapacity > INT32_MAX / static_cast<int32_t>(sizeof(TheoraPageEntry)) - IndexGrowth) return false;
  const int32_t capacity = d->pageCapacity + IndexGrowth;
  void* grown = TrackedRealloc(d->pages, capacity * static_cast<int32_t>(sizeof(TheoraPageEntry)), __FILE__, __LINE__);
  if (grown == nullptr) return false;
  d->pages = static_cast<TheoraPageEntry*>(grown);
  d->pageCapacity = capacity;
  return true;
}

bool GrowKeyFrames(TheoraDecoder* d) {
  if (d->frameCount < d->keyFrameCapacity) return true;
  if (d->keyFrameCapacity > INT32_MAX - KeyFrameGrowth) return false;
  const int32_t capacity = d->keyFrameCapacity + KeyFrameGrowth;
  void* grown = TrackedRealloc(d->keyFrames, capacity, __FILE__, __LINE__);
  if (grown == nullptr) return false;
  d->keyFrames = static_cast<uint8_t*>(grown);
  d->keyFrameCapacity = capacity;
  return true;
}

int32_t ReadInto(TheoraDecoder* d, ogg_sync_state* sync, int32_t byteCount) {
  char* buffer = ogg_sync_buffer(sync, byteCount);
  if (buffer == nullptr) return 0;
  int32_t got = d->files.read(buffer, 1, byteCount, d->file);
  if (got < 0) got = 0;
  ogg_sync_wrote(sync, got);
  return got;
}

// Reads the whole file once from its start through the sync and stream states given (a
// stream of the Theora serial, reset): which page each frame's packet came out of, and which
// frames are key frames.
void ScanPages(TheoraDecoder* d, ogg_sync_state* sync, ogg_stream_state* stream) {
  ogg_page page;
  ogg_packet packet;
  int64_t offset = 0;
  int64_t pageOffset = 0;
  bool newPage = false;
  for (;;) {
    while (ogg_stream_packetout(stream, &packet) != 1) {
      const int r = ogg_sync_pageout(sync, &page);
      if (r == 1) {
        pageOffset = offset;
        offset += page.header_len + page.body_len;
        newPage = true;
        ogg_stream_pagein(stream, &page);  // another stream's page is refused
      } else if (r < 0) {
        offset -= r;  // skipped bytes still count toward the pages' offsets
      } else if (ReadInto(d, sync, PageReadBytes) == 0) {
        return;
      }
    }
    const int key = theora_packet_iskeyframe(&packet);
    if (key < 0) continue;
    if (newPage || d->pageCount == 0) {
      // Offsets past 2 GiB cannot be sought through the file table: the index ends there.
      if (pageOffset > INT32_MAX || !GrowIndex(d)) return;
      d->pages[d->pageCount++] = {static_cast<int32_t>(pageOffset), static_cast<int32_t>(d->frameCount), 0, 0};
      newPage = false;
    }
    if (d->frameCount >= INT32_MAX || !GrowKeyFrames(d)) return;
    TheoraPageEntry& last = d->pages[d->pageCount - 1];
    if (key == 1) last.keyFrame = 1;
    d->keyFrames[d->frameCount] = key == 1 ? 1 : 0;
    ++d->frameCount;
    ++last.packetCount;
  }
}

// The displayed region of the coded frame; a header whose region does not fit the frame
// shows the whole frame.
void TakePictureRegion(TheoraDecoder* d) {
  const theora_info& i = d->info;
  const bool fits = i.frame_width > 0 && i.frame_height > 0 && i.offset_x <= i.width &&
                    i.frame_width <= i.width - i.offset_x && i.offset_y <= i.height &&
                    i.frame_height <= i.height - i.offset_y;
  d->pictureX = fits ? static_cast<int32_t>(i.offset_x) : 0;
  d->pictureY = fits ? static_cast<int32_t>(i.offset_y) : 0;
  d->pictureWidth = static_cast<int32_t>(fits ? i.frame_width : i.width);
  d->pictureHeight = static_cast<int32_t>(fits ? i.frame_height : i.height);
}

// The index scan, and the seek to frame 0. The scan reads the file through sync and stream
// states of its own while the decode thread decodes the first frames from bytes read ahead
// into the decoder's sync state; those frames are then the seek's result. Without a stream
// state of its own the scan reads through the decoder's before the seek.
void IndexAndSeekToStart(TheoraDecoder* d) {
  ogg_sync_state sync;
  ogg_stream_state stream;
  ogg_sync_init(&sync);
  const bool ownStream = ogg_stream_init(&stream, d->streamSerial) == 0;
  int32_t readAhead = 0;
  if (ownStream) {
    ogg_stream_reset(&stream);  // as the decoder's stream is: no page seen yet
    while (readAhead < TheoraReadAheadBytes) {
      const int32_t got = ReadTheoraPage(d, std::min(PageReadBytes, TheoraReadAheadBytes - readAhead));
      if (got == 0) break;
      readAhead += got;
    }
    d->files.seek(d->file, 0, 0);
    d->indexScan.store(IndexScanRunning, std::memory_order_release);
    ScanPages(d, &sync, &stream);
    ogg_stream_clear(&stream);
  } else {
    StopTheoraDecodingWhileIndexed(d);
    ScanPages(d, &d->sync, &d->stream);
  }
  ogg_sync_clear(&sync);
  if (d->pageCount > 0) d->pages[0].pageOffset = 0;  // from the start: the headers come again
  if (!ownStream || !TakeTheoraFramesDecodedWhileIndexed(d, readAhead)) SeekWhileTheoraParked(d, 0);
}

}  // namespace

int32_t TheoraReadAheadBytes = 256 * 1024;

int32_t ReadTheoraPage(TheoraDecoder* d, int32_t byteCount) { return ReadInto(d, &d->sync, byteCount); }

int ParseTheoraHeaders(TheoraDecoder* d) {
  // Find the Theora stream's first page among the streams' opening pages.
  bool found = false;
  while (!found) {
    if (ReadTheoraPage(d, PageReadBytes) == 0) break;
    int r;
    while (!found && (r = ogg_sync_pageout(&d->sync, &d->page)) != 0) {
      if (r < 0) continue;  // bytes skipped to regain the page rhythm
      if (!ogg_page_bos(&d->page)) {
        ogg_stream_pagein(&d->stream, &d->page);
        found = true;
        break;
      }
      ogg_stream_state probe;
      ogg_stream_init(&probe, ogg_page_serialno(&d->page));
      ogg_stream_pagein(&probe, &d->page);
      ogg_packet first;
      if (ogg_stream_packetout(&probe, &first) == 1 &&
          theora_decode_header(&d->info, &d->comment, &first) >= 0) {
        d->streamSerial = ogg_page_serialno(&d->page);
        d->headerCount = 1;
        ogg_stream_clear(&d->stream);
        d->stream = probe;  // the probe's buffers now belong to the decoder's stream
        found = true;
      } else {
        ogg_stream_clear(&probe);
      }
    }
  }
  if (d->headerCount == 0) return -1;
  // The other two headers.
  while (d->headerCount < 3) {
    int r;
    while (d->headerCount < 3 && (r = ogg_stream_packetout(&d->stream, &d->packet)) != 0) {
      if (r < 0 || theora_decode_header(&d->info, &d->comment, &d->packet) < 0) return -1;
      ++d->headerCount;
    }
    if (d->headerCount >= 3) break;
    if (!PullPage(d)) return -1;
    ogg_stream_pagein(&d->stream, &d->page);
  }
  return d->headerCount >= 1 ? 1 : -1;
}

TheoraDecoder* OpenTheoraDecoder(const FileAccessTable* table, FileHandle file, int32_t stockSize) {
  if (table == nullptr || table->read == nullptr || table->seek == nullptr || stockSize <= 0) return nullptr;
  if (!IsOggStart(*table, file)) return nullptr;
  void* block = TrackedAlloc(sizeof(TheoraDecoder), __FILE__, __LINE__);
  if (block == nullptr) {
    WriteLog("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
    return nullptr;
  }
  std::memset(block, 0, sizeof(TheoraDecoder));
  auto* d = new (block) TheoraDecoder{};
  d->currentFrame = -1;
  d->readerEntry = -1;
  ogg_sync_init(&d->sync);
  theora_info_init(&d->info);
  theora_comment_init(&d->comment);
  d->files = *table;
  d->file = file;
  if (AdoptTheoraFileReader(d) != 0) {
    CloseTheoraDecoder(d);
    return nullptr;
  }

  if (ParseTheoraHeaders(d) < 0) {
    CloseTheoraDecoder(d);
    return nullptr;
  }
  // A picture larger than the engine can hold as an image is refused before the library
  // allocates its frames for it.
  const int64_t pictureBytes = int64_t{d->info.width} * d->info.height * 4;
  if (d->info.width == 0 || d->info.height == 0 || pictureBytes > kMaxPixelBlockBytes) {
    CloseTheoraDecoder(d);
    return nullptr;
  }
  TakePictureRegion(d);
  if (d->pictureWidth <= 0 || d->pictureHeight <= 0) {
    CloseTheoraDecoder(d);
    return nullptr;
  }

  d->pauseRequest.store(1, std::memory_order_release);
  d->indexScan.store(IndexScanPreparing, std::memory_order_release);
  d->decodedFrame.store(-1, std::memory_order_release);
  d->threadState.store(TheoraStockFull, std::memory_order_release);
  if (StartTheoraThread(d, &d->threadHandle, &d->threadId) != 0) {
    WriteLog("Theora ムービーデコード用スレッドの作成に失敗しました\n");
    CloseTheoraDecoder(d);
    return nullptr;
  }

  if (theora_decode_init(&d->state, &d->info) != 0) {
    CloseTheoraDecoder(d);
    return nullptr;
  }
  d->decodeStarted = 1;
  ogg_sync_reset(&d->sync);
  ogg_stream_reset(&d->stream);
  d->files.seek(d->file, 0, 0);

  d->pages = static_cast<TheoraPageEntry*>(
      TrackedAlloc(IndexGrowth * static_cast<int32_t>(sizeof(TheoraPageEntry)), __FILE__, __LINE__));
  if (d->pages == nullptr) {
    WriteLog("Theora ページ情報格納用メモリの確保に失敗しました\n");
    CloseTheoraDecoder(d);
    return nullptr;
  }
  d->pageCapacity = IndexGrowth;
  d->keyFrames = static_cast<uint8_t*>(TrackedAlloc(KeyFrameGrowth, __FILE__, __LINE__));
  if (d->keyFrames == nullptr) {
    WriteLog("Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
    CloseTheoraDecoder(d);
    return nullptr;
  }
  d->keyFrameCapacity = KeyFrameGrowth;

  CreateTheoraYv12Surface(d);
  if (AllocXrgb32Image(d->pictureWidth, d->pictureHeight, &d->frameImage) != 0) {
    WriteLog("Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
    CloseTheoraDecoder(d);
    return nullptr;
  }
  std::memset(d->frameImage.pixels, 0, static_cast<size_t>(d->frameImage.pitch) * d->frameImage.height);
  if (AllocTheoraStock(d, stockSize) != 0) {
    WriteLog("Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
    CloseTheoraDecoder(d);
    return nullptr;
  }

  IndexAndSeekToStart(d);
  // Frame 0 is converted now, so the frame image shows it from the start; the ready flags
  // are left clear so that the first fetch also reports it to the caller, who copies it on.
  FetchTheoraFrame(d, 1, 1);
  d->frameImageReady = 0;
  d->surfaceReady = 0;
  return d;
}

int CloseTheoraDecoder(TheoraDecoder* d) { return CloseTheoraDecoderWithin(d, TheoraWaitLimitMs); }

int CloseTheoraDecoderWithin(TheoraDecoder* d, int32_t waitMs) {
  if (d == nullptr) return 0;
  if (d->threadHandle != nullptr) {
    d->stopRequest.store(1, std::memory_order_release);
    d->pauseRequest.store(0, std::memory_order_release);
    if (WaitTheoraThread(d->threadHandle, waitMs) != 0) {
      // The thread still runs on this record: it cannot be freed under it. Said once.
      if (d->stopLogged == 0) WriteLog("Theora ムービーデコード用スレッドが終了しません\n");
      d->stopLogged = 1;
      return -1;
    }
    CloseTheoraThread(d->threadHandle);
    d->threadHandle = nullptr;
  }
  FreeTheoraStock(d);
  ReleaseTheoraDeviceObjects(d);
  TrackedFree(d->pages);
  TrackedFree(d->keyFrames);
  if (d->frameImage.pixels != nullptr) FreeRasterImage(&d->frameImage);
  ogg_stream_clear(&d->stream);
  if (d->decodeStarted) theora_clear(&d->state);
  theora_comment_clear(&d->comment);
  theora_info_clear(&d->info);
  ogg_sync_clear(&d->sync);
  CloseTheoraFileReader(d);
  d->~TheoraDecoder();
  TrackedFree(d);
  return 0;
}

int GetTheoraInfo(const TheoraDecoder* d, TheoraInfo* info) {
  const double denominator = d->info.fps_denominator;
  info->framesPerSecond = denominator != 0 ? d->info.fps_numerator / denominator : 0.0;
  info->frameCount = static_cast<int32_t>(d->frameCount);
  info->width = d->pictureWidth;
  info->height = d->pictureHeight;
  return 0;
}

int32_t GetTheoraCurrentFrame(const TheoraDecoder* d) { return d->currentFrame.load(std::memory_order_acquire); }

int AdvanceTheoraFrame(TheoraDecoder* d, int32_t count) {
  if (count <= 0) return 0;
  int64_t next = int64_t{d->currentFrame.load(std::memory_order_relaxed)} + count;
  if (next >= d->frameCount) next -= d->frameCount;
  if (next < 0 || next >= d->frameCount) next = d->frameCount > 0 ? next % d->frameCount : 0;
  d->currentFrame.store(static_cast<int32_t>(next), std::memory_order_release);
  d->frameImageReady = 0;
  d->surfaceReady = 0;
  return 0;
}

int RequestTheoraSeek(TheoraDecoder* d, int32_t target) {
  if (target == d->currentFrame.load(std::memory_order_relaxed)) return 0;
  d->frameImageReady = 0;
  d->surfaceReady = 0;
  d->pauseRequest.store(1, std::memory_order_release);
  // The thread parks between passes; one that has ended or never answers is not waited for.
  const int32_t start = TheoraMilliseconds();
  for (;;) {
    const int32_t state = d->threadState.load(std::memory_order_acquire);
    if (state == TheoraParked || state == TheoraThreadEnded) break;
    if (TheoraMilliseconds() - start > TheoraWaitLimitMs) break;
    SleepTheora(0);
  }
  // The last frame is the furthest a seek goes.
  const int64_t last = d->frameCount > 0 ? d->frameCount - 1 : 0;
  const auto t = static_cast<int32_t>(target < 0 ? 0 : target > last ? last : target);
  d->seekTarget.store(t, std::memory_order_relaxed);
  d->currentFrame.store(t, std::memory_order_relaxed);
  d->seekRequest.store(1, std::memory_order_release);
  d->pauseRequest.store(0, std::memory_order_release);
  return 0;
}

RasterImage* GetTheoraFrameImage(TheoraDecoder* d) { return &d->frameImage; }

void* GetTheoraYv12Surface(const TheoraDecoder* d) { return d->yuvSurface; }

}  // namespace quelt
