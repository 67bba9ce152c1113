#include "fake_kernel.h"

#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kestrane::test {
namespace {

UMockdevIoctlClient* Client(void* client) {
  return static_cast<UMockdevIoctlClient*>(client);
}

void Complete(void* client, long result, int error) {
  umockdev_ioctl_client_complete(Client(client), result, error);
}

// The ioctl's argument passed by value (EVIOCGRAB, EVIOCRMFF, UI_SET_*BIT).
unsigned long ValueArgument(void* client) {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(Client(client));
  unsigned long value = 0;
  std::memcpy(&value, arg->data, sizeof value);
  return value;
}

// Runs `use` on the `size` bytes the ioctl's pointer argument points to, then completes the call
// with `use`'s result (the memory is copied back to the caller when it changed).
template <typename Use>
bool WithArgument(void* client, std::size_t size, Use use) {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(Client(client));
  GError* error = nullptr;
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, size, &error);
  if (!data) {
    g_clear_error(&error);
    Complete(client, -1, EFAULT);
    return true;
  }
  int err = 0;
  const long result = use(data->data, err);
  Complete(client, result, result < 0 ? err : 0);
  g_object_unref(data);
  return true;
}

bool Copy(void* client, std::size_t size, const void* source, std::size_t length, long result) {
  return WithArgument(client, size, [&](std::uint8_t* out, int&) {
    std::memset(out, 0, size);
    if (length > 0 && size > 0) std::memcpy(out, source, std::min(size, length));
    return result;
  });
}

void SetBit(std::vector<std::uint8_t>& bits, unsigned bit) {
  if (bits.size() <= bit / 8) bits.resize(bit / 8 + 1);
  bits[bit / 8] = static_cast<std::uint8_t>(bits[bit / 8] | (1u << (bit % 8)));
}

// A bitmap as sysfs prints capabilities: longs in hex, the highest first, separated by spaces.
std::string SysfsBits(const std::vector<unsigned>& codes) {
  if (codes.empty()) return "0";
  const unsigned top = *std::max_element(codes.begin(), codes.end());
  std::vector<unsigned long> longs(top / 64 + 1, 0);
  for (unsigned c : codes) longs[c / 64] |= 1ul << (c % 64);
  std::ostringstream out;
  for (std::size_t i = longs.size(); i-- > 0;) {
    out << std::hex << longs[i] << (i ? " " : "");
  }
  return out.str();
}

template <typename Method, typename Self>
void Connect(void* handler, const char* signal, Self* self) {
  g_signal_connect(handler, signal,
                   G_CALLBACK(+[](UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
                     return static_cast<gboolean>(Method{}(static_cast<Self*>(data), client));
                   }),
                   self);
}

}  // namespace

// ---- the joystick ----

FakeStick::FakeStick(FakeKernel& kernel, FakeStickSetup setup, int number)
    : kernel_(kernel), setup_(std::move(setup)) {
  node_ = "/dev/input/event" + std::to_string(number);
  syspath_ = "/devices/virtual/input/input" + std::to_string(40 + number) + "/event" +
             std::to_string(number);
  for (const FakeAxis& a : setup_.axes) {
    input_absinfo info{};
    info.value = a.value;
    info.minimum = a.minimum;
    info.maximum = a.maximum;
    abs_[a.code] = info;
  }
}

