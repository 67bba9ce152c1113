#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>
#include <thread>

#include "platform/uinput/event_writer.h"

namespace kestrane {
namespace {

constexpr std::chrono::milliseconds kSettleTime{100};

class LibevdevWriter final : public EventWriter {
 public:
  LibevdevWriter(libevdev* dev, libevdev_uinput* uidev)
      : dev_(dev), uidev_(uidev), ready_at_(std::chrono::steady_clock::now() + kSettleTime) {}
  LibevdevWriter(const LibevdevWriter&) = delete;
  LibevdevWriter& operator=(const LibevdevWriter&) = delete;
  ~LibevdevWriter() override {
    libevdev_uinput_destroy(uidev_);
    libevdev_free(dev_);
  }

  int Write(std::uint16_t type, std::uint16_t code, std::int32_t value) override {
    Settle();
    return libevdev_uinput_write_event(uidev_, type, code, value);
  }

  int WriteReport(std::span<const InputEvent> events) override {
    if (events.size() > kMostEvents) return EventWriter::WriteReport(events);
    Settle();
    input_event report[kMostEvents + 1] = {};
    std::size_t n = 0;
    for (const InputEvent& e : events) {
      report[n].type = e.type;
      report[n].code = e.code;
      report[n].value = e.value;
      ++n;
    }
    report[n].type = EV_SYN;
    report[n].code = SYN_REPORT;
    ++n;  // the kernel stamps the time
    const ssize_t written = ::write(libevdev_uinput_get_fd(uidev_), report, n * sizeof report[0]);
    if (written < 0) return -errno;
    return static_cast<std::size_t>(written) == n * sizeof report[0] ? 0 : -EIO;
  }

 private:
  // The first event waits until the device is old enough for the desktop to have picked it up.
  void Settle() {
    if (settled_) return;
    std::this_thread::sleep_until(ready_at_);
    settled_ = true;
  }

  static constexpr std::size_t kMostEvents = 8;
  libevdev* dev_;
  libevdev_uinput* uidev_;
  std::chrono::steady_clock::time_point ready_at_;
  bool settled_ = false;
};

}  // namespace

std::unique_ptr<EventWriter> OpenUinputDevice(const UinputDeviceSetup& setup, int& error) {
  libevdev* dev = libevdev_new();
  if (!dev) {
    error = ENOMEM;
    return nullptr;
  }
  libevdev_set_name(dev, setup.name.c_str());
  libevdev_set_id_bustype(dev, setup.bustype);
  libevdev_set_id_vendor(dev, setup.vendor);
  libevdev_set_id_product(dev, setup.product);
  libevdev_set_id_version(dev, setup.version);
  if (!setup.keys.empty()) libevdev_enable_event_type(dev, EV_KEY);
  for (std::uint16_t code : setup.keys) libevdev_enable_event_code(dev, EV_KEY, code, nullptr);
  if (!setup.axes.empty()) libevdev_enable_event_type(dev, EV_ABS);
  for (const UinputAxis& axis : setup.axes) {
    input_absinfo info{};
    info.minimum = axis.minimum;
    info.maximum = axis.maximum;
    info.fuzz = axis.fuzz;
    info.flat = axis.flat;
    info.resolution = axis.resolution;
    libevdev_enable_event_code(dev, EV_ABS, axis.code, &info);
  }

  libevdev_uinput* uidev = nullptr;
  const int rc = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &uidev);
  if (rc != 0) {
    libevdev_free(dev);
    error = -rc;
    return nullptr;
  }
  error = 0;
  return std::make_unique<LibevdevWriter>(dev, uidev);
}

void EventReports::Send(std::initializer_list<InputEvent> events) {
  const int rc = writer_->WriteReport(std::span<const InputEvent>(events.begin(), events.size()));
  if (rc != 0 && !failed_) {
    failed_ = true;
    report_.ShowMessage(MessageKind::Error, failure_ + std::strerror(-rc));
  }
}

std::string UinputErrorText(int error) {
  switch (error) {
    case ENOENT:
      return "/dev/uinput does not exist (the uinput kernel module is not loaded: "
             "sudo modprobe uinput)";
    case ENODEV:
    case ENXIO:
      return "/dev/uinput has no driver behind it (the uinput kernel module is not loaded: "
             "sudo modprobe uinput)";
    case EACCES:
    case EPERM:
      return "no permission to use /dev/uinput (the Kestrane udev rule is not installed, or "
             "you have not logged in again since)";
    default:
      return std::string("cannot create a device on /dev/uinput: ") + std::strerror(error);
  }
}

}  // namespace kestrane
