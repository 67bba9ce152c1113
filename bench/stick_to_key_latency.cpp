// Stick-to-key latency of the window program: a fake force-feedback stick (umockdev) is moved
// into third gear at a random moment, and the time from the stick's report until the gear's key
// reaches an X client (XTest) or /dev/uinput (a fake one), and until the virtual H-shifter's
// button does, is taken. The program runs unchanged as a child process; the fake devices are
// served to it across processes. Run under tests/support/under_fake_kernel with DISPLAY set
// (scripts/bench does both):
//
//   stick_to_key_latency KESTRANE_PROGRAM xtest|uinput CHECK_INTERVAL_MS [TRIALS]
//   stick_to_key_latency KESTRANE_PROGRAM no-stick CHECK_INTERVAL_MS [SECONDS]
//   stick_to_key_latency - hops 4 [ROUNDS]
//
// Prints one line: "<output> <interval> <trials> <median> <p99> <max> <looks> <out median>
// <out p99> <button median> <button p99> <rest wake-ups/s>", times in ms: from the report to the
// key (median, 99th percentile, maximum), the looks the program took from the report to the key
// (median), from the program's tick log the time from the start of the look that sent the key to
// its arrival (median, 99th percentile), the report to the H-shifter's button (median, 99th
// percentile; uinput only, else -), and the program's wake-ups per second while the stick rests
// (voluntary context switches of all its threads, less the reads the fake interrupted). With
// no-stick: "no-stick <interval> <wake-ups/s>" with no stick attached. With hops: the machine's
// own wake-up tail, "hops <n> <median> <p99>" in ms: a token passed through n sleeping threads
// (eventfds), after a random pause of 150 to 300 ms each round, with nothing of Kestrane's.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
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

// A token through `hops` threads that sleep in between, `rounds` times.
int Hops(int hops, int rounds) {
  std::vector<int> fds(static_cast<std::size_t>(hops) + 1);
  for (int& fd : fds) fd = ::eventfd(0, EFD_CLOEXEC);
  std::vector<std::thread> threads;
  for (std::size_t h = 0; h < static_cast<std::size_t>(hops); ++h) {
    threads.emplace_back([&fds, h] {
      for (std::uint64_t v = 0; ::read(fds[h], &v, sizeof v) == sizeof v && v == 1;) {
        [[maybe_unused]] const ssize_t n = ::write(fds[h + 1], &v, sizeof v);
      }
    });
  }
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pause_ms(150, 300);
  std::vector<double> ms;
  for (int i = 0; i < rounds; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms(random)));
    const auto start = Clock::now();
    std::uint64_t v = 1;
    if (::write(fds.front(), &v, sizeof v) != sizeof v ||
        ::read(fds.back(), &v, sizeof v) != sizeof v) {
      return 1;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  for (std::size_t h = 0; h < static_cast<std::size_t>(hops); ++h) {
    const std::uint64_t stop = 2;
    [[maybe_unused]] const ssize_t n = ::write(fds[h], &stop, sizeof stop);
  }
  for (std::thread& t : threads) t.join();
  std::printf("hops %d %.2f %.2f\n", hops, Percentile(ms, 0.5), Percentile(ms, 0.99));
  return 0;
}

