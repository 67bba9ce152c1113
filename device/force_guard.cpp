#include "device/force_guard.h"

#if defined(__linux__)
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#endif

namespace kestrane {

#if defined(__linux__)
namespace {

void WriteFf(int fd, std::uint16_t code, std::int32_t value) {
  input_event e{};
  e.type = EV_FF;
  e.code = code;
  e.value = value;
  [[maybe_unused]] const ssize_t n = ::write(fd, &e, sizeof e);
}

// The guard's side. The channel (standard input) carries 'b' (a tick), 'p' (resting),
// "l<ms>\n" (a new limit) and "g<gain>\n" (the gain Kestrane set); its end means Kestrane is gone.
int RunForceGuard(const char* path, long limit_ms) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGTSTP}) std::signal(sig, SIG_IGN);
  const int device = ::open(path, O_WRONLY | O_CLOEXEC);
  const char ready = device >= 0 ? 'r' : 'f';
  // Kestrane may be gone already; the stick is given back below all the same.
  [[maybe_unused]] const ssize_t told = ::write(STDIN_FILENO, &ready, 1);
  if (device < 0) return 1;
  int effects = 16;
  if (::ioctl(device, EVIOCGEFFECTS, &effects) != 0 || effects <= 0 || effects > 256) effects = 16;

  std::int32_t gain = 0xFFFF;
  bool ticking = false, silenced = false;
  char field = 0;  // 'l' or 'g' while their number is read
  std::string number;
  for (;;) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready_fds = ::poll(&in, 1, static_cast<int>(limit_ms));
    if (ready_fds < 0 && errno == EINTR) continue;
    if (ready_fds == 0) {
      if (ticking && !silenced) {
        WriteFf(device, FF_GAIN, 0);
        for (int id = 0; id < effects; ++id) WriteFf(device, static_cast<std::uint16_t>(id), 0);
        silenced = true;
      }
      continue;
    }
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buffer[i];
      if (field != 0) {
        if (c != '\n') {
          if (number.size() < 16) number += c;
          continue;
        }
        const long value = std::atol(number.c_str());
        if (field == 'l') limit_ms = std::max(1L, value);
        if (field == 'g') gain = static_cast<std::int32_t>(std::clamp(value, 0L, 0xFFFFL));
        number.clear();
        field = 0;
      } else if (c == 'l' || c == 'g') {
        field = c;
      } else if (c == 'p') {
        ticking = false;
      } else if (c == 'b') {
        ticking = true;
        if (silenced) {
          WriteFf(device, FF_GAIN, gain);
          silenced = false;
        }
      }
    }
  }
  // Kestrane is gone (closing its handle removed its effects), even while silenced: the stick
  // gets back its gain and its own centring, for whatever program comes next.
  WriteFf(device, FF_GAIN, gain);
  WriteFf(device, FF_AUTOCENTER, 0xFFFF);
  ::close(device);
  return 0;
}

class ProcessForceGuard final : public ForceGuard {
 public:
  explicit ProcessForceGuard(std::unique_ptr<HelperProcess> helper) : helper_(std::move(helper)) {}
  // A heartbeat lost to a full channel is replaced by the next; the rest must arrive.
  void Beat() override { helper_->Send("b", Delivery::MayDrop); }
  void Rest() override { helper_->Send("p", Delivery::MustArrive); }
  void SetLimit(std::chrono::milliseconds limit) override {
    SendNumber('l', static_cast<long long>(limit.count()));
  }
  void SetGain(std::uint16_t gain) override { SendNumber('g', gain); }
  HelperReadiness Readiness() override { return helper_->Readiness(); }

 private:
  void SendNumber(char field, long long value) {
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%c%lld\n", field, value);
    helper_->Send(std::string_view(line, static_cast<std::size_t>(n)), Delivery::MustArrive);
  }
  std::unique_ptr<HelperProcess> helper_;
};

}  // namespace

std::optional<int> RunForceGuardIfAsked(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], kForceGuardArgument) == 0) {
    return RunForceGuard(argv[2], std::atol(argv[3]));
  }
  return std::nullopt;
}

std::unique_ptr<ForceGuard> StartForceGuard(const std::string& device_path,
                                            std::chrono::milliseconds limit) {
  // Refused at once where the guard's own open would fail; anything else it reports itself.
  if (::access(device_path.c_str(), W_OK) != 0) return nullptr;
  HelperStart started =
      HelperProcess::Start({kForceGuardArgument, device_path, std::to_string(limit.count())});
  if (!started.process) return nullptr;
  return std::make_unique<ProcessForceGuard>(std::move(started.process));
}

#else

std::optional<int> RunForceGuardIfAsked(int, char**) {
  return std::nullopt;
}

std::unique_ptr<ForceGuard> StartForceGuard(const std::string&, std::chrono::milliseconds) {
  return nullptr;
}

#endif

}  // namespace kestrane
