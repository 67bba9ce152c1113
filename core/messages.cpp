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

}  // namespace

MessageSink& StandardErrorMessages() {
  static StandardError sink;
  return sink;
}

}  // namespace kestrane
