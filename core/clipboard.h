#pragma once
// Text on the clipboard (CF_TEXT, Shift-JIS bytes as they are).
#include <cstdint>

namespace quelt {

// With a buffer: copies the clipboard's text into it, at most capacity - 1 bytes and a
// terminator, and returns 0. With a null buffer: returns the clipboard block's size + 1,
// enough for the text and its terminator. -1 when the clipboard cannot be opened, holds no
// text, or the buffer has no room at all.
int32_t ReadClipboardText(char* buffer, int32_t capacity);
// Puts the text on the clipboard: 0, or -1 (nothing is left allocated) when the text is
// null, no memory is free or the clipboard refuses it.
int32_t WriteClipboardText(const char* text);

}  // namespace quelt
