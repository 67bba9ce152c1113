#include "tools/json_writer.h"

#include <cstdio>

namespace kestrane {
namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = 0;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  const auto c1 = static_cast<unsigned char>(s[i + 1]);
  if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) ||
      (c == 0xF4 && c1 > 0x8F)) {
    return 0;
  }
  return n;
}

}  // namespace

void JsonWriter::Separate() {
  if (need_comma_) out_ += ',';
  need_comma_ = true;
}

JsonWriter& JsonWriter::BeginObject() {
  Separate();
  out_ += '{';
  need_comma_ = false;
  return *this;
}
JsonWriter& JsonWriter::EndObject() {
  out_ += '}';
  need_comma_ = true;
  return *this;
}
JsonWriter& JsonWriter::BeginArray() {
  Separate();
  out_ += '[';
  need_comma_ = false;
  return *this;
}
JsonWriter& JsonWriter::EndArray() {
  out_ += ']';
  need_comma_ = true;
  return *this;
}
JsonWriter& JsonWriter::Key(std::string_view name) {
  String(name);
  out_ += ':';
  need_comma_ = false;
  return *this;
}
JsonWriter& JsonWriter::Int(std::int64_t v) {
  Separate();
  out_ += std::to_string(v);
  return *this;
}
JsonWriter& JsonWriter::Bool(bool v) {
  Separate();
  out_ += v ? "true" : "false";
  return *this;
}
JsonWriter& JsonWriter::Null() {
  Separate();
  out_ += "null";
  return *this;
}
JsonWriter& JsonWriter::String(std::string_view v) {
  Separate();
  out_ += '"';
  for (std::size_t i = 0; i < v.size();) {
    const auto c = static_cast<unsigned char>(v[i]);
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += static_cast<char>(c);
      ++i;
    } else if (c >= 0x20 && c < 0x7F) {
      out_ += static_cast<char>(c);
      ++i;
    } else if (std::size_t n = c >= 0x80 ? Utf8Length(v, i) : 0; n > 0) {
      out_.append(v.substr(i, n));
      i += n;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out_ += buf;
      ++i;
    }
  }
  out_ += '"';
  return *this;
}

}  // namespace kestrane
