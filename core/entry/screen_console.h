#pragma once
// The on-screen console: up to 80 lines of text drawn over the screen at each present
// while it holds text, with a 16-pixel font of its own.
#include <array>
#include <cstdint>

namespace quelt {

inline constexpr int32_t ScreenConsoleLineCount = 80;
inline constexpr int32_t ScreenConsoleLineBytes = 255;
inline constexpr int32_t ScreenConsoleLineHeight = 16;

struct ScreenConsoleState {
  int32_t started;
  int32_t font;      // font handle, -1 none
  int32_t fontLost;  // set by the font table when the font is released
  int32_t lineHeight;
  std::array<std::array<char, ScreenConsoleLineBytes>, ScreenConsoleLineCount> lines;
  int32_t writeLine, writeColumn;  // where appended text goes
};
extern ScreenConsoleState ScreenConsole;

// -1 without a DirectDraw object or a main window; 0 once started.
int InitScreenConsole();
int RecreateScreenConsoleFont();
int DrawScreenConsole();
// Shutdown: releases the console's font and records it as gone.
void ReleaseScreenConsoleFont();
// Appends text to the console: "\n" starts the next line; once the lines the screen can
// show are full, they scroll up so the newest stays at the bottom. A line keeps its first
// 255 bytes (never half a two-byte character). Nothing happens before the console starts.
void AppendScreenConsoleText(const char* text);
// 1: every text written to the log is appended to the console too; 0 stops it.
int SetScreenConsoleLogEcho(int32_t on);

}  // namespace quelt
