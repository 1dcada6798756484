#pragma once
// String functions that understand Shift-JIS: a lead byte (0x81-0x9F, 0xE0-0xFC) starts a
// two-byte character whose second byte may look like "\" or a letter. All texts are
// zero-terminated; a lead byte directly before the terminator ends a scan there.
#include <cstddef>
#include <cstdint>

namespace quelt {

// Mode 2 (OEM code page 949) takes every byte from 0x80 as a lead byte.
int IsLeadByte(const char* byte, int32_t charSetMode);
// The first occurrence of the byte that is not the second byte of a two-byte character.
const char* FindByteSjis(const char* text, char byte);
char* FindByteSjis(char* text, char byte);
// a..z to A..Z in place, leaving two-byte characters alone.
void UpperCaseSjis(char* text);
// The length of the text's first `length` bytes without a two-byte character cut in half
// at their end (for truncated formatting).
size_t WholeCharacterLength(const char* text, size_t length);

void CopyString(char* destination, const char* source);
void AppendString(char* destination, const char* source);
// 0 equal, 1 different (no ordering).
int StringsDiffer(const char* a, const char* b);
int BytesDiffer(const void* a, const void* b, int32_t count);
int BlockDiffers(const void* a, const void* b, int32_t count);
void FillBytes(void* destination, int value, int32_t count);
void MoveBytes(void* destination, const void* source, int32_t count);
// A byte loop, backwards when the destination lies above the source; returns destination.
void* MoveBytesByteWise(void* destination, const void* source, int32_t count);

}  // namespace quelt
