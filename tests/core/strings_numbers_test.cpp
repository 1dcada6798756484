#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "core/numbers.h"
#include "core/sjis_string.h"

namespace {

TEST(SjisStringTest, LeadBytesByMode) {
  for (int value = 0; value < 256; ++value) {
    const char byte = static_cast<char>(value);
    const bool sjisLead = (value >= 0x81 && value <= 0x9F) || (value >= 0xE0 && value <= 0xFC);
    EXPECT_EQ(quelt::IsLeadByte(&byte, 1), sjisLead ? 1 : 0) << value;
    EXPECT_EQ(quelt::IsLeadByte(&byte, 2), value >= 0x80 ? 1 : 0) << value;
  }
}

TEST(SjisStringTest, FindSkipsSecondBytesOfTwoByteCharacters) {
  // "ソ" is 0x83 0x5C: its second byte looks like "\".
  const char path[] = "a\x83\x5C" "b\\c";
  const char* found = quelt::FindByteSjis(path, '\\');
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found - path, 4);
  EXPECT_EQ(quelt::FindByteSjis("\x83\x5C", '\\'), nullptr);
  EXPECT_EQ(quelt::FindByteSjis("abc", 'z'), nullptr);
  // A lead byte right before the terminator ends the scan there.
  const char dangling[] = "ab\x81";
  EXPECT_EQ(quelt::FindByteSjis(dangling, 0), dangling + 3);
  EXPECT_EQ(quelt::FindByteSjis(dangling, 'b'), dangling + 1);
  // Half-width katakana (0xA1..0xDF) are single bytes.
  const char kana[] = "\xB1n";
  EXPECT_EQ(quelt::FindByteSjis(kana, 'n'), kana + 1);
}

TEST(SjisStringTest, UpperCaseLeavesTwoByteCharactersAlone) {
  char text[] = "ab\x82\x61" "cd\x81";  // 0x82 0x61 is a full-width letter; a dangling lead byte at the end
  quelt::UpperCaseSjis(text);
  EXPECT_STREQ(text, "AB\x82\x61" "CD\x81");
}

TEST(SjisStringTest, WholeCharacterLengthDropsACutCharacter) {
  EXPECT_EQ(quelt::WholeCharacterLength("ab\x82\xA0" "c", 3), 2u);
  EXPECT_EQ(quelt::WholeCharacterLength("ab\x82\xA0" "c", 4), 4u);
  EXPECT_EQ(quelt::WholeCharacterLength("ab", 0), 0u);
}

TEST(SjisStringTest, CopyCompareFillMove) {
  char buffer[32];
  quelt::CopyString(buffer, "Tarn");
  quelt::AppendString(buffer, " Vale");
  EXPECT_STREQ(buffer, "Tarn Vale");
  EXPECT_EQ(quelt::StringsDiffer("abc", "abc"), 0);
  EXPECT_EQ(quelt::StringsDiffer("abc", "abd"), 1);
  EXPECT_EQ(quelt::StringsDiffer("abd", "abc"), 1);  // no ordering
  EXPECT_EQ(quelt::BytesDiffer("abcX", "abcY", 3), 0);
  EXPECT_EQ(quelt::BlockDiffers("abcX", "abcY", 4), 1);
  quelt::FillBytes(buffer, 'q', 3);
  EXPECT_EQ(std::string(buffer, 3), "qqq");

  char overlap[] = "0123456789";
  EXPECT_EQ(quelt::MoveBytesByteWise(overlap + 2, overlap, 6), overlap + 2);  // destination above
  EXPECT_STREQ(overlap, "0101234589");
  char down[] = "0123456789";
  quelt::MoveBytesByteWise(down, down + 3, 5);
  EXPECT_STREQ(down, "3456756789");
  char moved[] = "abcdef";
  quelt::MoveBytes(moved + 1, moved, 4);
  EXPECT_STREQ(moved, "aabcdf");
}

