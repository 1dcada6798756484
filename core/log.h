#pragma once
// The engine log: one text file in the start directory, a millisecond time stamp and a
// nesting indent at each line start, CR LF line ends, every line mirrored to the debugger.
#include <cstdarg>
#include <cstdint>

namespace quelt {

// The log's state (engine core globals). Programs may set the switches before start-up.
struct LogState {
  int32_t indentLevel;      // tabs at each line start; never below 0
  int32_t midLine;          // 1 when the last text written did not end with "\n"
  int32_t timeStampOff;     // 1 suppresses the "%d:" prefix
  int32_t datedName;        // 1 names the file after the date and time of start-up
  int32_t logDisabled;      // 1 = no log file
  char fileName[64];        // "Log.txt" or the dated name
  uint32_t startTime;       // timeGetTime() when the log was started
};
extern LogState EngineLog;

// When set, receives every text written to the log as it was given (the on-screen console).
using LogTextSinkFn = void (*)(const char* text);
extern LogTextSinkFn LogTextSink;

// Writes text verbatim (no formatting). Always returns -1, so failure paths can
// `return WriteLog(...)`.
int WriteLog(const char* text);
// printf-style; formats into a bounded 1024-byte buffer, appends "\n". Returns -1.
int WriteLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
int WriteLogFormatV(const char* format, va_list args);
// printf-style into the same bounded buffer, written as it is (the format ends its own lines).
int WriteLogFormatAsIs(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Creates the log file afresh; called once by start-up. Returns 1.
int StartLogFile();
// One more level of indentation for the lines that follow; one less, never below none.
void IncreaseLogIndent();
void DecreaseLogIndent();
// Logs "\tTotal size:%d(%.3fkb)  Alloc num:%d".
void LogAllocTotals();

}  // namespace quelt
