#include "core/engine_state.h"

namespace quelt {

char StartDirectory[256] = {};
int32_t UserWindowMode = 0;
int32_t EngineInitialised = 0;
int32_t CharSetMode = 1;

int32_t PerformanceCounterFlag = 0;
int64_t PerformanceCounterFrequency = 0;
int32_t TimeStampCounterFlag = 0;
int64_t TimeStampTicksPerSecond = 0;

}  // namespace quelt
