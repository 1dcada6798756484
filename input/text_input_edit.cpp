// The line editor of a text input: selection, deletion, cursor moves and insertion.
#include <algorithm>
#include <cstring>

#include "core/engine_handle.h"
#include "core/engine_state.h"
#include "core/sjis_string.h"
#include "input/text_input.h"

namespace quelt {

TextInputTable TextInputs{};

namespace {

bool IsLead(const char* byte) { return IsLeadByte(byte, CharSetMode) != 0; }

bool HasSelection(const TextInputRecord* input) { return input->selectionStart != -1; }

void ClearSelection(TextInputRecord* input) {
  input->selectionStart = -1;
  input->selectionEnd = -1;
}

// Moves the cursor, extending the selection (anchored at the old cursor) with Shift held.
void MoveCursor(TextInputRecord* input, int32_t to, bool shift) {
  if (shift) {
    if (!HasSelection(input)) input->selectionStart = input->cursor;
    input->selectionEnd = to;
  } else {
    ClearSelection(input);
  }
  input->cursor = to;
}

void RemoveBytes(TextInputRecord* input, int32_t at, int32_t count) {
  if (count <= 0 || at < 0 || at + count > input->length) return;
  std::memmove(input->text + at, input->text + at + count, static_cast<size_t>(input->length - at - count));
  input->length -= count;
  input->text[input->length] = '\0';
  if (input->viewPosition > input->length) input->viewPosition = input->length;
}

void CopySelection(TextInputRecord* input, const TextEditServices& services) {
  if (!HasSelection(input) || services.copyText == nullptr) return;
  const int32_t low = std::min(input->selectionStart, input->selectionEnd);
  const int32_t high = std::max(input->selectionStart, input->selectionEnd);
  services.copyText(input->text + low, high - low);
}

void Cut(TextInputRecord* input, const TextEditServices& services) {
  CopySelection(input, services);
  DeleteInputSelection(input);
}

bool AcceptsNumberCharacter(const TextInputRecord* input, char c) {
  if (c >= '0' && c <= '9') return true;
  if (c == '-') return input->cursor == 0;
  if (c == '.') return std::memchr(input->text, '.', static_cast<size_t>(input->length)) == nullptr;
  return false;
}

void Insert(TextInputRecord* input, const char* character, int32_t bytes) {
  DeleteInputSelection(input);
  if (input->numbersOnly != 0 && (bytes != 1 || !AcceptsNumberCharacter(input, character[0]))) return;
  if (input->singleByteOnly != 0 && bytes != 1) return;
  if (bytes > input->maxLength) return;
  // Room is made by dropping characters from the end.
  while (input->length + bytes > input->maxLength && input->length > 0) {
    const int32_t last = PreviousCharStart(input->text, input->length);
    const bool cursor_at_end = input->cursor == input->length;
    RemoveBytes(input, last, input->length - last);
    if (cursor_at_end || input->cursor > input->length) input->cursor = input->length;
  }
  std::memmove(input->text + input->cursor + bytes, input->text + input->cursor,
               static_cast<size_t>(input->length - input->cursor));
  std::memcpy(input->text + input->cursor, character, static_cast<size_t>(bytes));
  input->cursor += bytes;
  input->length += bytes;
  input->text[input->length] = '\0';
}

}  // namespace

int32_t MakeTextInputHandle(int32_t slot, int32_t checkId) {
  return MakeEngineHandle(slot, checkId, HandleKind::TextInput);
}

TextInputRecord* FindTextInput(int32_t handle) {
  return TextInputs.inputs.Find(handle);
}

int32_t PreviousCharStart(const char* text, int32_t at) {
  int32_t previous = 0;
  for (int32_t walk = 0; walk < at;) {
    previous = walk;
    walk += IsLead(text + walk) && text[walk + 1] != 0 ? 2 : 1;
  }
  return previous;
}

int32_t CharBytesAt(const char* text, int32_t at, int32_t length) {
  if (at >= length) return 0;
  return IsLead(text + at) && at + 1 < length ? 2 : 1;
}

int DeleteInputSelection(TextInputRecord* input) {
  if (!HasSelection(input)) return 0;
  const int32_t low = std::clamp(std::min(input->selectionStart, input->selectionEnd), 0, input->length);
  const int32_t high = std::clamp(std::max(input->selectionStart, input->selectionEnd), 0, input->length);
  RemoveBytes(input, low, high - low);
  input->text[input->length] = '\0';
  input->cursor = low;
  ClearSelection(input);
  if (input->viewPosition > input->length) input->viewPosition = input->length;
  return 0;
}

void ApplyTypedCharacter(TextInputRecord* input, const char* character, int32_t bytes,
                         const TextEditServices& services) {
  const bool shift = services.shiftHeld != nullptr && services.shiftHeld() != 0;
  const auto code = static_cast<uint8_t>(character[0]);
  if (bytes == 2) {
    Insert(input, character, 2);
    return;
  }
  switch (code) {
    case 3:
      CopySelection(input, services);
      return;
    case 8:
      if (HasSelection(input)) {
        DeleteInputSelection(input);
      } else if (input->cursor > 0) {
        const int32_t start = PreviousCharStart(input->text, input->cursor);
        RemoveBytes(input, start, input->cursor - start);
        input->cursor = start;
      }
      return;
    case 13:
      input->ended = 1;
      return;
    case 16:
      if (!HasSelection(input))
        RemoveBytes(input, input->cursor, CharBytesAt(input->text, input->cursor, input->length));
      else if (shift)
        Cut(input, services);
      else
        DeleteInputSelection(input);
      return;
    case 22:
      if (services.pasteIntoRing != nullptr) services.pasteIntoRing();
      return;
    case 24:
      if (HasSelection(input)) Cut(input, services);
      return;
    case 25:
      MoveCursor(input, input->length, shift);
      return;
    case 26:
      MoveCursor(input, 0, shift);
      return;
    case 27:
      if (input->escapeCancels != 0) {
        input->cancelled = 1;
        input->ended = 1;
      }
      return;
    case 28:
      MoveCursor(input, input->cursor + CharBytesAt(input->text, input->cursor, input->length), shift);
      return;
    case 29:
      MoveCursor(input, PreviousCharStart(input->text, input->cursor), shift);
      return;
    default:
      // Tab, Up, Down and every other control code edit nothing; they are not text.
      if (code < 0x20 || code == 0x7F) return;
      Insert(input, character, 1);
      return;
  }
}

}  // namespace quelt
