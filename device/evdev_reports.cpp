#include "device/evdev_reports.h"

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <system_error>
#include <utility>

namespace kestrane {

struct EvdevReports::Shared {
  ~Shared() {
    if (fd >= 0) ::close(fd);  // by the last of the reader and its owner: never closed early
  }
  int fd = -1;
  std::mutex mutex;
  std::condition_variable ended_changed;
  std::function<void()> reported;  // cleared when the owner stops
  bool stopping = false;
  bool ended = false;
  std::atomic<std::uint64_t> reports{0};
  std::atomic<bool> gone{false};
  std::atomic<bool> failed{false};  // the reader ended on an error: nothing tells of reports
};

namespace {

void Tell(EvdevReports::Shared& s) {
  std::lock_guard lock(s.mutex);
  if (!s.stopping && s.reported) s.reported();
}

void Read(const std::shared_ptr<EvdevReports::Shared>& s) {
  input_event events[64];
  for (;;) {
    const ssize_t n = ::read(s->fd, events, sizeof events);
    if (n > 0) {
      // evdev hands out whole reports (up to SYN_REPORT): one read, one or more reports.
      s->reports.fetch_add(1);
      Tell(*s);
      continue;
    }
    const int error = n < 0 ? errno : EIO;
    {
      std::lock_guard lock(s->mutex);
      if (s->stopping) break;
    }
    if (error == EINTR) continue;
    if (error == EAGAIN) {
      // The file does not block after all: wait for it to be readable (a second at most, so
      // that a node that never says so is still read now and then).
      pollfd p{s->fd, POLLIN, 0};
      ::poll(&p, 1, 1000);
      continue;
    }
    if (error == ENODEV) {
      s->gone = true;
    } else {
      s->failed = true;
    }
    s->reports.fetch_add(1);
    Tell(*s);
    break;
  }
  std::lock_guard lock(s->mutex);
  s->ended = true;
  s->ended_changed.notify_all();
}

}  // namespace

EvdevReports::EvdevReports(const std::string& node, std::function<void()> reported)
    : shared_(std::make_shared<Shared>()) {
  shared_->reported = std::move(reported);
  // Blocking: the reader sleeps in read() until the stick reports.
  shared_->fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
  if (shared_->fd < 0) return;
  // Time stamps on the monotonic clock, the clock of Kestrane's own timing, rather than the wall
  // clock, which jumps.
  int clock = CLOCK_MONOTONIC;
  ::ioctl(shared_->fd, EVIOCSCLOCKID, &clock);
  try {
    reader_ = std::thread(Read, shared_);
  } catch (const std::system_error&) {
    shared_->failed = true;
  }
}

EvdevReports::~EvdevReports() {
  if (!reader_.joinable()) return;
  bool ended = false;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    shared_->reported = nullptr;
    ended = shared_->ended;
  }
  // Revoking our own file ends the reader's wait (the read answers ENODEV); other files on the
  // stick, the input library's among them, are untouched.
  if (!ended) ::ioctl(shared_->fd, EVIOCREVOKE, nullptr);
  std::unique_lock lock(shared_->mutex);
  if (shared_->ended_changed.wait_for(lock, std::chrono::milliseconds(kEvdevStopWaitMs),
                                      [&] { return shared_->ended; })) {
    lock.unlock();
    reader_.join();
  } else {
    lock.unlock();
    reader_.detach();  // it holds the file and ends at its next wake-up, calling nothing
  }
}

bool EvdevReports::Watching() const {
  return reader_.joinable() && !shared_->failed;
}

std::uint64_t EvdevReports::Reports() const {
  return shared_->reports.load();
}

bool EvdevReports::Gone() const {
  return shared_->gone.load();
}

}  // namespace kestrane
