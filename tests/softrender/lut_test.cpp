// The blend lookup tables equal their formulas over their whole range.
#include <gtest/gtest.h>

#include "softrender/memimg.h"

namespace {

class LookupTables : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { quelt::InitMemImgTables(); }
};

TEST_F(LookupTables, ProductTableIsTruncatedProductOver255) {
  for (int64_t a = 0; a < 256; ++a) {
    for (int64_t b = 0; b < 256; ++b) ASSERT_EQ(quelt::ProductTable[a][b], a * b / 255) << a << "," << b;
  }
  EXPECT_EQ(quelt::ProductTable[255][255], 255);
  EXPECT_EQ(quelt::ProductTable[128][255], 128);
}

TEST_F(LookupTables, SignedProductTableTruncatesTowardZero) {
  for (int64_t i = 0; i < 256; ++i) {
    const int32_t* row = quelt::SignedProductRow(static_cast<int32_t>(i));
    for (int64_t d = -255; d <= 255; ++d) {
      const int64_t exact = i * d;
      const int64_t want = exact >= 0 ? exact / 255 : -((-exact) / 255);
      ASSERT_EQ(row[d], want) << i << "," << d;
    }
  }
  EXPECT_EQ(quelt::SignedProductRow(128)[-255], -128);
  EXPECT_EQ(quelt::SignedProductRow(128)[-1], 0);  // not -1: truncation, not floor
}

TEST_F(LookupTables, Blend6TableMixesTwoSixBitFields) {
  for (int64_t j = 0; j < 64; ++j) {
    for (int64_t a = 0; a < 64; ++a) {
      for (int64_t b = 0; b < 64; ++b) {
        ASSERT_EQ(quelt::Blend6Table[j][a][b], (a * j + b * (63 - j)) / 63) << j << "," << a << "," << b;
      }
    }
  }
  EXPECT_EQ(quelt::Blend6Table[63][17][40], 17);
  EXPECT_EQ(quelt::Blend6Table[0][17][40], 40);
}

TEST(BorderTable, EqualsItsFormulaForEveryBorderAndRange) {
  for (int64_t border = 0; border < 256; ++border) {
    for (int64_t range = 0; range < 256; ++range) {
      quelt::BuildBorderTable(static_cast<int32_t>(border), static_cast<int32_t>(range));
      const int64_t r = range + 1;
      const int64_t shift = border * (65536 / r + 256) / 256;
      for (int64_t i = 0; i < 256; ++i) {
        int64_t want = 256 * i / r + 256 - shift;
        want = want < 0 ? 0 : want > 255 ? 255 : want;
        ASSERT_EQ(quelt::BorderTable[i], want) << border << "," << range << "," << i;
      }
    }
  }
}

TEST(BorderTable, WorkedCases) {
  quelt::BuildBorderTable(128, 255);  // b' = 256: the identity
  for (int i = 0; i < 256; ++i) EXPECT_EQ(quelt::BorderTable[i], i);
  quelt::BuildBorderTable(0, 77);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(quelt::BorderTable[i], 255);
  quelt::BuildBorderTable(255, 255);  // b' = 510
  EXPECT_EQ(quelt::BorderTable[254], 0);
  EXPECT_EQ(quelt::BorderTable[255], 1);
  quelt::BuildBorderTable(128, 0);  // a step at 128
  EXPECT_EQ(quelt::BorderTable[127], 0);
  EXPECT_EQ(quelt::BorderTable[128], 128);
  EXPECT_EQ(quelt::BorderTable[129], 255);
}

TEST(BorderTable, OutOfRangeArgumentsAreHeldToTheirRange) {
  quelt::BuildBorderTable(-5, -1);  // range -1 would divide by zero
  for (int i = 0; i < 256; ++i) EXPECT_EQ(quelt::BorderTable[i], 255);
  quelt::BuildBorderTable(1000, 1000);
  EXPECT_EQ(quelt::BorderTable[255], 1);
}

}  // namespace