std::string FakeStick::Record() const {
  std::vector<unsigned> ev = {EV_SYN}, keys, abs, ff;
  if (!setup_.buttons.empty()) ev.push_back(EV_KEY);
  if (!setup_.axes.empty()) ev.push_back(EV_ABS);
  if (!setup_.force_feedback.empty()) ev.push_back(EV_FF);
  for (auto b : setup_.buttons) keys.push_back(b);
  for (const auto& a : setup_.axes) abs.push_back(a.code);
  for (auto f : setup_.force_feedback) ff.push_back(f);
  const std::string number = node_.substr(std::strlen("/dev/input/event"));
  const std::string parent = syspath_.substr(0, syspath_.rfind('/'));
  char ids[64];
  std::snprintf(ids, sizeof ids, "%04x/%04x/%04x/%04x", setup_.bustype, setup_.vendor,
                setup_.product, setup_.version);
  std::ostringstream r;
  r << "P: " << syspath_ << "\nN: input/event" << number << "\nE: DEVNAME=" << node_
    << "\nE: SUBSYSTEM=input\nE: ID_INPUT=1\nE: ID_INPUT_JOYSTICK=1\nE: MAJOR=13\nE: MINOR="
    << 64 + std::stoi(number) << "\nA: dev=13:" << 64 + std::stoi(number) << "\n\nP: " << parent
    << "\nE: SUBSYSTEM=input\nE: ID_INPUT=1\nE: ID_INPUT_JOYSTICK=1"
    << "\nE: NAME=\"" << setup_.name << "\"\nE: PRODUCT=" << ids << "\nA: name=" << setup_.name
    << "\nA: id/bustype=" << std::string(ids, 4) << "\nA: id/vendor=" << std::string(ids + 5, 4)
    << "\nA: id/product=" << std::string(ids + 10, 4)
    << "\nA: id/version=" << std::string(ids + 15, 4) << "\nA: capabilities/ev=" << SysfsBits(ev)
    << "\nA: capabilities/key=" << SysfsBits(keys) << "\nA: capabilities/abs=" << SysfsBits(abs)
    << "\nA: capabilities/ff=" << SysfsBits(ff) << "\nA: capabilities/rel=0\n";
  return r.str();
}

void FakeStick::Attach() {
  auto* tb = static_cast<UMockdevTestbed*>(kernel_.testbed_);
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(tb, Record().c_str(), &error)) {
    const std::string why = error ? error->message : "?";
    g_clear_error(&error);
    throw std::runtime_error("umockdev_testbed_add_from_string: " + why);
  }
  waker_ = std::thread([this] { WakeParked(); });
  handler_ = umockdev_ioctl_base_new();
  struct OnIoctl {
    bool operator()(FakeStick* s, void* c) const { return s->Ioctl(c); }
  };
  struct OnRead {
    bool operator()(FakeStick* s, void* c) const { return s->Read(c); }
  };
  struct OnWrite {
    bool operator()(FakeStick* s, void* c) const { return s->Write(c); }
  };
  Connect<OnIoctl>(handler_, "handle-ioctl", this);
  Connect<OnRead>(handler_, "handle-read", this);
  Connect<OnWrite>(handler_, "handle-write", this);
  g_signal_connect(handler_, "client-connected",
                   G_CALLBACK(+[](UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
                     auto* self = static_cast<FakeStick*>(data);
                     std::lock_guard lock(self->mutex_);
                     // umockdev never says a file was closed, and a new file's client may reuse
                     // a closed one's address: everything known of that address is forgotten.
                     ++self->opens_;
                     self->queues_[client].clear();
                     self->blocking_.erase(client);
                     self->revoked_.erase(client);
                     self->dead_.erase(client);
                     self->reads_by_.erase(client);
                     std::erase(self->open_files_, static_cast<void*>(client));
                     self->open_files_.push_back(client);
                   }),
                   this);
  g_signal_connect(handler_, "client-vanished",
                   G_CALLBACK(+[](UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
                     auto* self = static_cast<FakeStick*>(data);
                     std::lock_guard lock(self->mutex_);
                     self->queues_.erase(client);
                     std::erase(self->open_files_, static_cast<void*>(client));
                   }),
                   this);
  if (!umockdev_testbed_attach_ioctl(tb, node_.c_str(), static_cast<UMockdevIoctlBase*>(handler_),
                                     &error)) {
    const std::string why = error ? error->message : "?";
    g_clear_error(&error);
    throw std::runtime_error("umockdev_testbed_attach_ioctl: " + why);
  }
}

