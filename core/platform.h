#pragma once
// The few operating-system services under the log, the allocator and the clocks.
// The Windows build implements them over KERNEL32 and WINMM (platform_win32.cpp); the
// native build of the platform-free code over POSIX (platform_posix.cpp), so the log and
// the allocator behave the same in both.
#include <cstddef>
#include <cstdint>

#include "core/clock.h"

namespace quelt {

// timeGetTime: milliseconds, wrapping at 2^32.
uint32_t PlatformMilliseconds();
// QueryPerformanceCounter / QueryPerformanceFrequency (0 when there is no counter).
int64_t PlatformPerformanceCounter();
int64_t PlatformPerformanceFrequency();
// GetLocalTime into the six fields.
void PlatformLocalTime(DateRecord* date);
// OutputDebugStringA.
void PlatformDebugOutput(const char* text);

// DeleteFileA; nonzero on success.
int PlatformDeleteFile(const char* path);
// Creates a new empty file (fails when it exists) and closes it; nonzero on success.
int PlatformCreateEmptyFile(const char* path);
// Opens a file for writing at its end, creating it when missing; null on failure.
using PlatformFile = void*;
PlatformFile PlatformOpenForAppend(const char* path);
void PlatformWriteFile(PlatformFile file, const void* data, size_t size);
void PlatformCloseFile(PlatformFile file);

// The process heap. Reallocation zero-fills the bytes beyond old size when it grows.
void* PlatformHeapAlloc(size_t size);
void* PlatformHeapReAllocZero(void* block, size_t oldSize, size_t newSize);
// HeapFree's result: nonzero on success.
int PlatformHeapFree(void* block);

[[noreturn]] void PlatformExitProcess(int32_t exitCode);

#ifndef _WIN32
// The native stand-in for the debugger keeps every text sent to it, so tests can read it.
const char* NativeDebugOutput();
void ClearNativeDebugOutput();
#endif

}  // namespace quelt
