#include "config/profile_file.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrane {
namespace {

TEST(ProfileFile, ReadsCaseInsensitivelyTrimmedFirstDuplicate) {
  const ProfileFile f(
      "; comment\r\n[main]\r\n  joy_gear_width =  0x10  \r\nJOY_GEAR_WIDTH=5\r\n"
      "[Keyboard]\r\nSYM_SEQUENCE=\r\nx=a=b\r\n");
  EXPECT_EQ(f.Read("MAIN", "JOY_GEAR_WIDTH"), "0x10");
  EXPECT_EQ(f.Read("KEYBOARD", "sym_sequence"), "");
  EXPECT_EQ(f.Read("KEYBOARD", "X"), "a=b");
  EXPECT_FALSE(f.Read("KEYBOARD", "JOY_GEAR_WIDTH"));
  EXPECT_FALSE(f.Read("OTHER", "X"));
}

TEST(ProfileFile, WritesInPlaceAndKeepsEverythingElse) {
  const std::string text =
      "; my shifter\n[MAIN]\n; the width\njoy_gear_width = 1\n\n[KEYBOARD]\nSYM_TYPE=2\n; end\n";
  ProfileFile f(text);
  f.Write("MAIN", "JOY_GEAR_WIDTH", "16");
  EXPECT_EQ(f.Text(),
            "; my shifter\n[MAIN]\n; the width\njoy_gear_width=16\n\n[KEYBOARD]\nSYM_TYPE=2\n; end\n");
}

TEST(ProfileFile, NewKeyGoesToEndOfItsSectionNewSectionToEndOfFile) {
  ProfileFile f("[MAIN]\r\nA=1\r\n\r\n[KEYBOARD]\r\nB=2");
  f.Write("main", "C", "3");
  f.Write("KEYBOARD", "D", "4");
  f.Write("EXTRA", "E", "5");
  EXPECT_EQ(f.Text(), "[MAIN]\r\nA=1\r\nC=3\r\n\r\n[KEYBOARD]\r\nB=2\r\nD=4\r\n\r\n[EXTRA]\r\nE=5\r\n");
  // A new file takes the system's line ends: CRLF on Windows, where Notepad expects them.
  ProfileFile empty;
  empty.Write("MAIN", "A", "1");
  empty.Write("KEYBOARD", "B", "2");
#ifdef _WIN32
  EXPECT_EQ(empty.Text(), "[MAIN]\r\nA=1\r\n\r\n[KEYBOARD]\r\nB=2\r\n");
#else
  EXPECT_EQ(empty.Text(), "[MAIN]\nA=1\n\n[KEYBOARD]\nB=2\n");
#endif
}

TEST(ProfileFile, ValuesStayOnOneLineAndAreCut) {
  ProfileFile f;
  f.Write("MAIN", "JOYSTICK", "evil\n[KEYBOARD]\r\nSYM_TYPE=9");
  EXPECT_EQ(f.Read("MAIN", "JOYSTICK"), "evil [KEYBOARD]  SYM_TYPE=9");
  EXPECT_FALSE(f.Read("KEYBOARD", "SYM_TYPE"));
  ProfileFile big("[MAIN]\nV=" + std::string(5000, '7') + "\n");
  EXPECT_EQ(big.Read("MAIN", "V")->size(), ProfileFile::kMaxValueLength);
}

TEST(ProfileFile, KeepsByteOrderMarkAndBinaryJunk) {
  using namespace std::string_literals;
  const std::string junk = "\xEF\xBB\xBF[MAIN]\nA=1\n\x01\x02\xff garbage\n"s;
  ProfileFile f(junk);
  EXPECT_EQ(f.Read("MAIN", "A"), "1");
  f.Write("MAIN", "B", "2");
  EXPECT_EQ(f.Text(), "\xEF\xBB\xBF[MAIN]\nA=1\n\x01\x02\xff garbage\nB=2\n"s);
}

}  // namespace
}  // namespace kestrane
