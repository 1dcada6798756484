#pragma once
// What the Theora player needs of the operating system: its decode thread, sleeping, and
// the YUV off-screen surface of the Direct3D road. theora_platform_win32.cpp implements
// them over KERNEL32 and Direct3D 9; the native build over POSIX threads, with no surface.
#include <cstdint>

namespace quelt {

struct TheoraDecoder;

// Starts TheoraDecodeThread(decoder); 0, or -1 when no thread could be made.
int StartTheoraThread(TheoraDecoder* decoder, void** handle, uint32_t* id);
// Waits up to ms for the thread to end: 0 when it has ended, -1 when it still runs.
int WaitTheoraThread(void* handle, int32_t ms);
// Frees the handle of an ended thread.
void CloseTheoraThread(void* handle);
// 0 yields the processor.
void SleepTheora(int32_t ms);
// The engine's millisecond clock, for the main thread's bounded waits.
int32_t TheoraMilliseconds();

// A movie stored uncompressed inside an archive on disk is read through the archive's
// handle, whose position the main thread moves when it reads the archive's other members:
// the decoder then takes a reader of its own (its table's seek, read and end-of-file slots
// and its file). 0 when the decoder's file is safe to read from the thread, -1 when it is
// not and no reader of its own can be made.
int AdoptTheoraFileReader(TheoraDecoder* decoder);
void CloseTheoraFileReader(TheoraDecoder* decoder);

// The surface operations, replaceable (tests put a memory surface in).
struct TheoraSurfaceOps {
  // A new off-screen plain surface of width x height in the FourCC, or null.
  void* (*create)(int32_t width, int32_t height, uint32_t fourCC);
  void (*release)(void* surface);
  // 0 with the bits and pitch of the whole surface, or -1.
  int (*lock)(void* surface, uint8_t** bits, int32_t* pitch);
  void (*unlock)(void* surface);
};
extern TheoraSurfaceOps TheoraSurface;

// 1 when a YUV surface is to be made (the Direct3D device is in use).
extern int32_t (*TheoraSurfaceWanted)();

}  // namespace quelt
