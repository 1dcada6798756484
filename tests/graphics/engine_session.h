#pragma once
// Starts and stops the engine around a graphics test under Wine, running the graphics
// steps of the start-up and shutdown sequences itself where the core does not (yet):
// StartGraphics, the vertical-sync wait, back then front screen; ShutdownGraphics first
// at the end. Both are harmless when the core has already run them.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quelt_test {

struct SessionOptions {
  const char* caption;
  int32_t hardware = 1;
  int32_t width = 600, height = 600, bits = 32;
  int32_t windowMode = 1;
};

// 0, or the failing step's result.
int StartEngineSession(const SessionOptions& options);
void StopEngineSession();
// The whole Log.txt of the working folder as bytes.
std::string ReadEngineLog();
// The draw screen read back at width x height (0x00RRGGBB); empty when the read fails.
std::vector<uint32_t> ReadBackScreen(int32_t width, int32_t height);
// The colour of pixel (x, y) of a test pattern: no two neighbours alike, never black.
uint32_t PatternColour(int32_t x, int32_t y, uint32_t seed);
// Graphs made from memory pictures: the pattern above, or one colour (0x00RRGGBB); -1 on failure.
int32_t MakePatternGraph(int32_t width, int32_t height, uint32_t seed);
int32_t MakeSolidGraph(int32_t width, int32_t height, uint32_t colour);
// Erases the draw screen to `colour`, presents, and reads the screen back.
std::vector<uint32_t> ErasePresentAndReadBack(uint32_t colour, int32_t* width, int32_t* height);

// Runs this program again with `childArgument` inside a Wine virtual desktop of 1024x768
// named `desktop` (where full-screen modes can be switched), waits for the child to leave
// `resultFile` (lines "key=value") and returns its values; empty when it left none.
std::map<std::string, int> RunChildInVirtualDesktop(const std::string& desktop, const std::string& childArgument,
                                                    const std::string& resultFile);

}  // namespace quelt_test
