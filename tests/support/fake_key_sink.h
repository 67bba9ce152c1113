#pragma once

// The tests' keyboard: records every key event and wait in order and counts the key events;
// with a log, each key event also goes there ("key down 49"), so that its order against other
// recorded calls shows.

#include <cstdint>
#include <string>
#include <vector>

#include "core/keystroke_output.h"

namespace kestrane::test {

class FakeKeySink final : public KeySink {
 public:
  struct Event {
    bool is_wait = false;
    KeyCode key{};
    bool down = false;
    std::int32_t ms = 0;
  };

  struct CountOnly {};  // keeps no events, only counts them (benchmarks)

  FakeKeySink() = default;
  explicit FakeKeySink(CountOnly) : record(false) {}
  explicit FakeKeySink(std::vector<std::string>& log) : log_(&log) {}

  void KeyEvent(KeyCode key, bool down) override {
    ++key_events;
    if (!record) return;
    events.push_back({false, key, down, 0});
    if (log_) log_->push_back((down ? "key down " : "key up ") + std::to_string(key.vk));
  }
  void Wait(std::int32_t ms) override {
    if (record) events.push_back({true, {}, false, ms});
  }

  // The events as "+vk#scan" (down), "-vk#scan" (up) and "wMS" (a wait), space-separated.
  std::string Trace() const {
    std::string out;
    for (const Event& e : events) {
      if (!out.empty()) out += ' ';
      out += e.is_wait ? "w" + std::to_string(e.ms)
                       : (e.down ? "+" : "-") + std::to_string(e.key.vk) + "#" +
                             std::to_string(e.key.scan);
    }
    return out;
  }

  std::vector<Event> events;
  long key_events = 0;
  bool record = true;

 private:
  std::vector<std::string>* log_ = nullptr;
};

}  // namespace kestrane::test