bool FakeStick::Ioctl(void* client) {
  const unsigned long request = umockdev_ioctl_client_get_request(Client(client));
  const unsigned type = _IOC_TYPE(request), nr = _IOC_NR(request);
  const std::size_t size = _IOC_SIZE(request);
  std::unique_lock lock(mutex_);
  if (unplugged_ || dead_.count(client)) {
    Complete(client, -1, ENODEV);
    return true;
  }
  if (type != 'E') {  // the joystick interface (JSIOCGNAME and the like) is not this node's
    Complete(client, -1, ENOTTY);
    return true;
  }
  switch (nr) {
    case _IOC_NR(EVIOCGVERSION): {
      const int version = EV_VERSION;
      return Copy(client, size, &version, sizeof version, 0);
    }
    case _IOC_NR(EVIOCGID): {
      const input_id id{setup_.bustype, setup_.vendor, setup_.product, setup_.version};
      return Copy(client, size, &id, sizeof id, 0);
    }
    case _IOC_NR(EVIOCGNAME(0)):
      return Copy(client, size, setup_.name.c_str(), setup_.name.size() + 1,
                  static_cast<long>(std::min(size, setup_.name.size() + 1)));
    case _IOC_NR(EVIOCGPHYS(0)):
    case _IOC_NR(EVIOCGUNIQ(0)):
      Complete(client, -1, ENOENT);
      return true;
    case _IOC_NR(EVIOCGPROP(0)):
    case _IOC_NR(EVIOCGLED(0)):
    case _IOC_NR(EVIOCGSND(0)):
    case _IOC_NR(EVIOCGSW(0)):
      return Copy(client, size, "", 0, static_cast<long>(size));
    case _IOC_NR(EVIOCGKEY(0)): {
      std::vector<std::uint8_t> bits;
      for (auto k : keys_down_) SetBit(bits, k);
      return Copy(client, size, bits.data(), bits.size(), static_cast<long>(size));
    }
    case _IOC_NR(EVIOCGEFFECTS): {
      const int n = setup_.max_effects;
      return Copy(client, size, &n, sizeof n, 0);
    }
    case _IOC_NR(EVIOCGRAB): {
      const int on = static_cast<int>(ValueArgument(client));
      grabs_.push_back(on);
      if (on && grab_answer_) {
        Complete(client, -1, grab_answer_);
      } else {
        Complete(client, 0, 0);
      }
      return true;
    }
    case _IOC_NR(EVIOCRMFF): {
      const int id = static_cast<int>(ValueArgument(client));
      removals_.push_back(id);
      const bool known = effects_.erase(id) > 0;
      playing_.erase(id);
      Complete(client, known ? 0 : -1, known ? 0 : EINVAL);
      return true;
    }
    case _IOC_NR(EVIOCSFF):
      return WithArgument(client, sizeof(ff_effect), [&](std::uint8_t* data, int& err) -> long {
        ff_effect e;
        std::memcpy(&e, data, sizeof e);
        const bool supported = std::find(setup_.force_feedback.begin(), setup_.force_feedback.end(),
                                         e.type) != setup_.force_feedback.end();
        if (!supported) {
          err = EINVAL;
          return -1;
        }
        if (e.id == -1) {
          int id = 0;
          while (effects_.count(id)) ++id;
          if (id >= setup_.max_effects) {
            err = ENOSPC;
            return -1;
          }
          e.id = static_cast<std::int16_t>(id);
        } else if (!effects_.count(e.id)) {
          err = EINVAL;
          return -1;
        }
        effects_[e.id] = e;
        uploads_.push_back(e);
        std::memcpy(data, &e, sizeof e);
        return 0;
      });
    case _IOC_NR(EVIOCSCLOCKID):
      // umockdev passes no open flags, so O_NONBLOCK cannot be seen: a file that asks for its own
      // clock is taken for one that blocks (Kestrane's report reader does, SDL does not).
      blocking_.insert(client);
      Complete(client, 0, 0);
      return true;
    case _IOC_NR(EVIOCREVOKE):
      revoked_.insert(client);
      FinishParked(client, ENODEV);
      Complete(client, 0, 0);
      return true;
    default:
      break;
  }
  if (nr >= _IOC_NR(EVIOCGBIT(0, 0)) && nr < _IOC_NR(EVIOCGBIT(0, 0)) + EV_MAX) {
    const unsigned ev = nr - _IOC_NR(EVIOCGBIT(0, 0));
    std::vector<std::uint8_t> bits;
    if (ev == 0) {
      SetBit(bits, EV_SYN);
      if (!setup_.buttons.empty()) SetBit(bits, EV_KEY);
      if (!setup_.axes.empty()) SetBit(bits, EV_ABS);
      if (!setup_.force_feedback.empty()) SetBit(bits, EV_FF);
    } else if (ev == EV_KEY) {
      for (auto b : setup_.buttons) SetBit(bits, b);
    } else if (ev == EV_ABS) {
      for (const auto& a : setup_.axes) SetBit(bits, a.code);
    } else if (ev == EV_FF) {
      for (auto f : setup_.force_feedback) SetBit(bits, f);
    }
    return Copy(client, size, bits.data(), bits.size(), static_cast<long>(size));
  }
  if (nr >= _IOC_NR(EVIOCGABS(0)) && nr < _IOC_NR(EVIOCGABS(0)) + ABS_CNT &&
      _IOC_DIR(request) == _IOC_READ) {
    const auto it = abs_.find(static_cast<std::uint16_t>(nr - _IOC_NR(EVIOCGABS(0))));
    if (it == abs_.end()) {
      Complete(client, -1, EINVAL);
      return true;
    }
    return Copy(client, size, &it->second, sizeof it->second, 0);
  }
  Complete(client, -1, EINVAL);
  return true;
}

