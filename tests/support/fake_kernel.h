#pragma once

// Fake kernel input devices for tests, on umockdev: a force-feedback joystick node
// (/dev/input/eventN) and /dev/uinput, both answering the real system calls that SDL and
// libevdev make, so the program's own device paths run as they would on hardware. The test
// process must run under umockdev-wrapper (ctest does that); FakeKernel::Unavailable says why
// when it cannot. Handlers run on umockdev's thread: every accessor takes a lock and returns a
// copy, and WaitFor polls a condition until a deadline.

#include <linux/input.h>
#include <linux/uinput.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kestrane::test {

struct FakeAxis {
  std::uint16_t code;
  std::int32_t minimum, maximum, value;
};

// What the fake joystick offers. The default is a force-feedback stick with X, Y, a twist axis, a
// throttle, a hat, 12 buttons and spring, damper, gain and autocentre.
struct FakeStickSetup {
  std::string name = "Fake Force Stick";
  std::uint16_t bustype = BUS_USB, vendor = 0x1d50, product = 0x6108, version = 0x0111;
  std::vector<FakeAxis> axes = {{ABS_X, 0, 4095, 2048}, {ABS_Y, 0, 4095, 2048},
                                {ABS_RZ, 0, 255, 128},  {ABS_THROTTLE, 0, 255, 0},
                                {ABS_HAT0X, -1, 1, 0},  {ABS_HAT0Y, -1, 1, 0}};
  std::vector<std::uint16_t> buttons = {BTN_TRIGGER, BTN_THUMB,  BTN_THUMB2, BTN_TOP,
                                        BTN_TOP2,    BTN_PINKIE, BTN_BASE,   BTN_BASE2,
                                        BTN_BASE3,   BTN_BASE4,  BTN_BASE5,  BTN_BASE6};
  std::vector<std::uint16_t> force_feedback = {FF_SPRING, FF_DAMPER, FF_GAIN, FF_AUTOCENTER};
  int max_effects = 16;
};

// One EV_FF event written to the stick: play (code = effect id, value = count, 0 stops), gain or
// autocentre.
struct FfWrite {
  std::uint16_t code;
  std::int32_t value;
};

class FakeKernel;

class FakeStick {
 public:
  const std::string& Node() const { return node_; }

  // Queues the events a moved axis or a pressed button produces, with their SYN_REPORT.
  void Move(std::uint16_t abs_code, std::int32_t value);
  void Press(std::uint16_t key_code, bool down);
  // A move whose events the kernel dropped (a reader too slow): every file gets SYN_DROPPED, the
  // rest of a report it must ignore, and SYN_REPORT; the value is only in the stick's state.
  void MoveDropped(std::uint16_t abs_code, std::int32_t value);
  // Unplugs the stick (reads fail with ENODEV, udev says "remove") and plugs it in again.
  void Unplug();
  void Plug();
  // The answer to the next EVIOCGRAB(1): 0 grants it, an errno refuses it.
  void SetGrabAnswer(int error);

  // What the stick was told, in order.
  std::vector<ff_effect> Uploads() const;  // every EVIOCSFF, as received
  std::vector<int> Removals() const;       // every EVIOCRMFF
  std::vector<FfWrite> FfWrites() const;   // every EV_FF write
  std::vector<int> Grabs() const;          // every EVIOCGRAB argument
  // The state those calls leave: uploaded effects by id, which of them play, the last gain and
  // autocentre values (-1: never set).
  std::map<int, ff_effect> Effects() const;
  std::set<int> Playing() const;
  std::int32_t Autocentre() const;
  std::int32_t Gain() const;
  std::size_t OpenCount() const;  // file descriptors opened on the node so far
  std::size_t Reads() const;      // read calls on the node so far, by every open file
  // Those of each file open now, in the order they were opened.
  std::vector<std::size_t> ReadsByOpenFile() const;
  // Blocking readers: umockdev shows no O_NONBLOCK, so a file that set its clock (EVIOCSCLOCKID)
  // counts as one. Their reads wait until the stick reports (parked), or are interrupted (EINTR)
  // after the wait limit, as a signal would, so that an ioctl on the same file can get through
  // umockdev, which serialises a file's calls. Every other read answers at once (EAGAIN).
  std::size_t ParkedReads() const;       // waiting now
  std::size_t InterruptedReads() const;  // ended by the wait limit so far
  std::size_t ReadsOfBlockingFiles() const;
  void SetReadWaitLimit(std::chrono::milliseconds limit);  // 250 ms unless set
  ~FakeStick();
  void ClearRecords();

