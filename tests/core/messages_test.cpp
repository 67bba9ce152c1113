#include "core/messages.h"

#include <gtest/gtest.h>

namespace kestrane {
namespace {

TEST(EscapeControls, ShowsWhatCouldSteerATerminal) {
  struct Row {
    const char* what;
    std::string_view in;
    const char* out;
  };
  using namespace std::string_view_literals;
  const Row rows[] = {
      {"plain text", "JOY_GEAR_WIDTH=abc", "JOY_GEAR_WIDTH=abc"},
      {"Unicode path", "/home/ana/\xe8\xa8\xad\xe5\xae\x9a/Kestrane.ini",
       "/home/ana/\xe8\xa8\xad\xe5\xae\x9a/Kestrane.ini"},
      {"Windows path", "C:\\Users\\ana\\Kestrane.ini", "C:\\Users\\ana\\Kestrane.ini"},
      {"colour sequence", "\x1b[31mred", "\\x1b[31mred"},
      {"title sequence", "\x1b]0;x\x07", "\\x1b]0;x\\x07"},
      {"line breaks, tab, DEL", "a\nb\rc\td\x7f", "a\\x0ab\\x0dc\\x09d\\x7f"},
      {"zero byte", "a\0b"sv, "a\\x00b"},
      {"C1 CSI as UTF-8", "\xc2\x9b" "2J", "\\u009b2J"},
      {"right-to-left override", "abc\xe2\x80\xae" "def", "abc\\u202edef"},
      {"lone byte", "a\xff" "b", "a\\xffb"},
      {"8-bit CSI byte", "\x9b" "2J", "\\x9b2J"},
      {"cut sequence", "\xe8\xa8", "\\xe8\\xa8"},
      {"overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
      {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"four-byte character kept", "\xf0\x9f\x9a\x97", "\xf0\x9f\x9a\x97"},
  };
  for (const Row& row : rows) EXPECT_EQ(EscapeControls(row.in), row.out) << row.what;
}

}  // namespace
}  // namespace kestrane
