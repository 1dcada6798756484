#pragma once
// The game on the real engine inside a test or benchmark program: the engine's entries in
// the game's table, except keys, the pump's quit and presentation, which the program
// scripts and watches so that every frame is reproducible.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/bmp_file.h"

namespace quelt::game::testing {

struct GameSessionScript {
  // Keys down for the n-th key read (counting from 0); none when empty.
  std::function<std::vector<int>(int)> keysAt;
  // The pump reports quit from this call on (counting every call since the session began).
  int quitAtPump = 1 << 30;
  // The present of this number (counting from 0) reads the screen back into `captured`.
  int captureAtPresent = -1;
  std::vector<uint32_t> captured;
  int pumps = 0;
  int presents = 0;
  int keyReads = 0;
};

extern GameSessionScript Session;

// Starts the engine in a 600 x 600 window on one back end (1 Direct3D, 0 software) in the
// build's game folder (its dat/ beside), fills the game's table and loads the assets as the
// program does. 0, or -1 when the engine did not start.
int StartGameSession(int32_t hardware, const char* caption);
void StopGameSession();

// The current back end: 1 Direct3D, 0 software.
int32_t SessionHardware();
// The process's CPU seconds (every thread) and the calling thread's.
double ProcessCpuSeconds();
double ThreadCpuSeconds();

}  // namespace quelt::game::testing