bool FakeStick::Read(void* client) {
  std::lock_guard lock(mutex_);
  ++reads_;
  ++reads_by_[client];
  if (unplugged_ || dead_.count(client)) {
    Complete(client, -1, ENODEV);
    return true;
  }
  if (revoked_.count(client)) {
    Complete(client, -1, ENODEV);
    return true;
  }
  if (queues_[client].empty() && blocking_.count(client)) {
    // A blocking reader waits until the stick reports.
    g_object_ref(Client(client));
    parked_.push_back({client, std::chrono::steady_clock::now()});
    return true;
  }
  Hand(client);
  return true;
}

void FakeStick::Hand(void* client) {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(Client(client));
  std::vector<input_event>& queue = queues_[client];
  const std::size_t room = static_cast<std::size_t>(arg->data_len) / sizeof(input_event);
  const std::size_t n = std::min(room, queue.size());
  if (n == 0) {
    Complete(client, -1, EAGAIN);
    return;
  }
  std::memcpy(arg->data, queue.data(), n * sizeof(input_event));
  queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(n));
  Complete(client, static_cast<long>(n * sizeof(input_event)), 0);
}

void FakeStick::HandParked() {
  std::erase_if(parked_, [&](const Parked& p) {
    if (queues_[p.client].empty()) return false;
    Hand(p.client);
    g_object_unref(Client(p.client));
    return true;
  });
}

void FakeStick::FinishParked(void* client, int error) {
  std::erase_if(parked_, [&](const Parked& p) {
    if (client && p.client != client) return false;
    Complete(p.client, -1, error);
    g_object_unref(Client(p.client));
    return true;
  });
}

void FakeStick::WakeParked() {
  std::unique_lock lock(mutex_);
  while (!stop_waker_) {
    // umockdev serialises the calls on one file: a parked read would hold back an ioctl on the
    // same file (a revoke) for good. It is interrupted after a while, as a signal would.
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(parked_, [&](const Parked& p) {
      if (now - p.since < read_wait_limit_) return false;
      Complete(p.client, -1, EINTR);
      g_object_unref(Client(p.client));
      ++interrupted_reads_;
      return true;
    });
    waker_cv_.wait_for(lock, std::chrono::milliseconds(5));
  }
}

void FakeStick::StopWaking() {
  {
    std::lock_guard lock(mutex_);
    stop_waker_ = true;
    FinishParked(nullptr, ENODEV);
  }
  waker_cv_.notify_all();
  if (waker_.joinable()) waker_.join();
}

FakeStick::~FakeStick() {
  StopWaking();
}

