#include <windows.h>

#include <cstring>

#include "file/win32_file.h"

namespace quelt {

namespace {

void ReadAhead(Win32File& f) {
  if (!f.threadFile || f.cacheFill >= kFileCacheSize) return;
  DWORD got = 0;
  SetFilePointer(f.threadFile, f.cacheStart + f.cacheFill, nullptr, FILE_BEGIN);
  if (ReadFile(f.threadFile, f.cache + f.cacheFill, static_cast<DWORD>(kFileCacheSize - f.cacheFill), &got, nullptr))
    f.cacheFill += static_cast<int32_t>(got);
}

// Serves what it can from the cache, then reads the rest from the file. readCount ends
// as the bytes delivered in all.
void ExecuteRead(Win32File& f) {
  uint8_t* dest = f.readDest;
  int32_t position = f.readPosition;
  int32_t remaining = f.readCount;
  int32_t delivered = 0;
  if (f.cache && position == f.cacheStart && f.cacheFill != 0) {
    const int32_t n = remaining < f.cacheFill ? remaining : f.cacheFill;
    std::memcpy(dest, f.cache, static_cast<size_t>(n));
    dest += n;
    position += n;
    remaining -= n;
    delivered += n;
    f.cacheStart += n;
    f.cacheFill -= n;
    std::memmove(f.cache, f.cache + n, static_cast<size_t>(f.cacheFill));
  }
  if (remaining > 0) {
    DWORD got = 0;
    SetFilePointer(f.threadFile, position, nullptr, FILE_BEGIN);
    if (!ReadFile(f.threadFile, dest, static_cast<DWORD>(remaining), &got, nullptr)) got = 0;
    delivered += static_cast<int32_t>(got);
    if (f.cache) {
      f.cacheStart = position + static_cast<int32_t>(got);
      f.cacheFill = 0;
    }
  }
  f.readCount = delivered;
}

DWORD EndThread(Win32File& f) {
  f.threadEnded = 1;
  SetEvent(f.doneEvent);
  return 1;
}

}  // namespace

unsigned long __stdcall FileAccessThread(void* parameter) {
  Win32File& f = *static_cast<Win32File*>(parameter);
  while (true) {
    const DWORD wait = WaitForSingleObject(f.requestEvent, f.cache ? 100 : INFINITE);
    if (wait == WAIT_TIMEOUT) {
      ReadAhead(f);
      continue;
    }
    ResetEvent(f.requestEvent);
    ResetEvent(f.doneEvent);
    switch (f.command) {
      case kFileCommandOpen: {
        // Read sharing, so a second reader of the same file (an archive) can open it too.
        HANDLE h = CreateFileA(f.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
          f.openFailed = 1;
          return EndThread(f);
        }
        f.threadFile = h;
        break;
      }
      case kFileCommandCloseFile:
        if (f.threadFile) CloseHandle(f.threadFile);
        f.threadFile = nullptr;
        break;
      case kFileCommandRead:
        ExecuteRead(f);
        break;
      case kFileCommandSeek:
        SetFilePointer(f.threadFile, f.seekPosition, nullptr, FILE_BEGIN);
        if (f.cache) {
          f.cacheStart = f.seekPosition;
          f.cacheFill = 0;
        }
        break;
      case kFileCommandCloseAndEnd:
        if (f.threadFile) CloseHandle(f.threadFile);
        f.threadFile = nullptr;
        return EndThread(f);
      default:
        break;
    }
    SetEvent(f.doneEvent);
  }
}

}  // namespace quelt
