#pragma once

// The one way Kestrane tells the user something: message boxes in the window program, standard
// error in kestrane-cli and for problems found while typing, a list in the tests.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrane {

enum class MessageKind : std::uint8_t { Information, Error };

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows `text` and returns once it is shown (a modal box: once the user has closed it).
  virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;
};

// "Kestrane: <text>" lines on standard error.
MessageSink& StandardErrorMessages();

// Where problems that were dealt with go (an error a tick swallowed, with its cause): a log for
// whoever looks, never a message box.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void Log(const std::string& text) = 0;
};

// "Kestrane: <text>" lines on standard error.
LogSink& StandardErrorLog();

// `text` (a name, a value, a path the user gave) made safe to echo in a message: control
// characters, bytes that are not UTF-8 and bidirectional overrides become \xHH or \uHHHH, so that
// echoed input cannot steer a terminal or reorder the line. Everything else stays as it is.
std::string EscapeControls(std::string_view text);

}  // namespace kestrane
