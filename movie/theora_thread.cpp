// The decode thread: it seeks on request and otherwise keeps the stock filled with the
// pictures of the frames from the current one on, up to the stock's size ahead.
#include <algorithm>
#include <cstring>
#include <new>

#include "core/tracked_alloc.h"
#include "movie/theora_decoder.h"
#include "movie/theora_platform.h"
#include "movie/theora_stock.h"

namespace quelt {

namespace {

constexpr int32_t PageReadBytes = 4096;

// The next packet of the stream into d->packet; -1 at the end of the file.
int NextPacket(TheoraDecoder* d) {
  for (;;) {
    const int r = ogg_stream_packetout(&d->stream, &d->packet);
    if (r == 1) return 0;
    if (r < 0) continue;  // a gap in the data: the packet after it follows
    const int p = ogg_sync_pageout(&d->sync, &d->page);
    if (p == 1) {
      ogg_stream_pagein(&d->stream, &d->page);
      continue;
    }
    if (p < 0) continue;
    if (d->files.eof != nullptr && d->files.eof(d->file) != 0) return -1;
    if (ReadTheoraPage(d, PageReadBytes) == 0) return -1;
  }
}

// The next packet of the stream from the bytes already in the sync state (the file is not
// read): false when they hold no further packet.
bool BufferedPacket(TheoraDecoder* d) {
  for (;;) {
    const int r = ogg_stream_packetout(&d->stream, &d->packet);
    if (r == 1) return true;
    if (r < 0) continue;
    const int p = ogg_sync_pageout(&d->sync, &d->page);
    if (p == 1) {
      ogg_stream_pagein(&d->stream, &d->page);
    } else if (p == 0) {
      return false;
    }
  }
}

// Reads the packets of the next `count` frames and decodes them from the last key frame
// among them on (earlier packets are only read). 1 when the last packet is a key frame,
// 0 when not, -1 at the end of the file or on a stop request.
int DecodeFrames(TheoraDecoder* d, int32_t count) {
  int32_t decoded = d->decodedFrame.load(std::memory_order_relaxed);
  int64_t lastKey = -1;
  for (int32_t j = 1; j <= count; ++j) {
    const int64_t f = int64_t{decoded} + j;
    if (f >= 0 && f < d->frameCount && d->keyFrames[f] == 1) lastKey = f;
  }
  int key = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (d->stopRequest.load(std::memory_order_acquire) != 0) return -1;
    do {
      if (NextPacket(d) < 0) return -1;
      key = theora_packet_iskeyframe(&d->packet);
    } while (key < 0);  // header packets are no frames
    if (lastKey < 0 || lastKey <= int64_t{decoded} + 1) theora_decode_packetin(&d->state, &d->packet);
    ++decoded;
    d->decodedFrame.store(decoded, std::memory_order_release);
  }
  return key;
}

// Clears an entry's used flag unless the main thread is reading it.
void DropEntry(TheoraDecoder* d, int32_t index) {
  TheoraStockEntry& e = d->stock[index];
  e.used.store(0, std::memory_order_seq_cst);
  if (d->readerEntry.load(std::memory_order_seq_cst) == index) e.used.store(1, std::memory_order_seq_cst);
}

bool CopyPlane(uint8_t*& copy, const unsigned char* source, int32_t width, int32_t height, int32_t stride) {
  if (copy == nullptr) copy = static_cast<uint8_t*>(TrackedAlloc(width * height, __FILE__, __LINE__));
  if (copy == nullptr) return false;
  // The library may hand rows bottom-up (a negative stride): the copy is always top-down.
  for (int32_t r = 0; r < height; ++r) {
    std::memcpy(copy + static_cast<intptr_t>(r) * width, source + static_cast<intptr_t>(r) * stride,
                static_cast<size_t>(width));
  }
  return true;
}

// The picture region of the decoder's frame into the free entry, labelled with the decoded
// frame. False when there is no picture or no memory for it.
bool StoreDecoded(TheoraDecoder* d, TheoraStockEntry& e) {
  yuv_buffer yuv;
  if (theora_decode_YUVout(&d->state, &yuv) < 0) return false;
  if (yuv.y_width <= 0 || yuv.y_height <= 0 || yuv.uv_width <= 0 || yuv.uv_height <= 0) return false;
  if (int64_t{yuv.y_width} * yuv.y_height > kMaxPixelBlockBytes) return false;
  if (d->pictureX + d->pictureWidth > yuv.y_width || d->pictureY + d->pictureHeight > yuv.y_height) return false;
  // Chroma planes are halved in a direction where they are narrower than the luma plane.
  const int32_t shiftX = yuv.uv_width < yuv.y_width ? 1 : 0;
  const int32_t shiftY = yuv.uv_height < yuv.y_height ? 1 : 0;
  const int32_t chromaX = d->pictureX >> shiftX;
  const int32_t chromaY = d->pictureY >> shiftY;
  const int32_t chromaWidth = std::min(((d->pictureX + d->pictureWidth + shiftX) >> shiftX) - chromaX, yuv.uv_width - chromaX);
  const int32_t chromaHeight =
      std::min(((d->pictureY + d->pictureHeight + shiftY) >> shiftY) - chromaY, yuv.uv_height - chromaY);
  if (chromaWidth <= 0 || chromaHeight <= 0) return false;
  if (d->pictureWidth != e.yWidth || d->pictureHeight != e.yHeight) {
    TrackedFree(e.y);
    e.y = nullptr;
  }
  if (chromaWidth != e.uvWidth || chromaHeight != e.uvHeight) {
    TrackedFree(e.u);
    TrackedFree(e.v);
    e.u = nullptr;
    e.v = nullptr;
  }
  e.yWidth = d->pictureWidth;
  e.yHeight = d->pictureHeight;
  e.yStride = e.yWidth;
  e.uvWidth = chromaWidth;
  e.uvHeight = chromaHeight;
  e.uvStride = chromaWidth;
  const auto at = [](const unsigned char* plane, int32_t stride, int32_t x, int32_t y) {
    return plane + static_cast<intptr_t>(y) * stride + x;
  };
  if (!CopyPlane(e.y, at(yuv.y, yuv.y_stride, d->pictureX, d->pictureY), e.yWidth, e.yHeight, yuv.y_stride) ||
      !CopyPlane(e.u, at(yuv.u, yuv.uv_stride, chromaX, chromaY), e.uvWidth, e.uvHeight, yuv.uv_stride) ||
      !CopyPlane(e.v, at(yuv.v, yuv.uv_stride, chromaX, chromaY), e.uvWidth, e.uvHeight, yuv.uv_stride)) {
    return false;
  }
  e.frame.store(d->decodedFrame.load(std::memory_order_relaxed), std::memory_order_relaxed);
  e.used.store(1, std::memory_order_release);
  return true;
}

void RestartStreamAt(TheoraDecoder* d, int32_t offset) {
  ogg_sync_reset(&d->sync);
  ogg_stream_reset(&d->stream);
  d->files.seek(d->file, offset, 0);
}

// False when the target lies beyond the index (the thread then ends).
bool SeekToTarget(TheoraDecoder* d) {
  d->threadState.store(TheoraSeeking, std::memory_order_release);
  const int32_t target = d->seekTarget.load(std::memory_order_acquire);
  int32_t a = 0;
  while (a < d->pageCount && int64_t{d->pages[a].firstFrame} + d->pages[a].packetCount <= target) ++a;
  if (a >= d->pageCount) return false;
  // Start a page before the nearest earlier page with a key frame: the key frame's packet
  // may begin there.
  int32_t start = 0;
  for (int32_t k = a - 1; k >= 1; --k) {
    if (d->pages[k].keyFrame == 1) {
      start = k - 1;
      break;
    }
  }
  RestartStreamAt(d, d->pages[start].pageOffset);
  int32_t first = d->pages[start].firstFrame;
  bool ok = true;
  if (start > 0) {
    int r;
    while ((r = ogg_sync_pageout(&d->sync, &d->page)) != 1) {
      if (r == 0 && ReadTheoraPage(d, PageReadBytes) == 0) {
        ok = false;
        break;
      }
    }
    if (ok) {
      if (ogg_page_continued(&d->page)) ++first;  // the packet begun on the page before is lost
      ogg_stream_pagein(&d->stream, &d->page);
    }
  }
  // Every frame from the start page to the target is read, and decoded from the last key
  // frame on, so the picture is the target's.
  d->decodedFrame.store(first - 1, std::memory_order_relaxed);
  if (ok && target >= first) ok = DecodeFrames(d, target - first + 1) >= 0;
  for (int32_t i = 0; i < d->stockSize; ++i) DropEntry(d, i);
  d->decodedFrame.store(target, std::memory_order_release);
  d->endFlag.store(ok ? 0 : 1, std::memory_order_release);
  d->seekRequest.store(0, std::memory_order_release);
  return true;
}

bool HoldsFrame(const TheoraDecoder* d, int32_t frame) {
  for (int32_t i = 0; i < d->stockSize; ++i) {
    const TheoraStockEntry& e = d->stock[i];
    if (e.used.load(std::memory_order_acquire) != 0 && e.frame.load(std::memory_order_relaxed) == frame) return true;
  }
  return false;
}

// One pass of decoding ahead: entries outside the window are released, and the first frame
// of the window (in play order, through the end into the start) that no entry holds is
// decoded into a free entry. Every frame is held at most once, so a full stock always holds
// the whole window, the current frame first.
void DecodeAhead(TheoraDecoder* d) {
  if (d->endFlag.load(std::memory_order_acquire) != 0) {
    SleepTheora(1);  // the end of the file came early: idle until a seek
    return;
  }
  const int32_t current = d->currentFrame.load(std::memory_order_acquire);
  const int32_t decoded = d->decodedFrame.load(std::memory_order_relaxed);
  const int64_t n = d->frameCount;
  if (current < 0 || current >= n) {
    d->threadState.store(TheoraStockFull, std::memory_order_release);
    SleepTheora(1);
    return;
  }
  int32_t free = -1;
  for (int32_t i = 0; i < d->stockSize; ++i) {
    TheoraStockEntry& e = d->stock[i];
    if (e.used.load(std::memory_order_acquire) != 0 &&
        IsOutsideTheoraWindow(e.frame.load(std::memory_order_relaxed), current, n, d->stockSize)) {
      DropEntry(d, i);
    }
    if (free < 0 && e.used.load(std::memory_order_acquire) == 0) free = i;
  }
  int64_t next = -1;
  const int64_t window = n < d->stockSize ? n : d->stockSize;
  for (int64_t k = 0; k < window && next < 0; ++k) {
    const int64_t frame = (current + k) % n;
    if (!HoldsFrame(d, static_cast<int32_t>(frame))) next = frame;
  }
  if (free < 0 || next < 0) {
    d->threadState.store(TheoraStockFull, std::memory_order_release);
    SleepTheora(0);
    return;
  }
  d->threadState.store(TheoraDecodingAhead, std::memory_order_release);
  if (next != decoded) {
    int64_t advance = next - decoded;
    int result;
    if (decoded >= 0 && advance > 0) {
      result = DecodeFrames(d, static_cast<int32_t>(advance));
    } else {
      // Behind the decoder: on from the start of the file to the frame, whose picture the
      // decoder then holds, labelled with its own number.
      RestartStreamAt(d, d->pages[0].pageOffset);
      d->decodedFrame.store(-1, std::memory_order_relaxed);
      result = DecodeFrames(d, static_cast<int32_t>(next + 1));
    }
    if (result < 0) {
      d->endFlag.store(1, std::memory_order_release);
      SleepTheora(1);
      return;
    }
  }
  if (!StoreDecoded(d, d->stock[free])) {
    d->endFlag.store(1, std::memory_order_release);
    SleepTheora(1);
    return;
  }
  SleepTheora(0);
}

// While the open indexes the file, the frames from its start are decoded in order into
// the stock, each into the entry of its own number, from the bytes read ahead (exactly what
// the seek to frame 0 and the passes after it decode). When the open says the scan is done,
// the thread answers that it has stopped and waits, yielding, for the open to take the
// frames or to seek afresh.
void DecodeWhileIndexed(TheoraDecoder* d) {
  d->threadState.store(TheoraParked, std::memory_order_release);
  const auto phase = [d] {
    return d->stopRequest.load(std::memory_order_acquire) != 0 ? 0 : d->indexScan.load(std::memory_order_acquire);
  };
  while (phase() == IndexScanPreparing) SleepTheora(0);
  bool more = true;
  while (phase() == IndexScanRunning) {
    const int32_t next = d->decodedFrame.load(std::memory_order_relaxed) + 1;
    if (!more || next >= d->stockSize) {
      SleepTheora(0);
      continue;
    }
    do {
      more = BufferedPacket(d);
    } while (more && theora_packet_iskeyframe(&d->packet) < 0);
    if (!more) continue;
    theora_decode_packetin(&d->state, &d->packet);
    d->decodedFrame.store(next, std::memory_order_release);
    more = StoreDecoded(d, d->stock[next]);
  }
  d->indexScan.store(IndexScanIdle, std::memory_order_release);
  // Held by a signal of its own: a pause asked for the moment the thread is let go must find
  // it in the loop that parks, not still holding.
  while (d->indexScan.load(std::memory_order_acquire) != IndexScanReleased &&
         d->stopRequest.load(std::memory_order_acquire) == 0) {
    SleepTheora(0);
  }
}

// The thread, held since its start (it touches nothing, not even its state), goes on
// decoding. Its state is set for it first: a seek that follows at once then waits for the
// thread to park again instead of taking the parked state it had while held.
void LetHeldThreadGo(TheoraDecoder* d) {
  d->threadState.store(TheoraDecodingAhead, std::memory_order_release);
  d->pauseRequest.store(0, std::memory_order_release);
  d->indexScan.store(IndexScanReleased, std::memory_order_release);
}

}  // namespace