TEST(NumbersTest, FloatAndDoubleTruncateTowardZeroWhateverTheRoundingMode) {
  const int saved = std::fegetround();
  for (int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD}) {
    std::fesetround(mode);
    EXPECT_EQ(quelt::DoubleToInt(-2.7), -2);
    EXPECT_EQ(quelt::DoubleToInt(2.7), 2);
    EXPECT_EQ(quelt::FloatToInt(-2.7f), -2);
    EXPECT_EQ(quelt::FloatToInt(2.5f), 2);
  }
  std::fesetround(saved);
  EXPECT_EQ(quelt::DoubleToInt(-0.9), 0);
  EXPECT_EQ(quelt::DoubleToInt(2147483647.9), INT32_MAX);
  EXPECT_EQ(quelt::DoubleToInt(-2147483648.9), INT32_MIN);
  EXPECT_EQ(quelt::FloatToInt(-2147483648.0f), INT32_MIN);
  EXPECT_EQ(quelt::FloatToInt(2147483520.0f), 2147483520);  // the largest float below 2^31
}

TEST(NumbersTest, NanAndOutOfRangeGiveTheMostNegativeInt) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double value : {nan, inf, -inf, 2147483648.0, -2147483649.0, 1e300, -1e300}) {
    EXPECT_EQ(quelt::DoubleToInt(value), INT32_MIN) << value;
    if (!std::isnan(value) && std::fabs(value) > 3.4e38) continue;
    EXPECT_EQ(quelt::FloatToInt(static_cast<float>(value)), INT32_MIN) << value;
  }
  EXPECT_EQ(quelt::FloatToInt(std::numeric_limits<float>::infinity()), INT32_MIN);
  EXPECT_EQ(quelt::FloatToInt(2147483648.0f), INT32_MIN);
  EXPECT_EQ(quelt::FloatToInt(-2147483904.0f), INT32_MIN);
  const double rect[4] = {1.9, -1.9, nan, 3e9};
  int32_t out[4];
  quelt::RectDoublesToInts(rect, out);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], -1);
  EXPECT_EQ(out[2], INT32_MIN);
  EXPECT_EQ(out[3], INT32_MIN);
}

TEST(NumbersTest, AbsSqrtSinCos) {
  EXPECT_EQ(quelt::AbsInt(-5), 5);
  EXPECT_EQ(quelt::AbsInt(INT32_MIN), INT32_MIN);
  EXPECT_EQ(quelt::AbsFloat(-1.5f), 1.5f);
  EXPECT_EQ(quelt::SqrtFloat(2.0f), std::sqrt(2.0f));
  float s = -1, c = -1;
  quelt::SinCosFloat(0.0f, &s, &c);
  EXPECT_EQ(s, 0.0f);
  EXPECT_EQ(c, 1.0f);
  for (float angle : {0.5f, 1.0f, -2.25f, 3.14159265f, 100.0f}) {
    quelt::SinCosFloat(angle, &s, &c);
    // Both are the extended-precision values rounded once to single precision.
    EXPECT_EQ(s, static_cast<float>(std::sin(static_cast<long double>(angle)))) << angle;
    EXPECT_EQ(c, static_cast<float>(std::cos(static_cast<long double>(angle)))) << angle;
  }
}

TEST(NumbersTest, ParseInt) {
  EXPECT_EQ(quelt::ParseInt("no digits here"), -1);
  EXPECT_EQ(quelt::ParseInt(""), -1);
  EXPECT_EQ(quelt::ParseInt("a-12b"), -12);
  EXPECT_EQ(quelt::ParseInt("-x"), 0);
  EXPECT_EQ(quelt::ParseInt("x: 007"), 7);
  EXPECT_EQ(quelt::ParseInt("2147483647"), INT32_MAX);
  EXPECT_EQ(quelt::ParseInt("-2147483648"), INT32_MIN);
  // Longer numbers wrap like the 32-bit arithmetic (no undefined overflow):
  // 99999999999 mod 2^32 = 1215752191; 2147483648 wraps to the most negative value.
  EXPECT_EQ(quelt::ParseInt("99999999999"), 1215752191);
  EXPECT_EQ(quelt::ParseInt("2147483648"), INT32_MIN);
  // At most 32 digits are read.
  EXPECT_EQ(quelt::ParseInt(("1" + std::string(31, '0') + "5").c_str()),
            quelt::ParseInt(("1" + std::string(31, '0')).c_str()));
}