bool FakeStick::Write(void* client) {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(Client(client));
  std::lock_guard lock(mutex_);
  if (unplugged_ || dead_.count(client)) {
    Complete(client, -1, ENODEV);
    return true;
  }
  const std::size_t n = static_cast<std::size_t>(arg->data_len) / sizeof(input_event);
  for (std::size_t i = 0; i < n; ++i) {
    input_event e;
    std::memcpy(&e, arg->data + i * sizeof e, sizeof e);
    if (e.type != EV_FF) continue;
    ff_writes_.push_back({e.code, e.value});
    if (e.code == FF_GAIN) {
      gain_ = e.value;
    } else if (e.code == FF_AUTOCENTER) {
      autocentre_ = e.value;
    } else if (e.value > 0 && effects_.count(e.code)) {
      playing_.insert(e.code);
    } else {
      playing_.erase(e.code);
    }
  }
  Complete(client, arg->data_len, 0);
  return true;
}

void FakeStick::Move(std::uint16_t abs_code, std::int32_t value) {
  std::lock_guard lock(mutex_);
  abs_[abs_code].value = value;
  for (auto& [client, queue] : queues_) {
    queue.push_back({{0, 0}, EV_ABS, abs_code, value});
    queue.push_back({{0, 0}, EV_SYN, SYN_REPORT, 0});
  }
  HandParked();
}

void FakeStick::MoveDropped(std::uint16_t abs_code, std::int32_t value) {
  std::lock_guard lock(mutex_);
  abs_[abs_code].value = value;
  for (auto& [client, queue] : queues_) {
    queue.push_back({{0, 0}, EV_SYN, SYN_DROPPED, 0});
    queue.push_back({{0, 0}, EV_ABS, abs_code, abs_[abs_code].minimum});  // not to be taken
    queue.push_back({{0, 0}, EV_SYN, SYN_REPORT, 0});
  }
  HandParked();
}

void FakeStick::Press(std::uint16_t key_code, bool down) {
  std::lock_guard lock(mutex_);
  if (down) {
    keys_down_.insert(key_code);
  } else {
    keys_down_.erase(key_code);
  }
  for (auto& [client, queue] : queues_) {
    queue.push_back({{0, 0}, EV_KEY, key_code, down ? 1 : 0});
    queue.push_back({{0, 0}, EV_SYN, SYN_REPORT, 0});
  }
  HandParked();
}

void FakeStick::Unplug() {
  {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
    // As the kernel's: files open on the unplugged device stay dead when it comes back.
    dead_.insert(open_files_.begin(), open_files_.end());
    FinishParked(nullptr, ENODEV);
    queues_.clear();
    effects_.clear();
    playing_.clear();
  }
  umockdev_testbed_uevent(static_cast<UMockdevTestbed*>(kernel_.testbed_),
                          ("/sys" + syspath_).c_str(), "remove");
}

void FakeStick::Plug() {
  {
    std::lock_guard lock(mutex_);
    unplugged_ = false;
  }
  umockdev_testbed_uevent(static_cast<UMockdevTestbed*>(kernel_.testbed_),
                          ("/sys" + syspath_).c_str(), "add");
}

void FakeStick::SetGrabAnswer(int error) {
  std::lock_guard lock(mutex_);
  grab_answer_ = error;
}

