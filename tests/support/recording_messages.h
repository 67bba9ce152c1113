#pragma once

// The tests' messages: each text shown, in order, with its kind.

#include <string>
#include <vector>

#include "core/messages.h"

namespace kestrane::test {

class RecordingMessages final : public MessageSink {
 public:
  RecordingMessages() : shown(own_) {}
  // Puts the texts into `into` instead.
  explicit RecordingMessages(std::vector<std::string>& into) : shown(into) {}

  void ShowMessage(MessageKind kind, const std::string& text) override {
    shown.push_back(text);
    kinds.push_back(kind);
  }

  std::vector<std::string>& shown;
  std::vector<MessageKind> kinds;

 private:
  std::vector<std::string> own_;
};

}  // namespace kestrane::test
