#pragma once
// The typed-character ring: bytes of typed characters, control codes of editing keys and
// finished input-method conversions, read by text input once per frame.
#include <array>
#include <cstdint>

namespace quelt {

// 1025 bytes, indexes 0..1024 wrapping to 0: at most 1024 bytes are held.
inline constexpr int32_t TypedCharRingSlots = 1025;

struct TypedCharRing {
  std::array<uint8_t, TypedCharRingSlots> bytes;
  int32_t writeIndex;
  int32_t readIndex;
};
extern TypedCharRing TypedChars;

void ClearTypedCharRing();
bool IsTypedCharRingFull();
// 0, -1 when the ring is full (the byte is dropped).
int PushTypedChar(uint8_t byte);
// The next character into out[0..1]: 0 nothing (out zeroed), 1 one byte, 2 two bytes. A
// lead byte whose second byte has not arrived stays in the ring and gives 0. Without
// `consume` the character stays in the ring.
int PopTypedChar(char* out, int32_t consume);

// Control codes of editing keys, {virtual key, code} pairs closed by a 0 byte.
struct KeyControlCode {
  uint8_t virtualKey;
  uint8_t code;
};
inline constexpr std::array<KeyControlCode, 10> KeyControlCodeTable = {{
    {0x2E, 0x10},  // Delete
    {0x25, 0x1D},  // Left
    {0x27, 0x1C},  // Right
    {0x26, 0x1E},  // Up
    {0x28, 0x1F},  // Down
    {0x24, 0x1A},  // Home
    {0x23, 0x19},  // End
    {0x21, 0x17},  // Page Up
    {0x22, 0x15},  // Page Down
    {0, 0},
}};

// 1 when the byte is one of the table's control codes.
int IsMappedControlCode(uint8_t byte);
// The table's control code of a virtual key, 0 for a key not in it.
uint8_t ControlCodeOfKey(uint32_t virtualKey);
// What the window procedure does with WM_CHAR and WM_KEYDOWN: a line feed becomes a
// carriage return; text bytes and the control codes text input handles go in.
void PushCharMessage(uint32_t code);
void PushKeyDownMessage(uint32_t virtualKey);

// Characters in the first `count` bytes of the text (stopping at a 0 byte); 0 for
// count < 1.
int CountCharsInBytes(const char* text, int32_t count);

}  // namespace quelt
