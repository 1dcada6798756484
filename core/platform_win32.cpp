#include "core/platform.h"

#include <windows.h>
#include <mmsystem.h>

namespace quelt {

uint32_t PlatformMilliseconds() { return timeGetTime(); }

int64_t PlatformPerformanceCounter() {
  LARGE_INTEGER value;
  if (!QueryPerformanceCounter(&value)) return 0;
  return value.QuadPart;
}

int64_t PlatformPerformanceFrequency() {
  LARGE_INTEGER value;
  if (!QueryPerformanceFrequency(&value)) return 0;
  return value.QuadPart;
}

void PlatformLocalTime(DateRecord* date) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  date->year = now.wYear;
  date->month = now.wMonth;
  date->day = now.wDay;
  date->hour = now.wHour;
  date->minute = now.wMinute;
  date->second = now.wSecond;
}

void PlatformDebugOutput(const char* text) { OutputDebugStringA(text); }

int PlatformDeleteFile(const char* path) { return DeleteFileA(path) ? 1 : 0; }

int PlatformCreateEmptyFile(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(file);
  return 1;
}

PlatformFile PlatformOpenForAppend(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  SetFilePointer(file, 0, nullptr, FILE_END);
  return file;
}

void PlatformWriteFile(PlatformFile file, const void* data, size_t size) {
  DWORD written = 0;
  WriteFile(static_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr);
}

void PlatformCloseFile(PlatformFile file) { CloseHandle(static_cast<HANDLE>(file)); }

void* PlatformHeapAlloc(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void* PlatformHeapReAllocZero(void* block, size_t /*oldSize*/, size_t newSize) {
  return HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, newSize);
}

int PlatformHeapFree(void* block) { return HeapFree(GetProcessHeap(), 0, block) ? 1 : 0; }

void PlatformExitProcess(int32_t exitCode) {
  ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace quelt
