#include <windows.h>

#include <cstring>

#include "core/clipboard.h"
#include "core/core_state.h"
#include "core/sjis_string.h"

namespace quelt {

namespace {

HWND Owner() { return static_cast<HWND>(MainWindowHandle); }

}  // namespace

int32_t ReadClipboardText(char* buffer, int32_t capacity) {
  if (buffer != nullptr && capacity <= 0) return -1;
  if (OpenClipboard(Owner()) == FALSE) return -1;
  int32_t result = -1;
  if (const HANDLE block = GetClipboardData(CF_TEXT)) {
    const SIZE_T size = GlobalSize(block);
    if (buffer == nullptr) {
      result = static_cast<int32_t>(size) + 1;
    } else if (const auto* text = static_cast<const char*>(GlobalLock(block))) {
      // The block need not end in a terminator: the text ends at the first zero within it.
      size_t length = strnlen(text, size);
      // Cut to the capacity at a whole character: never a lead byte without its second byte.
      if (length > static_cast<size_t>(capacity) - 1)
        length = WholeCharacterLength(text, static_cast<size_t>(capacity) - 1);
      std::memcpy(buffer, text, length);
      buffer[length] = '\0';
      GlobalUnlock(block);
      result = 0;
    }
  }
  CloseClipboard();
  return result;
}

int32_t WriteClipboardText(const char* text) {
  if (text == nullptr) return -1;
  const size_t size = std::strlen(text) + 1;
  // The clipboard takes only movable blocks.
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (block == nullptr) return -1;
  void* bytes = GlobalLock(block);
  if (bytes == nullptr) {
    GlobalFree(block);
    return -1;
  }
  std::memcpy(bytes, text, size);
  GlobalUnlock(block);
  if (OpenClipboard(Owner()) == FALSE) {
    GlobalFree(block);
    return -1;
  }
  EmptyClipboard();
  // Once taken, the block belongs to the clipboard; refused, it is still ours to free.
  const bool taken = SetClipboardData(CF_TEXT, block) != nullptr;
  CloseClipboard();
  if (!taken) {
    GlobalFree(block);
    return -1;
  }
  return 0;
}

}  // namespace quelt
