#pragma once
// Plain global words of the engine core that many parts read. Start-up and window
// creation fill them; everything else only reads them.
#include <cstdint>

namespace quelt {

// The current directory taken at start-up; the log file lives there.
extern char StartDirectory[256];
// 1 when the engine runs inside a window that the program made.
extern int32_t UserWindowMode;
// 1 from the end of a successful start-up until shutdown clears it.
extern int32_t EngineInitialised;
// 1 Shift-JIS (default), 2 when the system's OEM code page is 949.
extern int32_t CharSetMode;

// Time base of the clocks.
extern int32_t PerformanceCounterFlag;    // 1 when the performance counter is the time base
extern int64_t PerformanceCounterFrequency;
extern int32_t TimeStampCounterFlag;      // 1 when the processor has a time-stamp counter
extern int64_t TimeStampTicksPerSecond;   // measured by the system report

}  // namespace quelt
