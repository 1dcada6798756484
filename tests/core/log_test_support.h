#pragma once
// Shared by the log tests: points the log at the test's working directory and reads the
// file back with the time stamps replaced by "T:".
#include <cstdio>
#include <string>

#include "core/engine_state.h"
#include "core/log.h"

#ifdef _WIN32
#include <direct.h>
#define QUELT_GETCWD _getcwd
#else
#include <unistd.h>
#define QUELT_GETCWD getcwd
#endif

namespace quelt_test {

inline std::string CurrentDirectory() {
  char buffer[256] = {};
  if (!QUELT_GETCWD(buffer, sizeof buffer - 1)) return ".";
  return buffer;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
  }
  return bytes;
}

inline bool FileExists(const std::string& path) {
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fclose(file);
    return true;
  }
  return false;
}

// Replaces the digits and colon that start the file and each line (after "\n") by "T:";
// a line start without a time stamp is left as it is.
inline std::string StripTimeStamps(const std::string& log) {
  std::string out;
  size_t i = 0;
  bool lineStart = true;
  while (i < log.size()) {
    if (lineStart) {
      size_t j = i;
      while (j < log.size() && log[j] >= '0' && log[j] <= '9') ++j;
      if (j > i && j < log.size() && log[j] == ':') {
        out += "T:";
        i = j + 1;
      }
      lineStart = false;
      continue;
    }
    out += log[i];
    lineStart = log[i] == '\n';
    ++i;
  }
  return out;
}

// Starts a fresh "Log.txt" in the working directory with the default switches.
inline void StartFreshLog() {
  std::snprintf(quelt::StartDirectory, sizeof quelt::StartDirectory, "%s", CurrentDirectory().c_str());
  quelt::UserWindowMode = 0;
  quelt::EngineLog.logDisabled = 0;
  quelt::EngineLog.timeStampOff = 0;
  quelt::EngineLog.datedName = 0;
  quelt::StartLogFile();
}

inline std::string LogPath() { return CurrentDirectory() + "/" + quelt::EngineLog.fileName; }

inline std::string ReadLog() { return StripTimeStamps(ReadWholeFile(LogPath())); }

}  // namespace quelt_test
