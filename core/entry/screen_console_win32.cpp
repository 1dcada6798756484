#include <cstring>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/screen_console.h"
#include "core/log.h"
#include "core/sjis_string.h"
#include "font/font_table.h"
#include "graphics/device_state.h"
#include "graphics/screen_mode.h"

namespace quelt {

ScreenConsoleState ScreenConsole{0, -1, 1, ScreenConsoleLineHeight, {}, 0, 0};

namespace {

constexpr int32_t ConsoleFontSize = 16;
constexpr int32_t ConsoleFontThickness = 4;

// The lines the screen has room for.
int32_t VisibleLines() {
  int32_t width = 0;
  int32_t height = 0;
  QueryScreenSizeOrDefault(&width, &height);
  int32_t lines = height / ScreenConsole.lineHeight;
  if (lines > ScreenConsoleLineCount) lines = ScreenConsoleLineCount;
  return lines > 0 ? lines : 1;
}

void ClearLine(int32_t line) { ScreenConsole.lines[static_cast<size_t>(line)].fill('\0'); }

void NextLine() {
  ScreenConsole.writeColumn = 0;
  const int32_t visible = VisibleLines();
  if (ScreenConsole.writeLine + 1 < visible) {
    ++ScreenConsole.writeLine;
  } else {
    // The screen is full: drop the oldest line.
    for (int32_t i = 0; i + 1 < visible; ++i)
      ScreenConsole.lines[static_cast<size_t>(i)] = ScreenConsole.lines[static_cast<size_t>(i + 1)];
    ScreenConsole.writeLine = visible - 1;
  }
  ClearLine(ScreenConsole.writeLine);
}

void Put(char byte) {
  auto& line = ScreenConsole.lines[static_cast<size_t>(ScreenConsole.writeLine)];
  // The last byte of a line stays free: a line is read as text up to its end.
  if (ScreenConsole.writeColumn < ScreenConsoleLineBytes - 1) line[static_cast<size_t>(ScreenConsole.writeColumn++)] = byte;
}

void EchoLogText(const char* text) { AppendScreenConsoleText(text); }

}  // namespace

int InitScreenConsole() {
  if (GraphicsDevice.directDraw == nullptr || MainWindowHandle == nullptr) return -1;
  if (ScreenConsole.started != 0) return 0;
  ScreenConsole.started = 1;
  ScreenConsole.lineHeight = ScreenConsoleLineHeight;
  ScreenConsole.font = -1;
  ScreenConsole.fontLost = 1;
  // Made now, while slots are free: a program that later takes every slot still has
  // console text.
  RecreateScreenConsoleFont();
  ScreenConsoleHasText = 0;
  for (int32_t i = 0; i < ScreenConsoleLineCount; ++i) ClearLine(i);
  ScreenConsole.writeLine = 0;
  ScreenConsole.writeColumn = 0;
  return 0;
}

int RecreateScreenConsoleFont() {
  if (ScreenConsole.started == 0 && InitScreenConsole() != 0) return 0;
  if (ScreenConsole.fontLost == 0) return 0;
  ScreenConsole.font = CreateFontToHandle(nullptr, ConsoleFontSize, ConsoleFontThickness, -1, -1, -1, 0, -1, -1);
  if (ScreenConsole.font < 0) return 0;
  ScreenConsole.fontLost = 0;
  WatchFontRelease(ScreenConsole.font, &ScreenConsole.fontLost);
  return 0;
}

int DrawScreenConsole() {
  if (ScreenConsole.started == 0 && InitScreenConsole() != 0) return 0;
  RecreateScreenConsoleFont();
  if (ScreenConsole.fontLost != 0) return 0;
  int32_t width = 0;
  int32_t height = 0;
  QueryScreenSizeOrDefault(&width, &height);
  int32_t count = height / ScreenConsole.lineHeight;
  if (count > ScreenConsoleLineCount) count = ScreenConsoleLineCount;
  const uint32_t white = MakeScreenColourCode(255, 255, 255);
  const uint32_t black = MakeScreenColourCode(0, 0, 0);
  for (int32_t i = 0; i < count; ++i) {
    // A line that fills all its bytes has no terminator of its own.
    char text[ScreenConsoleLineBytes + 1];
    std::memcpy(text, ScreenConsole.lines[static_cast<size_t>(i)].data(), ScreenConsoleLineBytes);
    text[ScreenConsoleLineBytes] = '\0';
    if (text[0] == '\0') continue;
    DrawTextWithFont(0, ScreenConsole.lineHeight * i, text, white, ScreenConsole.font, black, 0);
  }
  return 0;
}

void ReleaseScreenConsoleFont() {
  if (ScreenConsole.font >= 0 && ScreenConsole.fontLost == 0) ReleaseFontHandle(ScreenConsole.font);
  ScreenConsole.font = -1;
  ScreenConsole.fontLost = 1;
  ScreenConsole.started = 0;
  ScreenConsoleHasText = 0;
}

void AppendScreenConsoleText(const char* text) {
  if (text == nullptr || ScreenConsole.started == 0) return;
  for (const char* at = text; *at != '\0'; ++at) {
    if (*at == '\n') {
      NextLine();
    } else if (*at == '\r') {
    } else if (*at == '\t') {
      Put(' ');
      Put(' ');
    } else if (IsLeadByte(at, CharSetMode) != 0 && at[1] != '\0') {
      // Both bytes of a character, or neither.
      if (ScreenConsole.writeColumn + 2 <= ScreenConsoleLineBytes - 1) {
        Put(at[0]);
        Put(at[1]);
      }
      ++at;
    } else {
      Put(*at);
    }
    ScreenConsoleHasText = 1;
  }
}

int SetScreenConsoleLogEcho(int32_t on) {
  LogTextSink = on != 0 ? EchoLogText : nullptr;
  return 0;
}

}  // namespace quelt
