#include "core/sjis_string.h"

#include <cstring>

namespace quelt {

namespace {

// The fixed Shift-JIS lead ranges that string walking uses whatever the mode.
constexpr bool IsSjisLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace

int IsLeadByte(const char* byte, int32_t charSetMode) {
  unsigned char value = static_cast<unsigned char>(*byte);
  if (charSetMode == 2) return value >= 0x80 ? 1 : 0;
  return IsSjisLead(value) ? 1 : 0;
}

const char* FindByteSjis(const char* text, char byte) {
  const char* p = text;
  while (*p) {
    if (*p == byte) return p;
    if (IsSjisLead(static_cast<unsigned char>(*p))) {
      if (p[1] == 0) {
        ++p;
        break;
      }
      p += 2;
    } else {
      ++p;
    }
  }
  return byte == 0 ? p : nullptr;
}

char* FindByteSjis(char* text, char byte) {
  return const_cast<char*>(FindByteSjis(static_cast<const char*>(text), byte));
}

void UpperCaseSjis(char* text) {
  for (char* p = text; *p;) {
    if (IsSjisLead(static_cast<unsigned char>(*p))) {
      if (p[1] == 0) break;
      p += 2;
      continue;
    }
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    ++p;
  }
}

size_t WholeCharacterLength(const char* text, size_t length) {
  size_t i = 0;
  while (i < length) {
    size_t step = IsSjisLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + step > length) break;
    i += step;
  }
  return i;
}

void CopyString(char* destination, const char* source) { std::strcpy(destination, source); }

void AppendString(char* destination, const char* source) { std::strcat(destination, source); }

int StringsDiffer(const char* a, const char* b) { return std::strcmp(a, b) != 0 ? 1 : 0; }

int BytesDiffer(const void* a, const void* b, int32_t count) {
  if (count <= 0) return 0;
  return std::memcmp(a, b, static_cast<size_t>(count)) != 0 ? 1 : 0;
}

int BlockDiffers(const void* a, const void* b, int32_t count) { return BytesDiffer(a, b, count); }

void FillBytes(void* destination, int value, int32_t count) {
  if (count > 0) std::memset(destination, value, static_cast<size_t>(count));
}

void MoveBytes(void* destination, const void* source, int32_t count) {
  if (count > 0) std::memmove(destination, source, static_cast<size_t>(count));
}

void* MoveBytesByteWise(void* destination, const void* source, int32_t count) {
  auto* to = static_cast<unsigned char*>(destination);
  const auto* from = static_cast<const unsigned char*>(source);
  if (reinterpret_cast<uintptr_t>(to) > reinterpret_cast<uintptr_t>(from)) {
    for (int32_t i = count - 1; i >= 0; --i) to[i] = from[i];
  } else {
    for (int32_t i = 0; i < count; ++i) to[i] = from[i];
  }
  return destination;
}

}  // namespace quelt
