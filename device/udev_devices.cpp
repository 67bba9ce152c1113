#include "device/udev_devices.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace kestrane {

UdevDeviceWatch::UdevDeviceWatch(std::function<void()> changed) : changed_(std::move(changed)) {
  udev_ = udev_new();
  if (!udev_) return;
  // "udev": after udev's rules ran, so the node and its permissions are in place.
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (!monitor_ || stop_fd_ < 0) return;
  // Joysticks come as input nodes; some are read through hidraw.
  udev_monitor_filter_add_match_subsystem_devtype(monitor_, "input", nullptr);
  udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr);
  if (udev_monitor_enable_receiving(monitor_) < 0) return;
  try {
    watcher_ = std::thread([this] { Watch(); });
  } catch (const std::system_error&) {
  }
}

UdevDeviceWatch::~UdevDeviceWatch() {
  if (watcher_.joinable()) {
    const std::uint64_t one = 1;
    if (::write(stop_fd_, &one, sizeof one) < 0) {
      // An eventfd write only fails at its counter's limit: it is readable then anyway.
    }
    watcher_.join();
  }
  if (stop_fd_ >= 0) ::close(stop_fd_);
  if (monitor_) udev_monitor_unref(monitor_);
  if (udev_) udev_unref(udev_);
}

void UdevDeviceWatch::Watch() {
  for (;;) {
    pollfd fds[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0 || (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return;
    bool any = false;
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
      udev_device_unref(device);
      any = true;
    }
    if (any && changed_) changed_();
  }
}

}  // namespace kestrane
