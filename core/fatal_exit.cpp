#include "core/fatal_exit.h"

#include <cstdarg>

#include "core/log.h"
#include "core/numbers.h"
#include "core/platform.h"

namespace quelt {

FatalExitHook FatalExitShutdownHook = nullptr;

namespace {
// A shutdown step that itself fails fatally must not run the shutdown again.
bool fatalExitRunning = false;
}  // namespace

void FatalExit(const char* text) {
  if (text) WriteLog(text);
  WriteLog("\n");
  if (!fatalExitRunning) {
    fatalExitRunning = true;
    if (FatalExitShutdownHook) FatalExitShutdownHook();
  }
  PlatformExitProcess(-1);
}

void FinishFatalExit() {
  fatalExitRunning = true;
  if (FatalExitShutdownHook) FatalExitShutdownHook();
  PlatformExitProcess(-1);
}

void FatalExitFormat(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  FormatToBufferV(buffer, sizeof buffer, format, args);
  va_end(args);
  FatalExit(buffer);
}

}  // namespace quelt
