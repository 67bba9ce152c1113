#pragma once

#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kestrane {

// A private-profile ("INI") text file held in memory and edited line by line: everything the
// user wrote (comments, blank lines, unknown keys, odd spacing, line endings) stays as it was, a
// written key changes only its own line, and a new key goes to the end of its section. Section
// and key names compare without regard to case; a value is the text after the first "=",
// without surrounding blanks. Of duplicate keys the first one counts.
class ProfileFile {
 public:
  // At most this many characters of a value are seen by a read.
  static constexpr std::size_t kMaxValueLength = 2047;

  ProfileFile() = default;
  explicit ProfileFile(std::string_view content);

  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  void Write(std::string_view section, std::string_view key, std::string_view value);

  std::string Text() const;

  // True when every line is blank, a comment (";" or "#"), a section header or a key=value line
  // whose value is at most kMaxValueLength long, and the text holds no zero byte: a file Kestrane
  // reads completely.
  bool EveryLineUnderstood() const;

  // A value text as a read returns it: without surrounding blanks, at most kMaxValueLength long.
  static std::string ValueText(std::string_view raw);

 private:
  struct Line {
    std::string text;
    std::string eol;  // "\n", "\r\n" or empty for a last line without one
  };
  using LineRef = std::list<Line>::const_iterator;
  struct Found {
    LineRef line;
    std::size_t key_begin, key_end, value_begin, value_end;
  };

  // Where keys are and where a new key of a section goes, found in one pass over the lines on the
  // first lookup and kept up to date by writes, so that a long file is not read once per key.
  // The lines are a list: a new line moves no other, and the index stays valid.
  struct Index {
    std::unordered_map<std::string, LineRef> keys;  // "SECTION=KEY" (upper case)
    // The last line that is not blank (or the header) of the first section of a name.
    std::unordered_map<std::string, LineRef> section_last;
  };
  // A copy of the file builds its own index.
  struct LazyIndex {
    LazyIndex() = default;
    LazyIndex(const LazyIndex&) {}
    LazyIndex& operator=(const LazyIndex&) {
      value.reset();
      return *this;
    }
    std::optional<Index> value;
  };

  std::optional<Found> Find(std::string_view section, std::string_view key) const;
  const Index& LineIndex() const;
  std::string NewLineText() const;

  std::string bom_;
  std::list<Line> lines_;
  mutable LazyIndex index_;
};

// The largest file ReadWholeFile reads.
inline constexpr std::size_t kLargestProfileFile = 1024 * 1024;

// The whole file's bytes; nullopt when it does not exist, cannot be read, is not a regular file
// or is larger than kLargestProfileFile.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace kestrane
