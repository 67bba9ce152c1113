#include "tools/trace.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace kestrane {
namespace {

TEST(TraceLineReader, LfCrLfAndALoneCrEndALine) {
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\rc", {"a", "b", "c"}},
      {"a\r\rb", {"a", "", "b"}},
      {"a\n\r\nb", {"a", "", "b"}},
      {"", {}},
      {"\n", {""}},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    TraceLineReader reader(in);
    std::vector<std::string> got;
    for (std::string line; reader.Next(line);) got.push_back(line);
    EXPECT_EQ(got, c.lines) << c.text;
  }
}

TEST(ParseTraceLine, KindsAndDefaults) {
  EXPECT_EQ(ParseTraceLine("").kind, TraceLineKind::Skip);
  EXPECT_EQ(ParseTraceLine("  \t\r").kind, TraceLineKind::Skip);
  EXPECT_EQ(ParseTraceLine("  # 1 2 3").kind, TraceLineKind::Skip);
  EXPECT_EQ(ParseTraceLine("  fail \r").kind, TraceLineKind::Fail);
  const TraceLine t = ParseTraceLine("100 -200");
  ASSERT_EQ(t.kind, TraceLineKind::Sample);
  EXPECT_EQ(t.sample.X, 100);
  EXPECT_EQ(t.sample.Y, -200);
  EXPECT_EQ(t.sample.Z, 32767);
  EXPECT_EQ(t.sample.Slider[1], 32767);
  EXPECT_EQ(t.sample.Buttons[0], 0);
}

TEST(ParseTraceLine, AllFieldsAndButtonMask) {
  const TraceLine t = ParseTraceLine("1 2 3 4 5 6 7 8 0x80000001");
  ASSERT_EQ(t.kind, TraceLineKind::Sample);
  EXPECT_EQ(t.sample.Rz, 6);
  EXPECT_EQ(t.sample.Slider[0], 7);
  EXPECT_EQ(t.sample.Slider[1], 8);
  EXPECT_NE(t.sample.Buttons[0], 0);
  EXPECT_NE(t.sample.Buttons[31], 0);
  EXPECT_EQ(t.sample.Buttons[1], 0);
  EXPECT_EQ(ParseTraceLine("1 2 3 4 5 6 7 8 5").sample.Buttons[2], 0x80);
  EXPECT_EQ(ParseTraceLine("-2147483648 2147483647").kind, TraceLineKind::Sample);
  EXPECT_EQ(ParseTraceLine("1 2 3 4 5 6 7 8 4294967295").kind, TraceLineKind::Sample);
}

TEST(ParseTraceLine, Errors) {
  for (const char* bad :
       {"abc", "1 2 x", "1 2 3 4 5 6 7 8 9 10", "2147483648", "-2147483649", "1 2 3 4 5 6 7 8 -1",
        "1 2 3 4 5 6 7 8 4294967296", "1 2 3 4 5 6 7 8 0x100000000", "fail 1", "1.5", "0x10"}) {
    EXPECT_EQ(ParseTraceLine(bad).kind, TraceLineKind::Bad) << bad;
  }
}

TEST(FormatTraceLine, RoundTrips) {
  StickSample s;
  s.X = -5;
  s.Rz = 70000;
  s.Buttons[3] = 1;
  s.Buttons[31] = 0x80;
  const TraceLine back = ParseTraceLine(FormatTraceLine(s));
  ASSERT_EQ(back.kind, TraceLineKind::Sample);
  EXPECT_EQ(FormatTraceLine(back.sample), FormatTraceLine(s));
  EXPECT_EQ(back.sample.X, -5);
  EXPECT_NE(back.sample.Buttons[31], 0);
}

}  // namespace
}  // namespace kestrane