bool IsOutsideTheoraWindow(int64_t frame, int64_t current, int64_t frameCount, int32_t stockSize) {
  if (frame < 0 || frameCount <= 0 || frame >= frameCount) return true;
  int64_t ahead = (frame - current) % frameCount;
  if (ahead < 0) ahead += frameCount;
  return ahead >= stockSize;
}

int AllocTheoraStock(TheoraDecoder* d, int32_t size) {
  if (size <= 0 || size > INT32_MAX / static_cast<int32_t>(sizeof(TheoraStockEntry))) return -1;
  void* block = TrackedAlloc(size * static_cast<int32_t>(sizeof(TheoraStockEntry)), __FILE__, __LINE__);
  if (block == nullptr) return -1;
  std::memset(block, 0, static_cast<size_t>(size) * sizeof(TheoraStockEntry));
  d->stock = static_cast<TheoraStockEntry*>(block);
  for (int32_t i = 0; i < size; ++i) new (&d->stock[i]) TheoraStockEntry{};
  d->stockSize = size;
  return 0;
}

void FreeTheoraStock(TheoraDecoder* d) {
  if (d->stock == nullptr) return;
  for (int32_t i = 0; i < d->stockSize; ++i) {
    TrackedFree(d->stock[i].y);
    TrackedFree(d->stock[i].u);
    TrackedFree(d->stock[i].v);
    d->stock[i].~TheoraStockEntry();
  }
  TrackedFree(d->stock);
  d->stock = nullptr;
  d->stockSize = 0;
}

