#pragma once
// Text input over the typed-character ring: the input method's state (composition,
// clauses, candidate list) kept inside the engine, and the line editors behind
// text-input handles, processed once per frame. No operation of the engine creates a
// text-input handle, so the editors stay idle unless a program fills a record.
#include <array>
#include <cstdint>

#include "core/engine_handle.h"

namespace quelt {

inline constexpr int32_t ImeTextBytes = 1024;

struct ImeStateBlock {
  int32_t composing;
  int32_t cursor;  // in characters
  char composition[ImeTextBytes];
  char savedComposition[ImeTextBytes];  // what the re-open sequence puts back
  void* candidateList;                  // tracked block
  int32_t candidateListSize;            // bytes
  int32_t enabled;
  int32_t openStatus;
  int32_t roomLimit;       // limits of the composition; nothing sets them
  int32_t maxComposition;
  int32_t reopenStep;      // 0 idle, 1..4
  char clauses[ImeTextBytes];
  int32_t clauseCount;
  int32_t openStatusGuard;
  int32_t blinkStart;      // ms
  int32_t blinkPeriod;     // ms
  int32_t caretShown;
};
extern ImeStateBlock ImeState;

inline constexpr int32_t TextInputColourCount = 15;
extern std::array<uint32_t, TextInputColourCount> TextInputColours;

struct TextInputRecord {
  int32_t inUse;
  int32_t checkId;
  int32_t ended;      // Enter, or Escape where it cancels
  int32_t cancelled;
  int32_t length;     // bytes
  int32_t maxLength;  // bytes
  int32_t selectionStart;  // -1 = none
  int32_t selectionEnd;
  int32_t viewPosition;
  int32_t cursor;  // bytes
  char* text;      // tracked block of maxLength + 1 bytes
  int32_t escapeCancels;
  int32_t singleByteOnly;
  int32_t numbersOnly;
};

inline constexpr int32_t TextInputCapacity = 256;

struct TextInputTable {
  InlineHandleTable<TextInputRecord, TextInputCapacity, HandleKind::TextInput, &TextInputRecord::inUse,
                    &TextInputRecord::checkId>
      inputs;
  int32_t activeHandle;  // -1 = none
};
extern TextInputTable TextInputs;

// The record of a valid handle (kind 10, slot below 256, in use, check id matching), else
// null.
TextInputRecord* FindTextInput(int32_t handle);
int32_t MakeTextInputHandle(int32_t slot, int32_t checkId);

// What editing needs from the platform: the Shift keys and the clipboard (copy a text;
// paste by pushing the clipboard's bytes into the ring).
struct TextEditServices {
  int (*shiftHeld)();
  void (*copyText)(const char* text, int32_t length);
  void (*pasteIntoRing)();
};

// Removes the selected bytes; the cursor goes to the selection's start. 0.
int DeleteInputSelection(TextInputRecord* input);
// One character from the ring (1 or 2 bytes) applied to the editor.
void ApplyTypedCharacter(TextInputRecord* input, const char* character, int32_t bytes,
                         const TextEditServices& services);

// Byte offsets of the character boundaries around `at`, found by walking from the start
// (a trail byte may look like a lead byte).
int32_t PreviousCharStart(const char* text, int32_t at);
int32_t CharBytesAt(const char* text, int32_t at, int32_t length);

// Start and end (the start-up sequence and the window's end), the per-frame step, the
// window procedure's IME messages and the handles' release.
int StartTextInput();
int EndTextInput();
int StepTextInput();
intptr_t HandleImeMessage(uintptr_t wParam, uint32_t message, void* window, intptr_t lParam);
int SwitchImeEnabled(int32_t on);
int RestartCaretBlink();
// On activation: the re-open sequence runs at the next step when the IME was on and open.
void RequestImeReopen();
int ReleaseTextInputHandle(int32_t handle);

}  // namespace quelt
