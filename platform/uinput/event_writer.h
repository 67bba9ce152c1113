#pragma once

// The seam between Kestrane's virtual input devices and the kernel: a device is described by a
// UinputDeviceSetup, created by a UinputOpener and fed through an EventWriter. The real opener
// creates a uinput device through libevdev; tests hand in an opener that records the events.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/messages.h"

namespace kestrane {

struct InputEvent {
  std::uint16_t type, code;
  std::int32_t value;
};

// EV_SYN and SYN_REPORT of <linux/input-event-codes.h>, which this header cannot include: the
// tests' recording writer builds on Windows too.
inline constexpr std::uint16_t kEvSyn = 0, kSynReport = 0;

// Writes one input event (type, code, value as in struct input_event) to a device.
class EventWriter {
 public:
  virtual ~EventWriter() = default;
  // 0 on success, else a negative errno.
  virtual int Write(std::uint16_t type, std::uint16_t code, std::int32_t value) = 0;
  // The events and their SYN_REPORT; the real device writes them in one call, so a report costs
  // one system call, not one per event.
  virtual int WriteReport(std::span<const InputEvent> events) {
    int rc = 0;
    for (const InputEvent& e : events) {
      if (rc == 0) rc = Write(e.type, e.code, e.value);
    }
    return rc == 0 ? Write(kEvSyn, kSynReport, 0) : rc;
  }
};

struct UinputAxis {
  std::uint16_t code = 0;  // ABS_*
  std::int32_t minimum = 0;
  std::int32_t maximum = 0;
  std::int32_t fuzz = 0;
  std::int32_t flat = 0;
  std::int32_t resolution = 0;
};

// Kestrane's own vendor id for its virtual devices: in none of the USB id list (usb.ids), SDL's
// and systemd's device tables or Wine's, so no game takes them for a real unit's, and not zero,
// which some games skip. docs/architecture.md, "Virtual devices".
inline constexpr std::uint16_t kVirtualVendor = 0x4B45;
inline constexpr std::uint16_t kVirtualKeyboardProduct = 0x0001;
inline constexpr std::uint16_t kVirtualShifterProduct = 0x0002;

// What a virtual device offers: its name and ids, the EV_KEY codes (keys or buttons) and the
// EV_ABS axes it can send.
struct UinputDeviceSetup {
  std::string name;
  std::uint16_t bustype = 0x06;  // BUS_VIRTUAL
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::uint16_t version = 0;
  std::vector<std::uint16_t> keys;
  std::vector<UinputAxis> axes;
};

// Creates the device; on failure returns nullptr and sets `error` to a positive errno.
using UinputOpener =
    std::function<std::unique_ptr<EventWriter>(const UinputDeviceSetup& setup, int& error)>;

// The real thing: a uinput device made with libevdev, destroyed with the writer. The first event
// waits until the device is 100 ms old, so that the desktop has picked the new device up.
std::unique_ptr<EventWriter> OpenUinputDevice(const UinputDeviceSetup& setup, int& error);

// Why a uinput device could not be created, in words, with what to do about it.
std::string UinputErrorText(int error);

// A device's writer sending whole reports: the events in order, then SYN_REPORT, stopping at the
// first failed write. The first failure is told once, as `failure` followed by the reason.
class EventReports {
 public:
  EventReports(std::unique_ptr<EventWriter> writer, MessageSink& report, std::string failure)
      : writer_(std::move(writer)), report_(report), failure_(std::move(failure)) {}

  void Send(std::initializer_list<InputEvent> events);

 private:
  std::unique_ptr<EventWriter> writer_;
  MessageSink& report_;
  std::string failure_;
  bool failed_ = false;
};

}  // namespace kestrane
