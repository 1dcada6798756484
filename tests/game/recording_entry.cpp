#include "game/recording_entry.h"

#include <cstdarg>
#include <cstdio>

#include "game/entry_layer.h"
#include "game/game_keys.h"
#include "game/game_state.h"
#include "game/menus.h"

namespace quelt::game::testing {

std::vector<EntryCall> Calls;
EntryScript Script;
int PumpCount = 0;
int KeyReads = 0;

namespace {

int Record(const char* name, std::vector<double> numbers, std::string text = {}) {
  Calls.push_back({name, std::move(numbers), std::move(text)});
  return 0;
}

int32_t NextHandle = 1;

void RecordFormattedText(int32_t x, int32_t y, uint32_t colour, const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  Record("text", {double(x), double(y), double(colour)}, buffer);
}

}  // namespace

void InstallRecorder() {
  Calls.clear();
  Script = {};
  PumpCount = 0;
  KeyReads = 0;
  NextHandle = 1;
  ResetGameGlobals();
  TitleMenuCursor = 0;
  KeyHeldFrames.fill(0);
  Engine.ApiStartEngine = [] {
    Record("ApiStartEngine", {});
    return Script.startResult;
  };
  Engine.ApiStopEngine = [] { return Record("ApiStopEngine", {}); };
  Engine.ApiPumpMessages = [] {
    Record("ApiPumpMessages", {});
    return ++PumpCount >= Script.quitAtPump ? -1 : 0;
  };
  Engine.ApiSetWindowCaption = [](const char* t) { return Record("ApiSetWindowCaption", {}, t); };
  Engine.ApiEnableLogFile = [](int32_t f) { return Record("ApiEnableLogFile", {double(f)}); };
  Engine.ApiSetWindowIcon = [](int32_t id) { return Record("ApiSetWindowIcon", {double(id)}); };
  Engine.ApiChangeWindowMode = [](int32_t m) { return Record("ApiChangeWindowMode", {double(m)}); };
  Engine.ApiRequestScreenMode = [](int32_t w, int32_t h, int32_t b, int32_t r) {
    return Record("ApiRequestScreenMode", {double(w), double(h), double(b), double(r)});
  };
  Engine.ApiSelectDrawScreen = [](int32_t s) { return Record("ApiSelectDrawScreen", {double(s)}); };
  Engine.ApiOpenGraphFile = [](const char* p, int32_t f) {
    Record("ApiOpenGraphFile", {double(f)}, p);
    return NextHandle++;
  };
  Engine.ApiPresentScreen = [] { return Record("ApiPresentScreen", {}); };
  Engine.ApiEraseDrawScreen = [] { return Record("ApiEraseDrawScreen", {}); };
  Engine.ApiDrawGraphAtPoint = [](int32_t x, int32_t y, int32_t g, int32_t t) {
    return Record("ApiDrawGraphAtPoint", {double(x), double(y), double(g), double(t)});
  };
  Engine.ApiDrawGraphRotated = [](int32_t x, int32_t y, double s, double a, int32_t g, int32_t t, int32_t turn) {
    return Record("ApiDrawGraphRotated", {double(x), double(y), s, a, double(g), double(t), double(turn)});
  };
  Engine.ApiSelectBlendMode = [](int32_t m, int32_t p) { return Record("ApiSelectBlendMode", {double(m), double(p)}); };
  Engine.ApiMakeScreenColourCode = [](int32_t r, int32_t g, int32_t b) {
    return static_cast<uint32_t>(0xFF000000u | (r << 16) | (g << 8) | b);
  };
  Engine.ApiDrawTextFormatted = RecordFormattedText;
  Engine.ApiDrawTextDefaultFont = [](int32_t x, int32_t y, const char* t, uint32_t c, uint32_t e) {
    return Record("text", {double(x), double(y), double(c), double(e)}, t);
  };
  Engine.ApiReadAllKeys = [](uint8_t* keys) {
    Record("ApiReadAllKeys", {});
    if (Script.keysAt) {
      for (int k : Script.keysAt(KeyReads)) keys[k] = 1;
    }
    ++KeyReads;
    return 0;
  };
  Engine.ApiLoadSoundFile = [](const char* p, int32_t n, int32_t f) {
    Record("ApiLoadSoundFile", {double(n), double(f)}, p);
    return NextHandle++;
  };
  Engine.ApiPlaySoundHandle = [](int32_t s, int32_t t, int32_t f) {
    return Record("ApiPlaySoundHandle", {double(s), double(t), double(f)});
  };
  Engine.ApiStopSoundHandle = [](int32_t s) { return Record("ApiStopSoundHandle", {double(s)}); };
}

std::vector<EntryCall> CallsNamed(const std::string& name) {
  std::vector<EntryCall> out;
  for (const EntryCall& c : Calls) {
    if (c.name == name) out.push_back(c);
  }
  return out;
}

}  // namespace quelt::game::testing
