#include "input/typed_char_ring.h"

#include "core/engine_state.h"
#include "core/sjis_string.h"

namespace quelt {

TypedCharRing TypedChars{};

namespace {

constexpr int32_t LastIndex = TypedCharRingSlots - 1;

int32_t Next(int32_t index) { return index >= LastIndex ? 0 : index + 1; }
int32_t Previous(int32_t index) { return index <= 0 ? LastIndex : index - 1; }

bool IsEmpty() { return TypedChars.readIndex == TypedChars.writeIndex; }

bool IsTypedControlByte(uint32_t code) {
  switch (code) {
    case 1: case 3: case 8: case 9: case 13: case 16: case 22: case 24: case 27:
      return true;
    default:
      return code >= 32;
  }
}

}  // namespace

void ClearTypedCharRing() { TypedChars = {}; }

bool IsTypedCharRingFull() {
  return Next(TypedChars.writeIndex) == TypedChars.readIndex ||
         (TypedChars.readIndex == 0 && TypedChars.writeIndex == LastIndex);
}

int PushTypedChar(uint8_t byte) {
  if (IsTypedCharRingFull()) return -1;
  TypedChars.bytes[static_cast<size_t>(TypedChars.writeIndex)] = byte;
  TypedChars.writeIndex = Next(TypedChars.writeIndex);
  return 0;
}

int PopTypedChar(char* out, int32_t consume) {
  out[0] = 0;
  out[1] = 0;
  if (IsEmpty()) return 0;
  const char first = static_cast<char>(TypedChars.bytes[static_cast<size_t>(TypedChars.readIndex)]);
  TypedChars.readIndex = Next(TypedChars.readIndex);
  int result = 1;
  if (IsMappedControlCode(static_cast<uint8_t>(first)) == 0 && IsLeadByte(&first, CharSetMode) != 0) {
    if (IsEmpty()) {
      // Half a character: it waits for its second byte. One step back is all it takes.
      TypedChars.readIndex = Previous(TypedChars.readIndex);
      return 0;
    }
    out[1] = static_cast<char>(TypedChars.bytes[static_cast<size_t>(TypedChars.readIndex)]);
    if (consume != 0) TypedChars.readIndex = Next(TypedChars.readIndex);
    result = 2;
  }
  out[0] = first;
  if (consume == 0) TypedChars.readIndex = Previous(TypedChars.readIndex);
  return result;
}

int IsMappedControlCode(uint8_t byte) {
  for (const KeyControlCode& entry : KeyControlCodeTable) {
    if (entry.virtualKey == 0) break;
    if (entry.code == byte) return 1;
  }
  return 0;
}

uint8_t ControlCodeOfKey(uint32_t virtualKey) {
  for (const KeyControlCode& entry : KeyControlCodeTable) {
    if (entry.virtualKey == 0) break;
    if (entry.virtualKey == virtualKey) return entry.code;
  }
  return 0;
}

void PushCharMessage(uint32_t code) {
  if (code == 10) code = 13;
  if (code > 0xFF || !IsTypedControlByte(code)) return;
  PushTypedChar(static_cast<uint8_t>(code));
}

void PushKeyDownMessage(uint32_t virtualKey) {
  const uint8_t code = ControlCodeOfKey(virtualKey);
  if (code != 0 && !IsTypedCharRingFull()) PushTypedChar(code);
}

int CountCharsInBytes(const char* text, int32_t count) {
  if (count < 1) return 0;
  int chars = 0;
  for (int32_t at = 0; at < count && text[at] != 0;) {
    at += IsLeadByte(text + at, CharSetMode) != 0 && text[at + 1] != 0 ? 2 : 1;
    ++chars;
  }
  return chars;
}

}  // namespace quelt
