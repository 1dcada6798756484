#pragma once
// Number conversions with fixed rounding, integer text conversion, 128-bit helpers and the
// engine's bounded formatted printing.
#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace quelt {

// Truncation toward zero whatever the rounding mode; NaN and values outside int32 give
// -2147483648 (what the processor's own conversion yields, here without undefined behaviour).
inline int32_t FloatToInt(float value) {
  if (!(value >= -2147483648.0f && value < 2147483648.0f)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

inline int32_t DoubleToInt(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// {left, top, right, bottom}, each truncated with DoubleToInt.
void RectDoublesToInts(const double source[4], int32_t destination[4]);

// A value held to 0..255 (a colour channel, a blend parameter, a table index).
template <typename T>
constexpr T ClampToByte(T value) {
  return value < 0 ? T{0} : value > 255 ? T{255} : value;
}

// The most negative int32 stays itself (its magnitude does not fit).
inline int32_t AbsInt(int32_t value) {
  return value < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(value)) : value;
}
float AbsFloat(float value);
float SqrtFloat(float value);
// Sine and cosine from one extended-precision operation, each rounded to single precision.
void SinCosFloat(float angle, float* sine, float* cosine);

// Skips to the first decimal digit or '-'; -1 when there is none; then reads up to 32
// digits (wrapping modulo 2^32 like the 32-bit arithmetic it stands for); a leading '-'
// negates; a '-' not followed by a digit gives 0.
int32_t ParseInt(const char* text);
// "0" for zero, '-' and the magnitude's digits for negatives, digits above 9 as 'a', 'b'...
// The buffer needs 34 bytes for radix 2. Returns the buffer; a radix outside 2..36 writes
// an empty text and returns null.
char* FormatIntRadix(int32_t value, char* buffer, int32_t radix);

// Unsigned 64 x 64 -> 128-bit product as four 32-bit words, low first.
void Multiply64To128(uint64_t a, uint64_t b, uint32_t product[4]);
// The low 64 bits of the quotient of a 128-bit dividend (four words, low first) by a
// 64-bit divisor, by shift and subtract. A zero divisor gives all ones.
uint64_t Divide128By64(const uint32_t dividend[4], uint64_t divisor);

// printf-style formatting into the caller's buffer of `capacity` bytes, truncated (never
// splitting a two-byte character) and always terminated when capacity > 0. Return 0.
int FormatToBufferV(char* buffer, size_t capacity, const char* format, va_list args);
int FormatToBuffer(char* buffer, size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace quelt
