#include "runtime/Fpu.h"

#include <gtest/gtest.h>

#include <limits>

#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {

TEST(Fpu, PolicyFaultsRaiseWithTheirMessages) {
  try {
    fpu::Div(1, 0);
    FAIL();
  } catch (const EZeroDivide& e) {
    EXPECT_EQ(e.Message(), test::Sjis("0 による浮動小数点数除算"));
  }
  try {
    fpu::Div(0, 0);
    FAIL();
  } catch (const EInvalidOp& e) {
    EXPECT_EQ(e.Message(), test::Sjis("不正な浮動小数点数演算命令"));
  }
  try {
    fpu::TruncateToInt64(1e30L);
    FAIL();
  } catch (const EInvalidOp&) {
  }
  EXPECT_THROW(fpu::Mul(std::numeric_limits<long double>::max(), 2), EOverflow);
  EXPECT_THROW(fpu::Store(1e300L * 1e300L), EOverflow);
  EXPECT_THROW(fpu::Sub(std::numeric_limits<long double>::infinity(), std::numeric_limits<long double>::infinity()),
               EInvalidOp);
  EXPECT_THROW(fpu::TruncateToInt64(std::numeric_limits<long double>::quiet_NaN()), EInvalidOp);
}

TEST(Fpu, MaskedFaultsGiveTheDefaultResult) {
  EXPECT_EQ(fpu::Mul(std::numeric_limits<long double>::min(), std::numeric_limits<long double>::min()), 0.0L);
  EXPECT_EQ(fpu::Store(1e-320L), 1e-320);  // denormal double
  EXPECT_EQ(fpu::Div(1, 3), 1.0L / 3);
  EXPECT_EQ(fpu::Store(fpu::Div(1, 3)), 1.0 / 3);
}

TEST(Fpu, AFaultLeavesNoPendingStateOrChangedControlWord) {
  for (int i = 0; i < 3; ++i) EXPECT_THROW(fpu::Div(5, 0), EZeroDivide);
  EXPECT_THROW(fpu::TruncateToInt64(-1e300L), EInvalidOp);
  EXPECT_EQ(CurrentFpuControlWord() & ~0x40, kFpuPolicyWord | 0x3F);  // bit 6 is reserved
  EXPECT_EQ(fpu::Add(2, 3), 5.0L);
}

TEST(Fpu, TruncationChopsTowardZeroUnderRoundToNearest) {
  EXPECT_EQ(fpu::TruncateToInt64(668.925L), 668);
  EXPECT_EQ(fpu::TruncateToInt64(-126.86225L), -126);
  EXPECT_EQ(fpu::TruncateToInt64(-0.5L), 0);
  EXPECT_EQ(fpu::TruncateToInt64(9223372036854775807.0L), INT64_MAX);
  EXPECT_EQ(fpu::TruncateToInt64(-9223372036854775808.0L), INT64_MIN);
  EXPECT_THROW(fpu::TruncateToInt64(9223372036854775808.0L), EInvalidOp);
  // The rounding field is restored after the conversion: storing 1 + 3/4 ulp
  // rounds up to the nearest double, where chopping would give 1.
  EXPECT_EQ(fpu::Store(1.0L + 0x1.8p-53L), 1.0 + 0x1p-52);
}

TEST(Fpu, OperationsUseTheFull64BitSignificand) {
  // 2^63 + 1 is exact in extended precision but not in double.
  const long double big = 0x1p63L;
  EXPECT_EQ(fpu::Sub(fpu::Add(big, 1), big), 1.0L);
}

}  // namespace
}  // namespace tw