 private:
  friend class FakeKernel;
  FakeStick(FakeKernel& kernel, FakeStickSetup setup, int number);
  std::string Record() const;  // the umockdev description of the node and its parent
  void Attach();
  bool Ioctl(void* client);
  bool Read(void* client);
  bool Write(void* client);
  // With the lock held: answers a read from the file's queue (EAGAIN when empty); answers the
  // parked reads that have events now; ends parked reads (of `client`, or all) with `error`.
  void Hand(void* client);
  void HandParked();
  void FinishParked(void* client, int error);
  void WakeParked();  // the thread that interrupts reads parked too long
  void StopWaking();  // ends that thread, answering every parked read with ENODEV

  FakeKernel& kernel_;
  FakeStickSetup setup_;
  std::string node_, syspath_;
  void* handler_ = nullptr;
  mutable std::mutex mutex_;
  // Each open file's events, as the kernel keeps them: a reader takes only its own.
  std::map<void*, std::vector<input_event>> queues_;
  std::size_t reads_ = 0;
  std::vector<void*> open_files_;  // in the order they were opened
  std::map<void*, std::size_t> reads_by_;
  std::map<std::uint16_t, input_absinfo> abs_;
  std::set<std::uint16_t> keys_down_;
  bool unplugged_ = false;
  int grab_answer_ = 0;
  std::vector<ff_effect> uploads_;
  std::vector<int> removals_;
  std::vector<FfWrite> ff_writes_;
  std::vector<int> grabs_;
  std::map<int, ff_effect> effects_;
  std::set<int> playing_;
  std::int32_t autocentre_ = -1, gain_ = -1;
  std::size_t opens_ = 0;
  struct Parked {
    void* client;
    std::chrono::steady_clock::time_point since;
  };
  std::set<void*> blocking_, revoked_, dead_;
  std::vector<Parked> parked_;
  std::size_t interrupted_reads_ = 0;
  std::chrono::milliseconds read_wait_limit_{250};
  bool stop_waker_ = false;
  std::condition_variable waker_cv_;
  std::thread waker_;
};

// /dev/uinput: records how each virtual device is set up and what is written to it.
struct FakeUinputDevice {
  uinput_setup setup{};
  std::set<int> event_types, keys, abs_codes, props;
  std::map<int, input_absinfo> abs;
  std::vector<input_event> events;  // written after UI_DEV_CREATE
  std::size_t writes = 0;           // write calls that brought them
  bool created = false, destroyed = false;
  std::chrono::steady_clock::time_point last_write{};
};

class FakeUinput {
 public:
  // The devices made so far, in the order their descriptors were opened.
  std::vector<FakeUinputDevice> Devices() const;
  // Fails every later request with this errno (0: answers them again).
  void Refuse(int error);
  // Called on umockdev's thread for each event written to a created device.
  void OnWrite(std::function<void(const input_event&)> callback);

 private:
  friend class FakeKernel;
  explicit FakeUinput(FakeKernel& kernel);
  bool Ioctl(void* client);
  bool Write(void* client);
  FakeUinputDevice& DeviceOf(void* client);

  FakeKernel& kernel_;
  void* handler_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<void*> order_;
  std::map<void*, FakeUinputDevice> devices_;
  int refuse_ = 0;
  std::function<void(const input_event&)> on_write_;
};

// The testbed: one per test process.
class FakeKernel {
 public:
  // Empty when fake devices can be made here, else the reason they cannot.
  static std::string Unavailable();

  FakeKernel();
  FakeKernel(const FakeKernel&) = delete;
  FakeKernel& operator=(const FakeKernel&) = delete;
  ~FakeKernel();

  // Adds /dev/input/event<number> with its input parent.
  FakeStick& AddStick(const FakeStickSetup& setup = {}, int number = 0);
  // Adds /dev/uinput.
  FakeUinput& AddUinput();

  // Polls `done` every millisecond until it holds; false after `timeout`.
  static bool WaitFor(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));

 private:
  friend class FakeStick;
  friend class FakeUinput;
  void* testbed_ = nullptr;
  std::vector<std::unique_ptr<FakeStick>> sticks_;
  std::unique_ptr<FakeUinput> uinput_;
};

}  // namespace kestrane::test

// In a gtest test or fixture: skips with the reason when fake devices cannot be made here, and
// fails instead under CI=true, where every test must run.
#define KESTRANE_NEED_FAKE_KERNEL()                                                            \
  do {                                                                                         \
    if (const std::string why_ = ::kestrane::test::FakeKernel::Unavailable(); !why_.empty()) { \
      const char* ci_ = std::getenv("CI");                                                     \
      if (ci_ && std::string(ci_) == "true") FAIL() << why_;                                   \
      GTEST_SKIP() << why_;                                                                    \
    }                                                                                          \
  } while (false)
