#include "config/profile_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "core/system.h"


namespace kestrane {
namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::pair<std::size_t, std::size_t> TrimRange(std::string_view s, std::size_t b, std::size_t e) {
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return {b, e};
}

// "[name]" (blanks allowed around and inside the brackets) gives the name.
std::optional<std::string_view> SectionName(std::string_view line) {
  auto [b, e] = TrimRange(line, 0, line.size());
  if (b == e || line[b] != '[') return std::nullopt;
  const std::size_t close = line.find(']', b + 1);
  if (close == std::string_view::npos) return std::nullopt;
  auto [nb, ne] = TrimRange(line, b + 1, close);
  return line.substr(nb, ne - nb);
}

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The index's name of a key: section and key are compared without regard to case, and a key
// never holds a "=", so the last "=" separates the two.
std::string IndexName(std::string_view section, std::string_view key) {
  return UpperCase(section) + "=" + UpperCase(key);
}

}  // namespace

ProfileFile::ProfileFile(std::string_view content) {
  if (content.substr(0, 3) == "\xEF\xBB\xBF") {
    bom_ = "\xEF\xBB\xBF";
    content.remove_prefix(3);
  }
  std::size_t pos = 0;
  while (pos < content.size()) {
    const std::size_t nl = content.find('\n', pos);
    if (nl == std::string_view::npos) {
      lines_.push_back({std::string(content.substr(pos)), ""});
      break;
    }
    std::size_t end = nl;
    if (end > pos && content[end - 1] == '\r') --end;
    lines_.push_back({std::string(content.substr(pos, end - pos)),
                      std::string(content.substr(end, nl + 1 - end))});
    pos = nl + 1;
  }
}

std::optional<ProfileFile::Found> ProfileFile::Find(std::string_view section,
                                                    std::string_view key) const {
  const Index& index = LineIndex();
  const auto it = index.keys.find(IndexName(section, key));
  if (it == index.keys.end()) return std::nullopt;
  const std::string& text = it->second->text;
  auto [b, e] = TrimRange(text, 0, text.size());
  const std::size_t eq = text.find('=', b);
  auto [kb, ke] = TrimRange(text, b, eq);
  auto [vb, ve] = TrimRange(text, eq + 1, text.size());
  return Found{it->second, kb, ke, vb, ve};
}

// Of each key the first line in any section of that name counts; a new key goes after the last
// line that is not blank of the first section of its name.
const ProfileFile::Index& ProfileFile::LineIndex() const {
  if (index_.value) return *index_.value;
  Index index;
  std::string section;
  bool in_section = false;
  bool first_of_name = false;
  for (auto line = lines_.cbegin(); line != lines_.cend(); ++line) {
    const std::string& text = line->text;
    if (auto name = SectionName(text)) {
      section = UpperCase(*name);
      in_section = true;
      first_of_name = index.section_last.emplace(section, line).second;
      continue;
    }
    if (!in_section) continue;
    auto [b, e] = TrimRange(text, 0, text.size());
    if (b == e) continue;
    if (first_of_name) index.section_last[section] = line;
    if (text[b] == ';') continue;
    const std::size_t eq = text.find('=', b);
    if (eq == std::string::npos) continue;
    auto [kb, ke] = TrimRange(text, b, eq);
    index.keys.emplace(section + "=" + UpperCase(std::string_view(text).substr(kb, ke - kb)),
                       line);
  }
  index_.value = std::move(index);
  return *index_.value;
}

bool ProfileFile::EveryLineUnderstood() const {
  if (bom_.find('\0') != std::string::npos) return false;
  for (const Line& line : lines_) {
    const std::string& text = line.text;
    if (text.find('\0') != std::string::npos) return false;
    auto [b, e] = TrimRange(text, 0, text.size());
    if (b == e || text[b] == ';' || text[b] == '#' || SectionName(text)) continue;
    const std::size_t eq = text.find('=', b);
    if (eq == std::string::npos) return false;
    auto [vb, ve] = TrimRange(text, eq + 1, text.size());
    if (ve - vb > kMaxValueLength) return false;
  }
  return true;
}

std::optional<std::string> ProfileFile::Read(std::string_view section,
                                             std::string_view key) const {
  auto found = Find(section, key);
  if (!found) return std::nullopt;
  const std::string& text = found->line->text;
  return ValueText(std::string_view(text).substr(found->value_begin,
                                                 found->value_end - found->value_begin));
}

std::string ProfileFile::NewLineText() const {
  for (const Line& line : lines_) {
    if (!line.eol.empty()) return line.eol;
  }
#ifdef _WIN32
  return "\r\n";
#else
  return "\n";
#endif
}

void ProfileFile::Write(std::string_view section, std::string_view key,
                        std::string_view raw_value) {
  // A value is one line: a line break inside it would spill into the next key.
  std::string value(raw_value);
  std::replace(value.begin(), value.end(), '\r', ' ');
  std::replace(value.begin(), value.end(), '\n', ' ');
  if (auto found = Find(section, key)) {
    // Rewrite the line as key=value, keeping the key as the user spelled it.
    Line& line = *lines_.erase(found->line, found->line);  // the same line, to change
    line.text = line.text.substr(found->key_begin, found->key_end - found->key_begin) + "=" +
                value;
    return;
  }
  const std::string eol = NewLineText();
  std::string entry = std::string(key) + "=" + value;
  Index& index = *index_.value;  // built by Find above
  const std::string section_name = UpperCase(section);
  const std::string key_name = IndexName(section, key);

  if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = eol;
  if (auto last = index.section_last.find(section_name); last != index.section_last.end()) {
    // The end of the first section of that name: after its last line that is not blank.
    const LineRef added = lines_.insert(std::next(last->second), {entry, eol});
    last->second = added;
    index.keys.emplace(key_name, added);
    return;
  }
  // A new section goes to the end of the file, after a blank line.
  if (!lines_.empty()) {
    auto [b, e] = TrimRange(lines_.back().text, 0, lines_.back().text.size());
    if (b != e) lines_.push_back({"", eol});
  }
  std::string header;
  header.reserve(section.size() + 2);
  header.append(1, '[').append(section).append(1, ']');
  lines_.push_back({std::move(header), eol});
  lines_.push_back({entry, eol});
  index.section_last[section_name] = std::prev(lines_.end());
  index.keys.emplace(key_name, std::prev(lines_.end()));
}

std::string ProfileFile::ValueText(std::string_view raw) {
  auto [b, e] = TrimRange(raw, 0, raw.size());
  return std::string(raw.substr(b, std::min(e - b, kMaxValueLength)));
}

std::string ProfileFile::Text() const {
  std::string out = bom_;
  for (const Line& line : lines_) {
    out += line.text;
    out += line.eol;
  }
  return out;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  FileContent read = ReadRegularFile(path, kLargestProfileFile);
  if (read.outcome != ReadOutcome::Ok) return std::nullopt;
  return std::move(read.bytes);
}

}  // namespace kestrane