TEST(NumbersTest, FormatIntRadix) {
  char buffer[40];
  EXPECT_EQ(quelt::FormatIntRadix(255, buffer, 16), buffer);
  EXPECT_STREQ(buffer, "ff");
  quelt::FormatIntRadix(-10, buffer, 10);
  EXPECT_STREQ(buffer, "-10");
  quelt::FormatIntRadix(0, buffer, 2);
  EXPECT_STREQ(buffer, "0");
  quelt::FormatIntRadix(INT32_MIN, buffer, 10);
  EXPECT_STREQ(buffer, "-2147483648");
  quelt::FormatIntRadix(INT32_MIN, buffer, 2);
  EXPECT_STREQ(buffer, ("-1" + std::string(31, '0')).c_str());
  quelt::FormatIntRadix(INT32_MAX, buffer, 36);
  EXPECT_STREQ(buffer, "zik0zj");
  for (int radix : {-1, 0, 1, 37, 100}) {
    std::strcpy(buffer, "old");
    EXPECT_EQ(quelt::FormatIntRadix(42, buffer, radix), nullptr) << radix;
    EXPECT_STREQ(buffer, "");
  }
}

TEST(NumbersTest, Multiply64To128AndDivide128By64) {
  uint32_t product[4];
  quelt::Multiply64To128(~0ull, ~0ull, product);  // (2^64-1)^2 = 2^128 - 2^65 + 1
  EXPECT_EQ(product[0], 1u);
  EXPECT_EQ(product[1], 0u);
  EXPECT_EQ(product[2], 0xFFFFFFFEu);
  EXPECT_EQ(product[3], 0xFFFFFFFFu);
  EXPECT_EQ(quelt::Divide128By64(product, ~0ull), ~0ull);

  quelt::Multiply64To128(0x123456789ABCDEFull, 1000000, product);
  EXPECT_EQ(quelt::Divide128By64(product, 1000000), 0x123456789ABCDEFull);
  EXPECT_EQ(quelt::Divide128By64(product, 3579545), 0x123456789ABCDEFull / 3579545 * 1000000 +
                                                       (0x123456789ABCDEFull % 3579545) * 1000000 / 3579545);
  // A deterministic sweep: (a x b + r) / b == a for r < b.
  uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 2000; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const uint64_t a = x;
    const uint64_t b = ((x * 2654435761ull) >> (i % 60)) | 1;
    quelt::Multiply64To128(a, b, product);
    EXPECT_EQ(quelt::Divide128By64(product, b), a) << a << " " << b;
    EXPECT_EQ(product[0] | (static_cast<uint64_t>(product[1]) << 32), a * b);
  }
}

TEST(NumbersTest, FormatToBufferIsBounded) {
  char buffer[16];
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(quelt::FormatToBuffer(buffer, 8, "%d-%s", 12345, "abcdef"), 0);
  EXPECT_STREQ(buffer, "12345-a");
  EXPECT_EQ(buffer[8], 'X');  // nothing written past the capacity
  quelt::FormatToBuffer(buffer, 4, "a\x82\xA0" "b");
  EXPECT_STREQ(buffer, "a\x82\xA0");
  quelt::FormatToBuffer(buffer, 3, "a\x82\xA0" "b");
  EXPECT_STREQ(buffer, "a");  // not half of the two-byte character
  quelt::FormatToBuffer(buffer, sizeof buffer, "%s", "fits");
  EXPECT_STREQ(buffer, "fits");
}

}  // namespace
