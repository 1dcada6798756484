#pragma once
// The decode thread's frame stock and the steps of the thread (inside the Theora player).
#include <cstdint>

#include "movie/theora_decoder.h"

namespace quelt {

// Stock of `size` empty entries; 0, or -1 when it cannot be allocated.
int AllocTheoraStock(TheoraDecoder* decoder, int32_t size);
// Frees every entry's plane copies and the stock.
void FreeTheoraStock(TheoraDecoder* decoder);

// True when the stock entry of `frame` lies outside the window of `stockSize` frames that
// starts at the current frame and runs on through the end into the start of the movie.
bool IsOutsideTheoraWindow(int64_t frame, int64_t current, int64_t frameCount, int32_t stockSize);

// The main thread's claim on the entry holding the current frame: null when none holds it.
// While claimed, the thread does not release it; ReleaseTheoraEntry ends the claim.
TheoraStockEntry* ClaimTheoraEntry(TheoraDecoder* decoder, int32_t frame);
void ReleaseTheoraEntry(TheoraDecoder* decoder);

// The seek of RequestTheoraSeek and the thread's first pass after it (the target's picture
// into the stock), done by the caller while the thread has been held parked from its start
// (it touches nothing then), so that neither waits on the other's polling; then the thread
// is let go and decodes on from there.
void SeekWhileTheoraParked(TheoraDecoder* decoder, int32_t target);

// Ends the thread's decoding from the bytes read ahead: on return it touches nothing until
// the pause request is cleared.
void StopTheoraDecodingWhileIndexed(TheoraDecoder* decoder);
// After the open's index scan: ends the thread's decoding from the bytes read ahead and,
// when it left frames 0.. each in the entry of its number, takes them as the seek to frame 0
// and lets the thread go on reading the file at `fileOffset` (where the read-ahead ended):
// true. False, with the thread still held parked, when the seek is to be done afresh.
bool TakeTheoraFramesDecodedWhileIndexed(TheoraDecoder* decoder, int32_t fileOffset);

}  // namespace quelt
