// The native build's stand-ins for the Windows services (never part of the Windows build).
#include "core/platform.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/sjis_string.h"

namespace quelt {

namespace {

std::string& DebugOutputText() {
  static std::string text;
  return text;
}

// Engine paths use "\" (never inside a two-byte character); POSIX wants "/".
std::string ToPosixPath(const char* path) {
  std::string converted;
  for (const char* p = path; *p;) {
    if (IsLeadByte(p, 1) && p[1] != 0) {
      converted.append(p, 2);
      p += 2;
    } else {
      converted.push_back(*p == '\\' ? '/' : *p);
      ++p;
    }
  }
  return converted;
}

int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

uint32_t PlatformMilliseconds() { return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000); }

int64_t PlatformPerformanceCounter() { return MonotonicNanoseconds(); }

int64_t PlatformPerformanceFrequency() { return 1000000000; }

void PlatformLocalTime(DateRecord* date) {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  date->year = local.tm_year + 1900;
  date->month = local.tm_mon + 1;
  date->day = local.tm_mday;
  date->hour = local.tm_hour;
  date->minute = local.tm_min;
  date->second = local.tm_sec;
}

void PlatformDebugOutput(const char* text) { DebugOutputText() += text; }

const char* NativeDebugOutput() { return DebugOutputText().c_str(); }

void ClearNativeDebugOutput() { DebugOutputText().clear(); }

int PlatformDeleteFile(const char* path) { return unlink(ToPosixPath(path).c_str()) == 0 ? 1 : 0; }

int PlatformCreateEmptyFile(const char* path) {
  int fd = open(ToPosixPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) return 0;
  close(fd);
  return 1;
}

// The descriptor is stored plus one, so that descriptor 0 is not null.
PlatformFile PlatformOpenForAppend(const char* path) {
  int fd = open(ToPosixPath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return nullptr;
  return reinterpret_cast<PlatformFile>(static_cast<intptr_t>(fd) + 1);
}

void PlatformWriteFile(PlatformFile file, const void* data, size_t size) {
  int fd = static_cast<int>(reinterpret_cast<intptr_t>(file) - 1);
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = write(fd, bytes, size);
    if (written <= 0) return;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
}

void PlatformCloseFile(PlatformFile file) { close(static_cast<int>(reinterpret_cast<intptr_t>(file) - 1)); }

void* PlatformHeapAlloc(size_t size) { return std::malloc(size); }

void* PlatformHeapReAllocZero(void* block, size_t oldSize, size_t newSize) {
  void* moved = std::realloc(block, newSize);
  if (moved && newSize > oldSize) std::memset(static_cast<char*>(moved) + oldSize, 0, newSize - oldSize);
  return moved;
}

int PlatformHeapFree(void* block) {
  std::free(block);
  return 1;
}

void PlatformExitProcess(int32_t exitCode) { _exit(exitCode & 0xFF); }

}  // namespace quelt