TheoraStockEntry* ClaimTheoraEntry(TheoraDecoder* d, int32_t frame) {
  for (int32_t i = 0; i < d->stockSize; ++i) {
    TheoraStockEntry& e = d->stock[i];
    if (e.used.load(std::memory_order_acquire) == 0 || e.frame.load(std::memory_order_relaxed) != frame) continue;
    // Announce the claim, then look again: the thread either saw the claim before dropping
    // the entry, or dropped it before the claim, which this second look then sees.
    d->readerEntry.store(i, std::memory_order_seq_cst);
    if (e.used.load(std::memory_order_seq_cst) != 0 && e.frame.load(std::memory_order_seq_cst) == frame) return &e;
    d->readerEntry.store(-1, std::memory_order_seq_cst);
  }
  return nullptr;
}

void ReleaseTheoraEntry(TheoraDecoder* d) { d->readerEntry.store(-1, std::memory_order_seq_cst); }

void SeekWhileTheoraParked(TheoraDecoder* d, int32_t target) {
  d->frameImageReady = 0;
  d->surfaceReady = 0;
  const int64_t last = d->frameCount > 0 ? d->frameCount - 1 : 0;
  const auto t = static_cast<int32_t>(target < 0 ? 0 : target > last ? last : target);
  d->seekTarget.store(t, std::memory_order_relaxed);
  d->currentFrame.store(t, std::memory_order_relaxed);
  d->seekRequest.store(1, std::memory_order_release);
  // A seek past the index is left to the thread, which ends on it.
  if (SeekToTarget(d)) DecodeAhead(d);
  LetHeldThreadGo(d);
}

