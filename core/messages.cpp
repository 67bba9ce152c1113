#include "core/messages.h"

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

}  // namespace kestrane
