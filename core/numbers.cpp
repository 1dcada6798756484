#include "core/numbers.h"

#include <cmath>
#include <cstdio>

#include "core/sjis_string.h"

namespace quelt {

void RectDoublesToInts(const double source[4], int32_t destination[4]) {
  for (int i = 0; i < 4; ++i) destination[i] = DoubleToInt(source[i]);
}

float AbsFloat(float value) { return std::fabs(value); }

float SqrtFloat(float value) { return std::sqrt(value); }

void SinCosFloat(float angle, float* sine, float* cosine) {
#if defined(__i386__) || defined(__x86_64__)
  // The x87 instruction keeps its own argument reduction and precision, which the
  // renderers' fixed-point set-up depends on bit for bit.
  long double s;
  long double c;
  __asm__("fsincos" : "=t"(c), "=u"(s) : "0"(static_cast<long double>(angle)));
  *sine = static_cast<float>(s);
  *cosine = static_cast<float>(c);
#else
  *sine = static_cast<float>(std::sin(static_cast<long double>(angle)));
  *cosine = static_cast<float>(std::cos(static_cast<long double>(angle)));
#endif
}

int32_t ParseInt(const char* text) {
  const char* p = text;
  while (*p && *p != '-' && !(*p >= '0' && *p <= '9')) ++p;
  if (*p == 0) return -1;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  uint32_t value = 0;
  for (int digits = 0; digits < 32 && *p >= '0' && *p <= '9'; ++digits, ++p) {
    value = value * 10u + static_cast<uint32_t>(*p - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

char* FormatIntRadix(int32_t value, char* buffer, int32_t radix) {
  if (radix < 2 || radix > 36) {
    buffer[0] = 0;
    return nullptr;
  }
  char* out = buffer;
  uint32_t magnitude = static_cast<uint32_t>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0u - magnitude;
  }
  char digits[32];
  int count = 0;
  do {
    uint32_t digit = magnitude % static_cast<uint32_t>(radix);
    digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + (digit - 10));
    magnitude /= static_cast<uint32_t>(radix);
  } while (magnitude != 0);
  while (count > 0) *out++ = digits[--count];
  *out = 0;
  return buffer;
}

void Multiply64To128(uint64_t a, uint64_t b, uint32_t product[4]) {
  const uint64_t aLow = a & 0xFFFFFFFFu, aHigh = a >> 32;
  const uint64_t bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
  const uint64_t lowLow = aLow * bLow;
  const uint64_t lowHigh = aLow * bHigh;
  const uint64_t highLow = aHigh * bLow;
  const uint64_t highHigh = aHigh * bHigh;
  const uint64_t middle = (lowLow >> 32) + (lowHigh & 0xFFFFFFFFu) + (highLow & 0xFFFFFFFFu);
  const uint64_t upper = highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32);
  product[0] = static_cast<uint32_t>(lowLow);
  product[1] = static_cast<uint32_t>(middle);
  product[2] = static_cast<uint32_t>(upper);
  product[3] = static_cast<uint32_t>(upper >> 32);
}

uint64_t Divide128By64(const uint32_t dividend[4], uint64_t divisor) {
  uint64_t high = (static_cast<uint64_t>(dividend[3]) << 32) | dividend[2];
  uint64_t low = (static_cast<uint64_t>(dividend[1]) << 32) | dividend[0];
  uint64_t remainder = 0;
  uint64_t quotient = 0;
  for (int bit = 127; bit >= 0; --bit) {
    const uint64_t next = bit >= 64 ? (high >> (bit - 64)) & 1u : (low >> bit) & 1u;
    const bool carry = (remainder >> 63) != 0;  // the remainder briefly needs 65 bits
    remainder = (remainder << 1) | next;
    if (carry || remainder >= divisor) {
      remainder -= divisor;
      if (bit < 64) quotient |= uint64_t{1} << bit;
    }
  }
  return quotient;
}

int FormatToBufferV(char* buffer, size_t capacity, const char* format, va_list args) {
  if (capacity == 0) return 0;
  int written = std::vsnprintf(buffer, capacity, format, args);
  if (written < 0) {
    buffer[0] = 0;
  } else if (static_cast<size_t>(written) >= capacity) {
    buffer[WholeCharacterLength(buffer, capacity - 1)] = 0;
  }
  return 0;
}

int FormatToBuffer(char* buffer, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatToBufferV(buffer, capacity, format, args);
  va_end(args);
  return 0;
}

}  // namespace quelt
