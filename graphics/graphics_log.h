#pragma once
// Formatted log text written as it is: the lines of this subsystem carry their own line
// ends (or continue on the same line), so nothing is appended.
#include <cstdio>

#include "core/log.h"

namespace quelt {

template <typename... Args>
int WriteLogText(const char* format, Args... args) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return WriteLog(buffer);
}

}  // namespace quelt