void StopTheoraDecodingWhileIndexed(TheoraDecoder* d) {
  d->indexScan.store(IndexScanDone, std::memory_order_release);
  // The thread finishes the frame it is on (which always ends) and answers.
  while (d->indexScan.load(std::memory_order_acquire) != IndexScanIdle) SleepTheora(0);
}

bool TakeTheoraFramesDecodedWhileIndexed(TheoraDecoder* d, int32_t fileOffset) {
  StopTheoraDecodingWhileIndexed(d);
  const int32_t decoded = d->decodedFrame.load(std::memory_order_acquire);
  if (decoded < 0 || decoded >= d->frameCount || d->pageCount == 0) return false;
  for (int32_t f = 0; f <= decoded; ++f) {
    const TheoraStockEntry& e = d->stock[f];
    if (e.used.load(std::memory_order_acquire) == 0 || e.frame.load(std::memory_order_relaxed) != f) return false;
  }
  d->frameImageReady = 0;
  d->surfaceReady = 0;
  d->files.seek(d->file, fileOffset, 0);  // on after the bytes read ahead
  d->endFlag.store(0, std::memory_order_relaxed);
  d->seekTarget.store(0, std::memory_order_relaxed);
  d->currentFrame.store(0, std::memory_order_relaxed);
  LetHeldThreadGo(d);
  return true;
}

void TheoraDecodeThread(TheoraDecoder* d) {
  if (d->indexScan.load(std::memory_order_acquire) != IndexScanIdle) DecodeWhileIndexed(d);
  while (d->stopRequest.load(std::memory_order_acquire) == 0) {
    if (d->pauseRequest.load(std::memory_order_acquire) != 0) {
      d->threadState.store(TheoraParked, std::memory_order_release);
      SleepTheora(1);
      continue;
    }
    if (d->seekRequest.load(std::memory_order_acquire) != 0) {
      if (!SeekToTarget(d)) break;
      continue;
    }
    DecodeAhead(d);
  }
  d->threadState.store(TheoraThreadEnded, std::memory_order_release);
}

}  // namespace quelt