// One busy thread per CPU for `seconds`: each gap of over 1 ms in a thread's clock readings is a
// time it was kept off its CPU (by the kernel's own threads, or the host); their count and sum.
int Stalls(int seconds) {
  const unsigned cpus = std::max(1u, std::thread::hardware_concurrency());
  std::vector<int> counts(cpus);
  std::vector<double> sums(cpus);
  std::vector<std::thread> threads;
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  for (unsigned c = 0; c < cpus; ++c) {
    threads.emplace_back([&, c] {
      for (auto last = Clock::now(); last < end;) {
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - last).count();
        if (gap > 1.0) {
          ++counts[c];
          sums[c] += gap;
        }
        last = now;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  int count = 0;
  double sum = 0;
  for (unsigned c = 0; c < cpus; ++c) {
    count += counts[c];
    sum += sums[c];
  }
  std::printf("stalls %d s %d %.1f ms\n", seconds, count, sum);
  return 0;
}

// Voluntary context switches of every thread of `pid`: the times it went to sleep and woke.
long long Wakeups(pid_t pid) {
  long long total = 0;
  const fs::path tasks = fs::path("/proc") / std::to_string(pid) / "task";
  std::error_code error;
  for (const auto& task : fs::directory_iterator(tasks, error)) {
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::atoll(line.c_str() + 24);
    }
  }
  return total;
}

// The program, a copy in a folder of its own (it reads the settings file beside itself).
struct Program {
  fs::path dir;
  pid_t pid = -1;
  Program(const fs::path& program, const std::string& settings, const std::string& output) {
    dir = fs::temp_directory_path() / ("kestrane-latency-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy_file(program, dir / "kestrane", fs::copy_options::overwrite_existing);
    std::ofstream(dir / "Kestrane.ini") << settings;
    pid = ::fork();
    if (pid == 0) {
      ::setenv("KESTRANE_KEY_OUTPUT", output.c_str(), 1);
      ::setenv("KESTRANE_TICK_LOG", (dir / "ticks.log").c_str(), 1);
      if (::chdir(dir.c_str()) != 0) _exit(127);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::execl("./kestrane", "kestrane", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  // Ends the program (it writes its tick log as it ends); the log's tick times.
  std::vector<Clock::time_point> Stop() {
    std::vector<Clock::time_point> ticks;
    if (pid < 0) return ticks;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
    std::ifstream log(dir / "ticks.log");
    std::string word;
    long long ns = 0;
    log >> word >> ns;  // first_tick_realtime_ns
    while (log >> ns) ticks.push_back(Clock::time_point(std::chrono::nanoseconds(ns)));
    fs::remove_all(dir);
    return ticks;
  }
  ~Program() { Stop(); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: %s KESTRANE xtest|uinput|no-stick CHECK_INTERVAL_MS [TRIALS]\n"
                 "       %s - hops HOPS ROUNDS | - stalls SECONDS\n",
                 argv[0], argv[0]);
    return 2;
  }
  const std::string output = argv[2];
  if (output == "hops") return Hops(std::atoi(argv[3]), argc > 4 ? std::atoi(argv[4]) : 200);
  if (output == "stalls") return Stalls(std::atoi(argv[3]));
  const fs::path program = fs::absolute(argv[1]);
  const int interval = std::atoi(argv[3]);
  const int trials = argc > 4 ? std::atoi(argv[4]) : 200;
  if (const std::string why = FakeKernel::Unavailable(); !why.empty()) {
    std::fprintf(stderr, "stick_to_key_latency: %s\n", why.c_str());
    return 77;
  }
  const std::string interval_line = "CHECK_INTERVAL=" + std::to_string(interval) + "\n";

  FakeKernel kernel;
  kestrane::test::FakeUinput& uinput = kernel.AddUinput();
  if (output == "no-stick") {
    const int seconds = argc > 4 ? std::atoi(argv[4]) : 10;
    Program app(program, "[MAIN]\n" + interval_line, "uinput");
    // Up once its keyboard is made; then a moment to settle.
    if (!FakeKernel::WaitFor([&] { return !uinput.Devices().empty(); }, std::chrono::seconds(30))) {
      std::fprintf(stderr, "stick_to_key_latency: the program did not start\n");
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long long before = Wakeups(app.pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long long after = Wakeups(app.pid);
    std::printf("no-stick %d %.1f\n", interval, static_cast<double>(after - before) / seconds);
    return 0;
  }

  kestrane::test::FakeStickSetup setup;
  setup.axes = {{ABS_X, -32768, 32767, 0}, {ABS_Y, -32768, 32767, 0}};
  kestrane::test::FakeStick& stick = kernel.AddStick(setup);
  // The fake interrupts a waiting read now and then (so that the program can end its reader);
  // rarely here, and those wake-ups are not the program's doing: they are taken off.
  stick.SetReadWaitLimit(std::chrono::seconds(2));

  KeyArrivals keys, buttons;
  uinput.OnWrite([&](const input_event& e) {
    if (e.type != EV_KEY || e.value != 1) return;
    (e.code >= BTN_MISC ? buttons : keys).Seen(Clock::now());
  });
  XClient x(keys);
  if (output == "xtest" && !x.Ok()) {
    std::fprintf(stderr, "stick_to_key_latency: no X display\n");
    return 77;
  }
  const bool shifter = output == "uinput";
  Program app(program,
              "[MAIN]\nJOYSTICK=Fake Force Stick\n" + interval_line +
                  (shifter ? "VIRTUAL_SHIFTER=1\n" : ""),
              output);

  // Running once the stick is open with its effects built.
  if (!FakeKernel::WaitFor([&] { return !stick.Effects().empty(); }, std::chrono::seconds(30))) {
    std::fprintf(stderr, "stick_to_key_latency: the program did not open the fake stick\n");
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  // At rest: the program's wake-ups over a few seconds.
  const int rest_seconds = 5;
  const long long w0 = Wakeups(app.pid);
  const std::size_t i0 = stick.InterruptedReads();
  std::this_thread::sleep_for(std::chrono::seconds(rest_seconds));
  const double rest_wakeups =
      static_cast<double>(Wakeups(app.pid) - w0 -
                          static_cast<long long>(stick.InterruptedReads() - i0)) /
      rest_seconds;

  std::mt19937 random(12345);
  std::uniform_int_distribution<int> phase_us(0, interval * 1000);
  // Long enough for the key's press and release waits.
  const auto settle = std::chrono::milliseconds(150);
  std::vector<double> ms, button_ms;
  std::vector<std::pair<Clock::time_point, Clock::time_point>> shifts;  // reported, key seen
  const int warm_up = 3;
  for (int t = 0; t < trials + warm_up; ++t) {
    if (output == "xtest") x.Focus();
    std::this_thread::sleep_for(settle + std::chrono::microseconds(phase_us(random)));
    keys.Arm();
    buttons.Arm();
    const Clock::time_point reported = Clock::now();
    stick.Move(ABS_Y, -20000);  // straight up from neutral: third gear
    const auto arrived = [&] {
      return keys.First().has_value() && (!shifter || buttons.First().has_value());
    };
    if (!FakeKernel::WaitFor(arrived, std::chrono::seconds(5))) {
      std::fprintf(stderr, "stick_to_key_latency: no key %d s after the shift (trial %d)\n", 5, t);
      return 1;
    }
    if (t >= warm_up) {
      ms.push_back(std::chrono::duration<double, std::milli>(*keys.First() - reported).count());
      if (shifter) {
        button_ms.push_back(
            std::chrono::duration<double, std::milli>(*buttons.First() - reported).count());
      }
      shifts.emplace_back(reported, *keys.First());
    }
    std::this_thread::sleep_for(settle);
    stick.Move(ABS_Y, 0);  // back to neutral
  }
  const std::vector<Clock::time_point> ticks = app.Stop();
  std::vector<double> tick_counts, out_ms;
  // KESTRANE_LATENCY_DUMP=<file>: each shift's report-to-key, report-to-look and look-to-key (ms),
  // looks, report-to-button (ms) and the report's time (s, on the monotonic clock).
  std::ofstream dump;
  if (const char* path = std::getenv("KESTRANE_LATENCY_DUMP")) dump.open(path);
  for (std::size_t i = 0; i < shifts.size(); ++i) {
    const auto& [reported, seen] = shifts[i];
    const auto first = std::upper_bound(ticks.begin(), ticks.end(), reported);
    const auto last = std::upper_bound(ticks.begin(), ticks.end(), seen);
    if (dump.is_open() && first != ticks.end()) {
      const auto in_ms = [](auto d) {
        return std::chrono::duration<double, std::milli>(d).count();
      };
      dump << in_ms(seen - reported) << ' ' << in_ms(*first - reported) << ' '
           << (last > first ? in_ms(seen - *(last - 1)) : -1.0) << ' ' << (last - first) << ' '
           << (button_ms.empty() ? -1.0 : button_ms[i]) << ' ' << std::fixed
           << std::chrono::duration<double>(reported.time_since_epoch()).count()
           << std::defaultfloat << '\n';
    }
    if (last == ticks.begin() || last <= first) continue;
    tick_counts.push_back(static_cast<double>(last - first));
    out_ms.push_back(std::chrono::duration<double, std::milli>(seen - *(last - 1)).count());
  }
  if (out_ms.empty()) {
    std::fprintf(stderr, "stick_to_key_latency: no tick log from the program\n");
    return 1;
  }
  char button_cols[64] = "- -";
  if (!button_ms.empty()) {
    std::snprintf(button_cols, sizeof button_cols, "%.2f %.2f", Percentile(button_ms, 0.5),
                  Percentile(button_ms, 0.99));
  }
  std::printf("%s %d %d %.2f %.2f %.2f %.0f %.2f %.2f %s %.1f\n", output.c_str(), interval, trials,
              Percentile(ms, 0.5), Percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()),
              Percentile(tick_counts, 0.5), Percentile(out_ms, 0.5), Percentile(out_ms, 0.99),
              button_cols, rest_wakeups);
  return 0;
}
