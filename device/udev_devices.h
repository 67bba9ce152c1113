#pragma once

// Linux: word of input devices coming and going, from udev's monitor, on a thread that sleeps
// until udev says something. With no stick open, nothing polls.

#include <functional>
#include <thread>

struct udev;
struct udev_monitor;

namespace kestrane {

class UdevDeviceWatch {
 public:
  // Starts listening; Watching() is false when udev's monitor could not be had.
  // `changed` is called on the watcher's thread after udev told of input devices.
  explicit UdevDeviceWatch(std::function<void()> changed);
  UdevDeviceWatch(const UdevDeviceWatch&) = delete;
  UdevDeviceWatch& operator=(const UdevDeviceWatch&) = delete;
  ~UdevDeviceWatch();  // wakes the watcher and waits for it: nothing is called afterwards

  bool Watching() const { return watcher_.joinable(); }

 private:
  void Watch();

  std::function<void()> changed_;
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  int stop_fd_ = -1;
  std::thread watcher_;
};

}  // namespace kestrane
