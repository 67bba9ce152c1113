#include "config/setting_number.h"

#include <gtest/gtest.h>

namespace kestrane {
namespace {

TEST(ParseSettingNumber, AcceptedForms) {
  EXPECT_EQ(ParseSettingNumber("21298"), 21298);
  EXPECT_EQ(ParseSettingNumber("  -5"), -5);
  EXPECT_EQ(ParseSettingNumber("+7"), 7);
  EXPECT_EQ(ParseSettingNumber("007"), 7);
  EXPECT_EQ(ParseSettingNumber("0x10"), 16);
  EXPECT_EQ(ParseSettingNumber(" 0x10"), 16);
  EXPECT_EQ(ParseSettingNumber("0XfF"), 255);
  EXPECT_EQ(ParseSettingNumber("$1A"), 26);
  EXPECT_EQ(ParseSettingNumber("x1a"), 26);
  EXPECT_EQ(ParseSettingNumber("-$10"), -16);
  EXPECT_EQ(ParseSettingNumber("2147483647"), 2147483647);
  EXPECT_EQ(ParseSettingNumber("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseSettingNumber("-0x80000000"), INT32_MIN);
  EXPECT_EQ(ParseSettingNumber("0x7FFFFFFF"), INT32_MAX);
}

TEST(ParseSettingNumber, NotANumber) {
  for (const char* bad : {"", " ", "abc", "12a", "1 2", "+", "-", "0x", "$", "x", "2147483648",
                          "-2147483649", "0x80000000", "0xFFFFFFFF", "99999999999999999999",
                          "--1", "1.5", "1e3", "0x-1", "\t"}) {
    EXPECT_FALSE(ParseSettingNumber(bad).has_value()) << "'" << bad << "'";
  }
}

}  // namespace
}  // namespace kestrane
