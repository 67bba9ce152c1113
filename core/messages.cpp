#include "core/messages.h"

#include <cstdio>
#include <iostream>

namespace kestrane {
namespace {

class StandardError final : public MessageSink {
 public:
  void ShowMessage(MessageKind, const std::string& text) override {
    std::cerr << "Kestrane: " << text << "\n";
  }
};

class ErrorLog final : public LogSink {
 public:
  void Log(const std::string& text) override { std::cerr << "Kestrane: " << text << "\n"; }
};

}  // namespace

LogSink& StandardErrorLog() {
  static ErrorLog log;
  return log;
}

MessageSink& StandardErrorMessages() {
  static StandardError sink;
  return sink;
}

namespace {

// The length of the well-formed UTF-8 sequence at the start of `s` and its code point; 0 when the
// first byte does not begin one (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8Sequence(std::string_view s, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1Fu, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0Fu, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(i) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// C1 controls, and the marks that reorder or isolate the text after them.
bool HiddenCodePoint(char32_t code) {
  return (code >= 0x80 && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069) || code == 0x200E || code == 0x200F ||
         code == 0x061C;
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char escape[12];
  while (!text.empty()) {
    const auto lead = static_cast<unsigned char>(text.front());
    std::size_t length = 1;
    if (lead >= 0x20 && lead < 0x7F) {
      out += text.front();
    } else if (lead < 0x80) {
      std::snprintf(escape, sizeof escape, "\\x%02x", lead);  // C0 controls and DEL
      out += escape;
    } else if (char32_t code = 0; (length = Utf8Sequence(text, code)) == 0) {
      length = 1;
      std::snprintf(escape, sizeof escape, "\\x%02x", lead);  // not UTF-8
      out += escape;
    } else if (HiddenCodePoint(code)) {
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
      out += escape;
    } else {
      out += text.substr(0, length);
    }
    text.remove_prefix(length);
  }
  return out;
}

}  // namespace kestrane
