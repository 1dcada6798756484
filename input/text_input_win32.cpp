// Text input's start and end, its per-frame step and the release of its handles, with the
// clipboard copy and paste the editors use.
#include <windows.h>
#include <imm.h>
#include <winnls32.h>

#include <cstring>

#include "core/clock.h"
#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/log.h"
#include "core/sjis_string.h"
#include "core/tracked_alloc.h"
#include "graphics/screen_mode.h"
#include "input/input_devices.h"
#include "input/text_input.h"
#include "input/typed_char_ring.h"

namespace quelt {

ImeStateBlock ImeState{};
std::array<uint32_t, TextInputColourCount> TextInputColours{};

namespace {

constexpr int32_t CaretBlinkPeriodMs = 500;

HWND MainWindow() { return static_cast<HWND>(MainWindowHandle); }

int ShiftHeld() { return QueryKeyDown(0x2A) != 0 || QueryKeyDown(0x36) != 0 ? 1 : 0; }

void CopyTextToClipboard(const char* text, int32_t length) {
  const HGLOBAL block = GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(length) + 1);
  if (block == nullptr) return;
  auto* bytes = static_cast<char*>(GlobalLock(block));
  std::memcpy(bytes, text, static_cast<size_t>(length));
  bytes[length] = '\0';
  GlobalUnlock(block);
  if (OpenClipboard(MainWindow()) == FALSE) {
    GlobalFree(block);
    return;
  }
  EmptyClipboard();
  if (SetClipboardData(CF_TEXT, block) == nullptr) GlobalFree(block);
  CloseClipboard();
}

void PasteClipboardIntoRing() {
  if (OpenClipboard(MainWindow()) == FALSE) return;
  if (const HANDLE block = GetClipboardData(CF_TEXT)) {
    if (const auto* text = static_cast<const char*>(GlobalLock(block))) {
      const SIZE_T size = GlobalSize(block);
      for (SIZE_T i = 0; i < size && text[i] != '\0'; ++i) PushTypedChar(static_cast<uint8_t>(text[i]));
      GlobalUnlock(block);
    }
  }
  CloseClipboard();
}

constexpr TextEditServices PlatformEditServices = {ShiftHeld, CopyTextToClipboard, PasteClipboardIntoRing};

// Re-opens the input method after an activation and puts the composition back, all four
// steps within one frame.
void RunReopenSequence() {
  if (ImeState.reopenStep == 0) return;
  const HWND window = MainWindow();
  if (ImeState.reopenStep == 1) {
    if (const HIMC context = ImmGetContext(window)) {
      ImeState.composition[0] = '\0';
      std::memset(ImeState.savedComposition, 0, sizeof ImeState.savedComposition);
      ImmGetCompositionStringA(context, GCS_COMPSTR, ImeState.savedComposition,
                               sizeof ImeState.savedComposition - 1);
      ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
      ImmReleaseContext(window, context);
    }
    ImeState.reopenStep = 2;
  }
  if (ImeState.reopenStep == 2) {
    if (const HIMC context = ImmGetContext(window)) {
      ImmSetOpenStatus(context, FALSE);
      ImmReleaseContext(window, context);
    }
    ImeState.reopenStep = 3;
  }
  if (ImeState.reopenStep == 3) {
    if (const HIMC context = ImmGetContext(window)) {
      ImmSetOpenStatus(context, TRUE);
      ImmReleaseContext(window, context);
    }
    ImeState.reopenStep = 4;
  }
  if (ImeState.reopenStep == 4) {
    if (const HIMC context = ImmGetContext(window)) {
      ImmSetOpenStatus(context, TRUE);
      const auto length = static_cast<DWORD>(std::strlen(ImeState.savedComposition));
      ImmSetCompositionStringA(context, SCS_SETSTR, ImeState.savedComposition, length, nullptr, 0);
      ImmReleaseContext(window, context);
    }
    ImeState.reopenStep = 0;
  }
}

// Keeps the composition within the room the input has left and the maximum composition.
void LimitComposition(const TextInputRecord* input) {
  if (ImeState.roomLimit == 0 && ImeState.maxComposition == 0) return;
  const auto composition_length = static_cast<int32_t>(std::strlen(ImeState.composition));
  int32_t limit = composition_length;
  const int32_t room = input->maxLength - input->length;
  if (ImeState.roomLimit != 0 && composition_length > room) limit = room;
  if (ImeState.maxComposition != 0 && ImeState.maxComposition < limit) limit = ImeState.maxComposition;
  if (limit < 0) limit = 0;
  if (composition_length <= limit) return;
  int32_t cut = 0;
  while (cut < limit) {
    const int32_t step = IsLeadByte(ImeState.composition + cut, CharSetMode) != 0 ? 2 : 1;
    if (cut + step > limit) break;
    cut += step;
  }
  ImeState.composition[cut] = '\0';
  const HWND window = MainWindow();
  if (const HIMC context = ImmGetContext(window)) {
    ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
    ImmSetCompositionStringA(context, SCS_SETSTR, ImeState.composition, static_cast<DWORD>(cut), nullptr, 0);
    ImmReleaseContext(window, context);
  }
}

void FreeCandidateList() {
  if (ImeState.candidateList != nullptr) TrackedFree(ImeState.candidateList);
  ImeState.candidateList = nullptr;
  ImeState.candidateListSize = 0;
}

}  // namespace

