#include "core/log.h"

#include <cstdio>
#include <cstring>

#include "core/clock.h"
#include "core/engine_state.h"
#include "core/numbers.h"
#include "core/platform.h"
#include "core/sjis_string.h"
#include "core/tracked_alloc.h"

namespace quelt {

LogState EngineLog = {0, 0, 0, 0, 0, "Log.txt", 0};
LogTextSinkFn LogTextSink = nullptr;

namespace {

constexpr size_t kLocalTextLimit = 255;     // longer texts get an allocated conversion buffer
constexpr size_t kFormatBufferSize = 1024;

// Bare "\n" become "\r\n" up to the first "\n" that already follows "\r"; from there the
// text is copied unchanged. `out` holds twice the text's length plus one.
void ConvertLineEnds(const char* text, char* out) {
  const char* segment = text;
  const char* found = FindByteSjis(text, '\n');
  while (found && (found == text || found[-1] != '\r')) {
    size_t before = static_cast<size_t>(found - segment);
    std::memcpy(out, segment, before);
    out += before;
    *out++ = '\r';
    *out++ = '\n';
    segment = found + 1;
    found = FindByteSjis(segment, '\n');
  }
  std::strcpy(out, segment);
}

// Whether the directory's last character is a "\" (not the second byte of a two-byte
// character such as "ソ", which would lose the separator).
bool EndsWithBackslash(const char* directory) {
  const char* last = nullptr;
  for (const char* p = directory; *p;) {
    last = p;
    p += (IsLeadByte(p, 1) && p[1] != 0) ? 2 : 1;
  }
  return last && last[0] == '\\' && last[1] == 0;
}

void WriteLinePrefix(PlatformFile file) {
  if (!EngineLog.timeStampOff) {
    char stamp[16];
    uint32_t elapsed = PlatformMilliseconds() - EngineLog.startTime;
    std::snprintf(stamp, sizeof stamp, "%d:", static_cast<int32_t>(elapsed));
    PlatformWriteFile(file, stamp, std::strlen(stamp));
  }
  char tabs[33];
  for (int32_t left = EngineLog.indentLevel; left > 0;) {
    int32_t count = left < 32 ? left : 32;
    std::memset(tabs, '\t', static_cast<size_t>(count));
    tabs[count] = 0;
    PlatformWriteFile(file, tabs, static_cast<size_t>(count));
    PlatformDebugOutput(tabs);
    left -= count;
  }
}

void WriteConverted(const char* converted) {
  if (UserWindowMode) {
    PlatformDebugOutput(converted);
    return;
  }
  if (EngineLog.logDisabled || StartDirectory[0] == 0) return;

  char path[sizeof StartDirectory + 1 + sizeof EngineLog.fileName];
  std::snprintf(path, sizeof path, "%s%s%s", StartDirectory, EndsWithBackslash(StartDirectory) ? "" : "\\",
                EngineLog.fileName);
  PlatformFile file = PlatformOpenForAppend(path);
  if (!file) return;
  if (!EngineLog.midLine) WriteLinePrefix(file);
  size_t length = std::strlen(converted);
  PlatformWriteFile(file, converted, length);
  PlatformDebugOutput(converted);
  EngineLog.midLine = converted[length - 1] != '\n' ? 1 : 0;
  PlatformCloseFile(file);
}

}  // namespace

void IncreaseLogIndent() { ++EngineLog.indentLevel; }

void DecreaseLogIndent() {
  if (EngineLog.indentLevel > 0) --EngineLog.indentLevel;
}

int WriteLog(const char* text) {
  if (!text) return -1;
  size_t length = std::strlen(text);
  if (length == 0) return -1;  // nothing to write, and no line to start
  if (LogTextSink != nullptr) LogTextSink(text);
  char local[kLocalTextLimit * 2 + 1];
  char* converted = local;
  if (length > kLocalTextLimit) {
    if (length > (INT32_MAX - 1) / 2) return -1;
    converted = static_cast<char*>(TrackedAlloc(static_cast<int32_t>(length * 2 + 1), nullptr, -1));
    if (!converted) return -1;
  }
  ConvertLineEnds(text, converted);
  WriteConverted(converted);
  if (converted != local) TrackedFree(converted);
  return -1;
}

int WriteLogFormatV(const char* format, va_list args) {
  char buffer[kFormatBufferSize];
  // Room for the appended "\n" and the terminator.
  FormatToBufferV(buffer, sizeof buffer - 1, format, args);
  std::strcat(buffer, "\n");
  return WriteLog(buffer);
}

int WriteLogFormatAsIs(const char* format, ...) {
  char buffer[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  FormatToBufferV(buffer, sizeof buffer, format, args);
  va_end(args);
  return WriteLog(buffer);
}

int WriteLogFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLogFormatV(format, args);
  va_end(args);
  return -1;
}

int StartLogFile() {
  if (EngineLog.logDisabled || UserWindowMode) return 1;
  if (EngineLog.datedName) {
    DateRecord now{};
    ReadLocalDateTime(&now);
    std::snprintf(EngineLog.fileName, sizeof EngineLog.fileName, "Log%d_%d_%d_%d_%d_%d.txt", now.year,
                  now.month, now.day, now.hour, now.minute, now.second);
  } else {
    std::snprintf(EngineLog.fileName, sizeof EngineLog.fileName, "Log.txt");
  }
  PlatformDeleteFile(EngineLog.fileName);
  PlatformCreateEmptyFile(EngineLog.fileName);
  EngineLog.indentLevel = 0;
  EngineLog.midLine = 0;
  EngineLog.startTime = PlatformMilliseconds();
  return 1;
}

}  // namespace quelt