std::vector<ff_effect> FakeStick::Uploads() const {
  std::lock_guard lock(mutex_);
  return uploads_;
}
std::vector<int> FakeStick::Removals() const {
  std::lock_guard lock(mutex_);
  return removals_;
}
std::vector<FfWrite> FakeStick::FfWrites() const {
  std::lock_guard lock(mutex_);
  return ff_writes_;
}
std::vector<int> FakeStick::Grabs() const {
  std::lock_guard lock(mutex_);
  return grabs_;
}
std::map<int, ff_effect> FakeStick::Effects() const {
  std::lock_guard lock(mutex_);
  return effects_;
}
std::set<int> FakeStick::Playing() const {
  std::lock_guard lock(mutex_);
  return playing_;
}
std::int32_t FakeStick::Autocentre() const {
  std::lock_guard lock(mutex_);
  return autocentre_;
}
std::int32_t FakeStick::Gain() const {
  std::lock_guard lock(mutex_);
  return gain_;
}
std::size_t FakeStick::ParkedReads() const {
  std::lock_guard lock(mutex_);
  return parked_.size();
}
std::size_t FakeStick::InterruptedReads() const {
  std::lock_guard lock(mutex_);
  return interrupted_reads_;
}
std::size_t FakeStick::ReadsOfBlockingFiles() const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& [file, reads] : reads_by_) n += blocking_.count(file) ? reads : 0;
  return n;
}
void FakeStick::SetReadWaitLimit(std::chrono::milliseconds limit) {
  std::lock_guard lock(mutex_);
  read_wait_limit_ = limit;
}
std::size_t FakeStick::OpenCount() const {
  std::lock_guard lock(mutex_);
  return opens_;
}
std::size_t FakeStick::Reads() const {
  std::lock_guard lock(mutex_);
  return reads_;
}
std::vector<std::size_t> FakeStick::ReadsByOpenFile() const {
  std::lock_guard lock(mutex_);
  std::vector<std::size_t> out;
  for (void* file : open_files_) {
    const auto it = reads_by_.find(file);
    out.push_back(it == reads_by_.end() ? 0 : it->second);
  }
  return out;
}
void FakeStick::ClearRecords() {
  std::lock_guard lock(mutex_);
  uploads_.clear();
  removals_.clear();
  ff_writes_.clear();
  grabs_.clear();
}

// ---- /dev/uinput ----

FakeUinput::FakeUinput(FakeKernel& kernel) : kernel_(kernel) {
  auto* tb = static_cast<UMockdevTestbed*>(kernel_.testbed_);
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(
          tb,
          "P: /devices/virtual/misc/uinput\nN: uinput\nE: DEVNAME=/dev/uinput\n"
          "E: SUBSYSTEM=misc\nE: MAJOR=10\nE: MINOR=223\nA: dev=10:223\n",
          &error)) {
    const std::string why = error ? error->message : "?";
    g_clear_error(&error);
    throw std::runtime_error("umockdev_testbed_add_from_string: " + why);
  }
  handler_ = umockdev_ioctl_base_new();
  struct OnIoctl {
    bool operator()(FakeUinput* u, void* c) const { return u->Ioctl(c); }
  };
  struct OnWrite {
    bool operator()(FakeUinput* u, void* c) const { return u->Write(c); }
  };
  Connect<OnIoctl>(handler_, "handle-ioctl", this);
  Connect<OnWrite>(handler_, "handle-write", this);
  if (!umockdev_testbed_attach_ioctl(tb, "/dev/uinput", static_cast<UMockdevIoctlBase*>(handler_),
                                     &error)) {
    const std::string why = error ? error->message : "?";
    g_clear_error(&error);
    throw std::runtime_error("umockdev_testbed_attach_ioctl: " + why);
  }
}

FakeUinputDevice& FakeUinput::DeviceOf(void* client) {
  if (!devices_.count(client)) order_.push_back(client);
  return devices_[client];
}