int RestartCaretBlink() {
  ImeState.blinkStart = ReadMillisecondClock();
  ImeState.caretShown = 1;
  return 0;
}

void RequestImeReopen() {
  if (ImeState.enabled != 0 && ImeState.openStatus != 0) ImeState.reopenStep = 1;
}

int SwitchImeEnabled(int32_t on) {
  on = on != 0 ? 1 : 0;
  if (ImeState.enabled == on) return 0;
  if (MainWindowHandle != nullptr) WINNLSEnableIME(MainWindow(), on);
  ImeState.enabled = on;
  if (on == 0) {
    FreeCandidateList();
    ImeState.composition[0] = '\0';
    ImeState.composing = 0;
  }
  return 0;
}

int ReleaseTextInputHandle(int32_t handle) {
  TextInputRecord* input = FindTextInput(handle);
  if (input == nullptr) return -1;
  if (input->text != nullptr) TrackedFree(input->text);
  TextInputs.inputs.Release(handle);
  if (TextInputs.activeHandle == handle) TextInputs.activeHandle = -1;
  bool any_in_use = false;
  for (const TextInputRecord& record : TextInputs.inputs.records) any_in_use = any_in_use || record.inUse != 0;
  if (!any_in_use) SwitchImeEnabled(0);
  return 0;
}

int StartTextInput() {
  WriteLog("文字コードバッファの初期化を行います... ");
  ClearTypedCharRing();
  FreeCandidateList();
  ImeState = {};
  TextInputColours = {};
  for (TextInputRecord& record : TextInputs.inputs.records)
    if (record.text != nullptr) TrackedFree(record.text);
  TextInputs = {};
  constexpr std::array<std::array<int32_t, 3>, TextInputColourCount> colours = {{
      {255, 255, 255}, {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {255, 255, 255},
      {255, 0, 0}, {255, 255, 20}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0},
      {255, 255, 0},  // a copy of the third
      {0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {128, 128, 128},
  }};
  for (size_t i = 0; i < colours.size(); ++i)
    TextInputColours[i] = MakeScreenColourCode(colours[i][0], colours[i][1], colours[i][2]);
  TextInputs.activeHandle = -1;
  ImeState.blinkPeriod = CaretBlinkPeriodMs;
  ImeState.caretShown = 1;
  WriteLog("完了しました\n");
  return 0;
}

int EndTextInput() {
  for (int32_t slot = 0; slot < TextInputCapacity; ++slot) {
    if (const EngineHandle handle = TextInputs.inputs.HandleOfSlot(slot); handle != NoHandle)
      ReleaseTextInputHandle(handle);
  }
  TextInputs.activeHandle = -1;
  // A candidate list still held when the window ends would outlive the engine.
  FreeCandidateList();
  return 0;
}

int StepTextInput() {
  RunReopenSequence();
  if (TextInputs.activeHandle == -1) return 0;
  TextInputRecord* input = FindTextInput(TextInputs.activeHandle);
  if (input == nullptr) return -1;
  if (input->ended != 0) return 0;
  LimitComposition(input);
  char character[2];
  for (;;) {
    const int bytes = PopTypedChar(character, 1);
    if (bytes == 0) break;
    RestartCaretBlink();
    ApplyTypedCharacter(input, character, bytes, PlatformEditServices);
    if (input->ended != 0) break;
  }
  return 0;
}

}  // namespace quelt
