// Stick-to-key latency of the window program: a fake force-feedback stick (umockdev) is moved
// into third gear at a random moment, and the time until the gear's key reaches an X client
// (XTest) or /dev/uinput (a fake one) is taken. The program runs unchanged as a child process;
// the fake devices are served to it across processes. Run under tests/support/under_fake_kernel
// with DISPLAY set (scripts/bench does both):
//
//   stick_to_key_latency KESTRANE_PROGRAM xtest|uinput CHECK_INTERVAL_MS [TRIALS]
//
// Prints one line: "<output> <interval> <trials> <median> <p99> <max> <ticks> <out median>
// <out p99>", times in ms: from the move to the key (median, 99th percentile, maximum), the ticks
// the program ran from the move to the key (median), and, from the program's tick log, the time
// from the start of the tick that sent the key to its arrival (median, 99th percentile).
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fake_kernel.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using kestrane::test::FakeKernel;

namespace {

// The first key press seen since Arm(), from either output.
class KeyArrivals {
 public:
  void Arm() {
    std::lock_guard lock(mutex_);
    armed_ = true;
    seen_.reset();
  }
  void Seen(Clock::time_point t) {
    std::lock_guard lock(mutex_);
    if (armed_ && !seen_) seen_ = t;
  }
  std::optional<Clock::time_point> First() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  std::mutex mutex_;
  bool armed_ = false;
  std::optional<Clock::time_point> seen_;
};

// An X client with a focused window, timing each key press it receives.
class XClient {
 public:
  explicit XClient(KeyArrivals& arrivals) : arrivals_(arrivals) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) return;
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 200, 200, 0, 0, 0);
    XSelectInput(display_, window_, KeyPressMask | FocusChangeMask);
    XMapWindow(display_, window_);
    XSync(display_, False);
    thread_ = std::thread([this] { Run(); });
  }
  ~XClient() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (display_) XCloseDisplay(display_);
  }
  bool Ok() const { return display_ != nullptr; }
  // Takes the keyboard focus (the program's own window may have taken it).
  void Focus() {
    std::lock_guard lock(x_mutex_);
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
  }

 private:
  void Run() {
    pollfd p{ConnectionNumber(display_), POLLIN, 0};
    while (!stop_) {
      {
        std::lock_guard lock(x_mutex_);
        while (XPending(display_)) {
          XEvent e;
          XNextEvent(display_, &e);
          if (e.type == KeyPress) arrivals_.Seen(Clock::now());
        }
      }
      ::poll(&p, 1, 5);
    }
  }

  KeyArrivals& arrivals_;
  Display* display_ = nullptr;
  Window window_ = 0;
  std::thread thread_;
  std::mutex x_mutex_;
  std::atomic<bool> stop_{false};
};

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const std::size_t i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s KESTRANE xtest|uinput CHECK_INTERVAL_MS [TRIALS]\n", argv[0]);
    return 2;
  }
  const fs::path program = fs::absolute(argv[1]);
  const std::string output = argv[2];
  const int interval = std::atoi(argv[3]);
  const int trials = argc > 4 ? std::atoi(argv[4]) : 200;
  if (const std::string why = FakeKernel::Unavailable(); !why.empty()) {
    std::fprintf(stderr, "stick_to_key_latency: %s\n", why.c_str());
    return 77;
  }

  FakeKernel kernel;
  kestrane::test::FakeStickSetup setup;
  setup.axes = {{ABS_X, -32768, 32767, 0}, {ABS_Y, -32768, 32767, 0}};
  kestrane::test::FakeStick& stick = kernel.AddStick(setup);
  kestrane::test::FakeUinput& uinput = kernel.AddUinput();

  KeyArrivals arrivals;
  uinput.OnWrite([&](const input_event& e) {
    if (e.type == EV_KEY && e.value == 1) arrivals.Seen(Clock::now());
  });
  XClient x(arrivals);
  if (output == "xtest" && !x.Ok()) {
    std::fprintf(stderr, "stick_to_key_latency: no X display\n");
    return 77;
  }

  // The program reads the settings file beside itself: run a copy in a folder of its own.
  const fs::path dir =
      fs::temp_directory_path() / ("kestrane-latency-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::copy_file(program, dir / "kestrane", fs::copy_options::overwrite_existing);
  std::ofstream(dir / "Kestrane.ini")
      << "[MAIN]\nJOYSTICK=Fake Force Stick\nCHECK_INTERVAL=" << interval << "\n";
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("KESTRANE_KEY_OUTPUT", output.c_str(), 1);
    ::setenv("KESTRANE_TICK_LOG", (dir / "ticks.log").c_str(), 1);
    if (::chdir(dir.c_str()) != 0) _exit(127);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::execl("./kestrane", "kestrane", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Ends the program (it writes its tick log as it ends) and reads the log's tick times.
  std::vector<Clock::time_point> ticks;
  auto stop = [&] {
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    std::ifstream log(dir / "ticks.log");
    std::string word;
    long long ns = 0;
    log >> word >> ns;  // first_tick_realtime_ns
    while (log >> ns) ticks.push_back(Clock::time_point(std::chrono::nanoseconds(ns)));
    fs::remove_all(dir);
  };
  auto finish = [&](int status) {
    stop();
    return status;
  };

  // Running once the stick is open with its effects built.
  if (!FakeKernel::WaitFor([&] { return !stick.Effects().empty(); }, std::chrono::seconds(30))) {
    std::fprintf(stderr, "stick_to_key_latency: the program did not open the fake stick\n");
    return finish(1);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  std::mt19937 random(12345);
  std::uniform_int_distribution<int> phase_us(0, interval * 1000);
  const auto settle = std::chrono::milliseconds(std::max(120, 6 * interval));
  std::vector<double> ms;
  std::vector<std::pair<Clock::time_point, Clock::time_point>> shifts;  // moved, key seen
  const int warm_up = 3;
  for (int t = 0; t < trials + warm_up; ++t) {
    if (output == "xtest") x.Focus();
    std::this_thread::sleep_for(settle + std::chrono::microseconds(phase_us(random)));
    arrivals.Arm();
    const Clock::time_point moved = Clock::now();
    stick.Move(ABS_Y, -20000);  // straight up from neutral: third gear
    if (!FakeKernel::WaitFor([&] { return arrivals.First().has_value(); },
                             std::chrono::seconds(5))) {
      std::fprintf(stderr, "stick_to_key_latency: no key %d s after the shift (trial %d)\n", 5, t);
      return finish(1);
    }
    if (t >= warm_up) {
      ms.push_back(std::chrono::duration<double, std::milli>(*arrivals.First() - moved).count());
      shifts.emplace_back(moved, *arrivals.First());
    }
    std::this_thread::sleep_for(settle);
    stick.Move(ABS_Y, 0);  // back to neutral
  }
  stop();
  std::vector<double> tick_counts, out_ms;
  for (const auto& [moved, seen] : shifts) {
    const auto first = std::upper_bound(ticks.begin(), ticks.end(), moved);
    const auto last = std::upper_bound(ticks.begin(), ticks.end(), seen);
    if (last == ticks.begin() || last <= first) continue;
    tick_counts.push_back(static_cast<double>(last - first));
    out_ms.push_back(std::chrono::duration<double, std::milli>(seen - *(last - 1)).count());
  }
  if (out_ms.empty()) {
    std::fprintf(stderr, "stick_to_key_latency: no tick log from the program\n");
    return 1;
  }
  std::printf("%s %d %d %.2f %.2f %.2f %.0f %.2f %.2f\n", output.c_str(), interval, trials,
              Percentile(ms, 0.5), Percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()),
              Percentile(tick_counts, 0.5), Percentile(out_ms, 0.5), Percentile(out_ms, 0.99));
  return 0;
}
