#include "device/evdev_reports.h"

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <bitset>
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
  std::mutex values_mutex;
  EvdevValues values;  // as of the last whole report
};

namespace {

template <std::size_t N>
std::bitset<N> Bits(const unsigned char (&bytes)[(N + 7) / 8]) {
  std::bitset<N> bits;
  for (std::size_t i = 0; i < N; ++i) bits[i] = (bytes[i / 8] >> (i % 8)) & 1;
  return bits;
}

// The state as the node has it now: after open, and after events were dropped.
void AskValues(int fd, const EvdevCaps& caps, EvdevValues& values) {
  for (std::size_t code = 0; code < ABS_CNT; ++code) {
    input_absinfo info{};
    if (caps.abs[code] && ::ioctl(fd, EVIOCGABS(code), &info) == 0) values.abs[code] = info.value;
  }
  unsigned char keys[(KEY_CNT + 7) / 8] = {};
  if (::ioctl(fd, EVIOCGKEY(sizeof keys), keys) >= 0) values.keys = Bits<KEY_CNT>(keys);
}

void Tell(EvdevReports::Shared& s) {
  std::lock_guard lock(s.mutex);
  if (!s.stopping && s.reported) s.reported();
}

void Read(const std::shared_ptr<EvdevReports::Shared>& s, const EvdevCaps& caps) {
  input_event events[64];
  EvdevValues values = s->values;  // taking in a report
  bool dropped = false;            // the kernel dropped events: wait for the report's end
  for (;;) {
    const ssize_t n = ::read(s->fd, events, sizeof events);
    if (n > 0) {
      bool whole = false;
      for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof events[0]; ++i) {
        const input_event& e = events[i];
        if (e.type == EV_SYN && e.code == SYN_DROPPED) {
          dropped = true;
        } else if (e.type == EV_SYN && e.code == SYN_REPORT) {
          if (std::exchange(dropped, false)) AskValues(s->fd, caps, values);
          std::lock_guard lock(s->values_mutex);
          s->values = values;
          whole = true;
        } else if (dropped) {
          continue;  // part of a report that is incomplete
        } else if (e.type == EV_ABS && e.code < ABS_CNT) {
          values.abs[e.code] = e.value;
        } else if (e.type == EV_KEY && e.code < KEY_CNT) {
          values.keys[e.code] = e.value != 0;
        }
      }
      if (whole) {
        s->reports.fetch_add(1);
        Tell(*s);
      }
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
  unsigned char keys[(KEY_CNT + 7) / 8] = {};
  unsigned char abs[(ABS_CNT + 7) / 8] = {};
  if (::ioctl(shared_->fd, EVIOCGBIT(EV_KEY, sizeof keys), keys) >= 0) {
    caps_.keys = Bits<KEY_CNT>(keys);
  }
  if (::ioctl(shared_->fd, EVIOCGBIT(EV_ABS, sizeof abs), abs) >= 0) caps_.abs = Bits<ABS_CNT>(abs);
  for (std::size_t code = 0; code < ABS_CNT; ++code) {
    if (caps_.abs[code] && ::ioctl(shared_->fd, EVIOCGABS(code), &caps_.absinfo[code]) != 0) {
      caps_.abs[code] = false;
    }
  }
  AskValues(shared_->fd, caps_, shared_->values);
  try {
    // The thread gets its own copy of the caps: it may outlive this object (the destructor).
    reader_ = std::thread(Read, shared_, caps_);
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

const EvdevCaps& EvdevReports::Caps() const {
  return caps_;
}

EvdevValues EvdevReports::Values() const {
  std::lock_guard lock(shared_->values_mutex);
  return shared_->values;
}

}  // namespace kestrane
