#pragma once

// Stands in for a uinput device: keeps every event written; can fail every write with an errno,
// and can mark its own end (the device going away) with an event of type 0xFFFF.

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "platform/uinput/event_writer.h"

namespace kestrane::test {

struct Event {
  std::uint16_t type;
  std::uint16_t code;
  std::int32_t value;
  friend bool operator==(const Event&, const Event&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Event& e) {
    return os << "{" << e.type << "," << e.code << "," << e.value << "}";
  }
};

class RecordingWriter : public EventWriter {
 public:
  static constexpr Event kDestroyed{0xFFFF, 0, 0};

  explicit RecordingWriter(std::vector<Event>& log, int fail = 0, bool mark_end = false)
      : log_(log), fail_(fail), mark_end_(mark_end) {}
  ~RecordingWriter() override {
    if (mark_end_) log_.push_back(kDestroyed);
  }
  int Write(std::uint16_t type, std::uint16_t code, std::int32_t value) override {
    if (fail_ != 0) return -fail_;
    log_.push_back({type, code, value});
    return 0;
  }

 private:
  std::vector<Event>& log_;
  int fail_;
  bool mark_end_;
};

// A device opener that fails as the kernel does, with `error` (ENOENT, EACCES, ...).
inline UinputOpener FailingOpener(int error) {
  return [error](const UinputDeviceSetup&, int& err) -> std::unique_ptr<EventWriter> {
    err = error;
    return nullptr;
  };
}

}  // namespace kestrane::test
