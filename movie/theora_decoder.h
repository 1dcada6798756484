#pragma once
// The engine's Ogg Theora player: the stream's page index, a decode thread that keeps a
// stock of decoded pictures ahead of the movie's current frame, and the operations the
// movie table calls. The decode thread shares the decoder with the main thread without a
// lock; every word both sides touch is an atomic (release on write, acquire on read).
#include <ogg/ogg.h>
#include <theora/theora.h>

#include <atomic>
#include <cstdint>

#include "file/file_access.h"
#include "image/raster_image.h"

namespace quelt {

enum TheoraThreadState : int32_t {
  TheoraStockFull = 0,
  TheoraDecodingAhead = 1,
  TheoraSeeking = 2,
  TheoraThreadEnded = 3,
  TheoraParked = 4,
};

enum TheoraIndexScan : int32_t {
  IndexScanIdle = 0,
  IndexScanPreparing = 1,
  IndexScanRunning = 2,
  IndexScanDone = 3,
  IndexScanReleased = 4,
};

struct TheoraPageEntry {
  int32_t pageOffset;   // byte offset of the page in the file
  int32_t firstFrame;   // first frame whose packet came out after this page was read
  int32_t keyFrame;     // 1 when a key frame came out of this page
  int32_t packetCount;  // frames that came out of this page
};
static_assert(sizeof(TheoraPageEntry) == 16);

// One decoded picture. The thread fills an entry whose used flag is clear and sets the flag
// (release) only after the planes and the frame number are complete.
struct TheoraStockEntry {
  std::atomic<int32_t> used;
  std::atomic<int32_t> frame;
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
  int32_t yWidth, yHeight, yStride;
  int32_t uvWidth, uvHeight, uvStride;
};

struct TheoraInfo {
  double framesPerSecond;
  int32_t frameCount;  // low half of the 64-bit count
  int32_t width;       // the picture's size (without the coded frame's padding)
  int32_t height;
};

struct TheoraDecoder {
  // Written by the decode thread, read by the main thread.
  std::atomic<int32_t> threadState;
  // Written by the main thread, read by the decode thread.
  std::atomic<int32_t> pauseRequest;
  std::atomic<int32_t> stopRequest;
  std::atomic<int32_t> seekRequest;
  std::atomic<int32_t> seekTarget;
  std::atomic<int32_t> endFlag;  // written by the thread; a seek clears it
  // The open's index scan (TheoraIndexScan): the main thread moves it from preparing to
  // running (the thread decodes the first frames from bytes read ahead into the sync state,
  // and leaves the file to the scan) to done; the thread answers idle once it has stopped,
  // and is held until the open has done with the decoder and moves it to released.
  std::atomic<int32_t> indexScan;
  void* threadHandle;
  uint32_t threadId;
  int32_t stopLogged;  // 1 once a close has logged that the thread does not stop

  FileAccessTable files;  // the decoder's own copy, taken at open
  FileHandle file;        // not owned, unless it is the private reader below
  void* privateReader;    // a reader of its own for a member stored in an archive on disk

  ogg_sync_state sync;
  ogg_page page;
  ogg_stream_state stream;
  ogg_packet packet;
  theora_info info;
  theora_comment comment;
  theora_state state;
  int32_t decodeStarted;  // 1 once theora_decode_init succeeded
  int32_t streamSerial;
  // The picture inside the coded frame (which the encoder pads to whole 16 x 16 blocks):
  // the stock, the frame image and the YUV surface hold this region only.
  int32_t pictureX, pictureY, pictureWidth, pictureHeight;

  TheoraPageEntry* pages;
  int32_t pageCount;
  int32_t pageCapacity;
  uint8_t* keyFrames;  // one byte per frame: 1 key frame
  int32_t keyFrameCapacity;
  int64_t frameCount;

  std::atomic<int32_t> currentFrame;  // the frame the movie shows; -1 until the first seek
  std::atomic<int32_t> decodedFrame;  // the picture the decoder last produced
  int32_t headerCount;

  TheoraStockEntry* stock;
  int32_t stockSize;
  // The stock entry the main thread is reading (-1 none): the thread never releases it.
  std::atomic<int32_t> readerEntry;

  RasterImage frameImage;  // X8R8G8B8, the picture's size
  void* yuvSurface;        // IDirect3DSurface9 on the Direct3D road, else null
  uint32_t fourCC;
  int32_t frameImageReady;  // main thread only
  int32_t surfaceReady;     // main thread only
};

// Null when the file is no Ogg Theora stream or anything fails (logged where noted).
TheoraDecoder* OpenTheoraDecoder(const FileAccessTable* table, FileHandle file, int32_t stockSize);
// Stops the thread (before the caller closes the file it reads) and frees everything: 0,
// or -1 when the thread has not stopped within the wait limit (then nothing is freed, and
// the caller keeps the file the thread reads; a later call finishes the close).
int CloseTheoraDecoder(TheoraDecoder* decoder);
int CloseTheoraDecoderWithin(TheoraDecoder* decoder, int32_t waitMs);
int GetTheoraInfo(const TheoraDecoder* decoder, TheoraInfo* info);
int32_t GetTheoraCurrentFrame(const TheoraDecoder* decoder);
int AdvanceTheoraFrame(TheoraDecoder* decoder, int32_t count);
int RequestTheoraSeek(TheoraDecoder* decoder, int32_t target);
RasterImage* GetTheoraFrameImage(TheoraDecoder* decoder);
void* GetTheoraYv12Surface(const TheoraDecoder* decoder);
int32_t ReadTheoraPage(TheoraDecoder* decoder, int32_t byteCount);
int ParseTheoraHeaders(TheoraDecoder* decoder);
void TheoraDecodeThread(TheoraDecoder* decoder);
// Releases any YUV surface and, when the Direct3D device is in use and the picture is one a
// YUV surface carries (4:2:0, even size and place), makes one of the picture's size in
// YV12, else YUY2, else UYVY (FourCC 0 and null when none is made: the RGB road then).
void CreateTheoraYv12Surface(TheoraDecoder* decoder);

// Fetches the current frame from the stock into the frame image (rgb) and the YUV surface
// (surface): 1 when the frame was found, 0 when nothing was to do or no frame can come.
int FetchTheoraFrame(TheoraDecoder* decoder, int32_t rgb, int32_t surface);

// Around a lost Direct3D device: the YUV surface goes with the device and comes back after
// it; the next fetch refills it.
int ReleaseTheoraDeviceObjects(TheoraDecoder* decoder);
int RestoreTheoraDeviceObjects(TheoraDecoder* decoder);

// Bytes the open reads ahead into the sync state for the decode thread before it indexes
// the file: 256 KiB (tests shorten it).
extern int32_t TheoraReadAheadBytes;

// How long the main thread waits for the decode thread (a fetch, a seek's park, a close)
// before it gives up: 5000 ms (tests shorten it).
extern int32_t TheoraWaitLimitMs;

}  // namespace quelt