bool FakeUinput::Ioctl(void* client) {
  const unsigned long request = umockdev_ioctl_client_get_request(Client(client));
  std::lock_guard lock(mutex_);
  if (refuse_) {
    Complete(client, -1, refuse_);
    return true;
  }
  FakeUinputDevice& d = DeviceOf(client);
  const auto by_value = [&](std::set<int>& into) {
    into.insert(static_cast<int>(ValueArgument(client)));
    Complete(client, 0, 0);
    return true;
  };
  switch (request) {
    case UI_GET_VERSION: {
      const unsigned version = 5;
      return Copy(client, sizeof version, &version, sizeof version, 0);
    }
    case UI_SET_EVBIT:
      return by_value(d.event_types);
    case UI_SET_KEYBIT:
      return by_value(d.keys);
    case UI_SET_ABSBIT:
      return by_value(d.abs_codes);
    case UI_SET_PROPBIT:
      return by_value(d.props);
    case UI_ABS_SETUP:
      return WithArgument(client, sizeof(uinput_abs_setup), [&](std::uint8_t* data, int&) {
        uinput_abs_setup s;
        std::memcpy(&s, data, sizeof s);
        d.abs[s.code] = s.absinfo;
        return 0L;
      });
    case UI_DEV_SETUP:
      return WithArgument(client, sizeof(uinput_setup), [&](std::uint8_t* data, int&) {
        std::memcpy(&d.setup, data, sizeof d.setup);
        return 0L;
      });
    case UI_DEV_CREATE:
      d.created = true;
      Complete(client, 0, 0);
      return true;
    case UI_DEV_DESTROY:
      d.destroyed = true;
      Complete(client, 0, 0);
      return true;
    default:
      break;
  }
  if (_IOC_TYPE(request) == UINPUT_IOCTL_BASE && _IOC_NR(request) == _IOC_NR(UI_GET_SYSNAME(0))) {
    const std::string name = "input90";
    return Copy(client, _IOC_SIZE(request), name.c_str(), name.size() + 1,
                static_cast<long>(name.size() + 1));
  }
  Complete(client, -1, EINVAL);
  return true;
}

bool FakeUinput::Write(void* client) {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(Client(client));
  std::function<void(const input_event&)> callback;
  std::vector<input_event> written;
  {
    std::lock_guard lock(mutex_);
    if (refuse_) {
      Complete(client, -1, refuse_);
      return true;
    }
    FakeUinputDevice& d = DeviceOf(client);
    if (!d.created || d.destroyed) {
      Complete(client, -1, EINVAL);
      return true;
    }
    const std::size_t n = static_cast<std::size_t>(arg->data_len) / sizeof(input_event);
    for (std::size_t i = 0; i < n; ++i) {
      input_event e;
      std::memcpy(&e, arg->data + i * sizeof e, sizeof e);
      d.events.push_back(e);
      written.push_back(e);
    }
    d.last_write = std::chrono::steady_clock::now();
    ++d.writes;
    callback = on_write_;
  }
  if (callback) {
    for (const input_event& e : written) callback(e);
  }
  Complete(client, arg->data_len, 0);
  return true;
}

std::vector<FakeUinputDevice> FakeUinput::Devices() const {
  std::lock_guard lock(mutex_);
  std::vector<FakeUinputDevice> out;
  for (void* c : order_) out.push_back(devices_.at(c));
  return out;
}

void FakeUinput::Refuse(int error) {
  std::lock_guard lock(mutex_);
  refuse_ = error;
}

void FakeUinput::OnWrite(std::function<void(const input_event&)> callback) {
  std::lock_guard lock(mutex_);
  on_write_ = std::move(callback);
}

// ---- the testbed ----

std::string FakeKernel::Unavailable() {
  const char* preload = std::getenv("LD_PRELOAD");
  if (!preload || !std::strstr(preload, "umockdev")) {
    return "not running under umockdev-wrapper (install the umockdev package; ctest runs this "
           "test under it)";
  }
  return {};
}

FakeKernel::FakeKernel() {
  testbed_ = umockdev_testbed_new();
}

FakeKernel::~FakeKernel() {
  auto* tb = static_cast<UMockdevTestbed*>(testbed_);
  for (auto& s : sticks_) {
    s->StopWaking();  // before the handler goes: no read is left waiting on it
    umockdev_testbed_detach_ioctl(tb, s->node_.c_str(), nullptr);
    g_object_unref(s->handler_);
  }
  if (uinput_) {
    umockdev_testbed_detach_ioctl(tb, "/dev/uinput", nullptr);
    g_object_unref(uinput_->handler_);
  }
  g_object_unref(tb);
}

FakeStick& FakeKernel::AddStick(const FakeStickSetup& setup, int number) {
  sticks_.push_back(std::unique_ptr<FakeStick>(new FakeStick(*this, setup, number)));
  sticks_.back()->Attach();
  return *sticks_.back();
}

FakeUinput& FakeKernel::AddUinput() {
  if (!uinput_) uinput_.reset(new FakeUinput(*this));
  return *uinput_;
}

bool FakeKernel::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace kestrane::test
