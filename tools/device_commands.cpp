#include "tools/device_commands.h"

#if !defined(_WIN32)
#include <poll.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

#include "config/setting_keys.h"
#include "config/settings_file.h"
#include "core/direction_test.h"
#include "core/effects.h"
#include "core/messages.h"
#include "core/shift_state.h"
#include "device/joystick_device.h"
#include "device/no_joystick.h"
#include "device/sdl_input.h"
#include "engine/engine.h"
#include "platform/stop_signals.h"
#include "tools/cli_options.h"
#include "tools/realtime.h"
#include "tools/trace.h"

namespace kestrane {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

class StderrMessages final : public MessageSink {
 public:
  void ShowMessage(MessageKind, const std::string& text) override {
    std::cerr << "kestrane-cli: " << text << "\n";
  }
};

int Usage(const std::string& message) {
  std::cerr << "kestrane-cli: " << message << "\n"
            << "usage: kestrane-cli devices\n"
            << "       kestrane-cli record [--joystick NAME] [--interval MS] [--ticks N]\n"
            << "       kestrane-cli ff-test [--joystick NAME] [--settings FILE]\n";
  return kExitUsage;
}

// A plain decimal number from `min` up to a billion.
std::optional<std::int64_t> ParseCount(const std::string& text, std::int64_t min) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v < min || v > 1'000'000'000) return std::nullopt;
  return v;
}

// The device layer over SDL, brought up and listed as the window program does at start-up.
struct Input {
  std::unique_ptr<SdlInputPlatform> platform = CreateSdlInputPlatform();
  StderrMessages messages;
  ForceFeedback effects;
  JoystickDevice device{*platform, messages, effects};

  bool Start() { return device.StartInput() && device.ListJoysticks(); }
  // The list with force feedback filled in: asked for by name, so every stick is opened briefly.
  bool StartAndProbe() {
    if (!Start()) return false;
    device.ProbeForceFeedback();
    return true;
  }
  ~Input() { device.StopInput(); }
};

}  // namespace

std::string ParseRecordOptions(const std::vector<std::string>& args, RecordOptions& out) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string value, error;
    if (TakeOptionValue(args, i, "--joystick", value, error)) {
      if (!error.empty()) return error;
      out.joystick = value;
    } else if (TakeOptionValue(args, i, "--interval", value, error)) {
      if (!error.empty()) return error;
      auto ms = ParseCount(value, 1);
      if (!ms) return "--interval needs a whole number of milliseconds, at least 1";
      out.interval_ms = static_cast<std::int32_t>(*ms);
    } else if (TakeOptionValue(args, i, "--ticks", value, error)) {
      if (!error.empty()) return error;
      auto n = ParseCount(value, 0);
      if (!n) return "--ticks needs a whole number";
      out.ticks = *n;
    } else {
      return "unknown argument '" + EscapeControls(args[i]) + "'";
    }
  }
  return {};
}

int DevicesCommand(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("devices takes no arguments");
  Input input;
  if (!input.StartAndProbe()) return kExitFailure;
  const auto& list = input.device.List();
  if (list.empty()) std::cerr << "kestrane-cli: no joysticks found: " << NoJoystickReason() << "\n";
  for (std::size_t i = 0; i < list.size(); ++i) {
    std::cout << i << '\t' << list[i].name << '\t' << list[i].id << '\t'
              << (list[i].force_feedback ? "yes" : "no") << '\n';
  }
  std::cout.flush();
  return 0;
}

int RecordCommand(const std::vector<std::string>& args) {
  RecordOptions opts;
  if (std::string error = ParseRecordOptions(args, opts); !error.empty()) return Usage(error);

  // The window program's engine, reading only: shared access, the device's own centring left
  // alone, no effects, no keys; the stick the one named, or the first.
  std::unique_ptr<SdlInputPlatform> platform = CreateSdlInputPlatform();
  StoredInterval timer(static_cast<std::uint32_t>(opts.interval_ms));
  EngineServices services;
  services.input = platform.get();
  services.timer = &timer;
  services.settings = DefaultSettings();
  services.settings->EXCLUSIVE_ACCESS = false;
  services.settings->FORCE_FEEDBACK = false;
  ApplyForceFeedbackSwitch(*services.settings);
  services.choose_stick = [&](JoystickDevice& device) {
    if (device.List().empty()) {
      std::cerr << "kestrane-cli: no joystick attached\n";
      return -1;
    }
    if (!opts.joystick) return 0;
    device.SelectSavedJoystickByName(*opts.joystick);
    if (device.Selection() < 0) {
      std::cerr << "kestrane-cli: no joystick named '" << EscapeControls(*opts.joystick) << "'\n";
    }
    return device.Selection();
  };
  // One line a tick: the sample read, or "fail".
  class TraceWriter final : public EngineView {
   public:
    void StickRead(const StickSample* sample) override {
      std::cout << (sample ? FormatTraceLine(*sample) : std::string("fail")) << '\n' << std::flush;
    }
  } writer;
  Engine engine(std::move(services));
  const bool started = engine.Start();
  for (const Notice& notice : engine.TakeNotices()) {
    std::cerr << "kestrane-cli: " << notice.text << "\n";
  }
  if (!started || !engine.Device().IsJoystickOpen()) return kExitFailure;
  engine.SetView(&writer, nullptr);

  CatchStopSignals(/*interrupt_blocking_calls=*/false);
  TickPacer pacer(std::chrono::milliseconds(opts.interval_ms));
  for (std::int64_t tick = 0; !opts.ticks || tick < *opts.ticks; ++tick) {
    if (tick > 0 && !pacer.WaitForTick()) break;
    if (StopSignal() != 0) break;
    engine.Tick();
    if (!std::cout) break;  // the reader has gone
  }
  return 0;
}

namespace {

// One answer from standard input; nullopt when the input ends or a stop request comes.
// One line of standard input; nullopt at its end or at a stop request. A request that comes just
// before the read would be missed by a blocking read: the wait watches both.
std::optional<std::string> ReadAnswerLine() {
#if defined(_WIN32)
  std::string line;
  if (!WaitForStandardInput() || !std::getline(std::cin, line) || StopSignal() != 0) {
    return std::nullopt;
  }
  return line;
#else
  std::string line;
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {StopSignalDescriptor(), POLLIN, 0}};
    const int n = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, -1);
    if (StopSignal() != 0) return std::nullopt;
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (!(fds[0].revents & (POLLIN | POLLHUP))) continue;
    char c = 0;
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
#endif
}

std::optional<DirectionAnswer> AskDirection(DirectionStep step) {
  for (;;) {
    std::cout << DirectionQuestion(step)
              << " (y: yes; o: no, it moved the other way; n: it did not move) " << std::flush;
    std::optional<std::string> read = ReadAnswerLine();
    if (!read) return std::nullopt;
    std::string line = *read;
    line.erase(0, line.find_first_not_of(" \t"));
    const char c = line.empty() ? '\0' : static_cast<char>(std::tolower(line[0]));
    if (c == 'y') return DirectionAnswer::Yes;
    if (c == 'o') return DirectionAnswer::OtherWay;
    if (c == 'n') return DirectionAnswer::NoMove;
  }
}

}  // namespace

int FfTestCommand(const std::vector<std::string>& args) {
  std::optional<std::string> name, settings_path;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string value, error;
    if (TakeOptionValue(args, i, "--joystick", value, error)) {
      if (!error.empty()) return Usage(error);
      name = value;
    } else if (TakeOptionValue(args, i, "--settings", value, error)) {
      if (!error.empty()) return Usage(error);
      settings_path = value;
    } else {
      return Usage("unknown argument '" + EscapeControls(args[i]) + "'");
    }
  }
  Settings settings = DefaultSettings();
  if (settings_path) {
    StoredInterval timer;
    if (auto problem = LoadSettings(settings, timer, *settings_path, WriteBack::No)) {
      std::cerr << "kestrane-cli: " << *problem << "\n";
      return kExitUsage;
    }
  }

  // The window program's engine, with only the test's spring to play: the stick's own centring
  // off, no effect of the pattern, shared access; the stick the one named, or the first with
  // force feedback.
  std::unique_ptr<SdlInputPlatform> platform = CreateSdlInputPlatform();
  StoredInterval timer;
  EngineServices services;
  services.input = platform.get();
  services.timer = &timer;
  services.settings_path = settings_path.value_or("");
  services.settings = settings;
  services.settings->EXCLUSIVE_ACCESS = false;
  services.settings->FORCE_FEEDBACK = true;
  services.settings->CROSS_ENABLED = services.settings->HOLE_ENABLED = false;
  services.settings->CENTER_ENABLED = services.settings->DAMPER_ENABLED = false;
  int refusal = 0;
  services.choose_stick = [&](JoystickDevice& device) {
    device.ProbeForceFeedback();
    const auto& list = device.List();
    int chosen = -1;
    if (name) {
      device.SelectSavedJoystickByName(*name);
      chosen = device.Selection();
      if (chosen < 0) {
        std::cerr << "kestrane-cli: no joystick named '" << EscapeControls(*name)
                  << "' is attached\n";
      }
    } else {
      for (std::size_t i = 0; i < list.size() && chosen < 0; ++i) {
        if (list[i].force_feedback) chosen = static_cast<int>(i);
      }
      if (chosen < 0) std::cerr << "kestrane-cli: no joystick with force feedback is attached\n";
    }
    if (chosen >= 0 && !list[static_cast<std::size_t>(chosen)].force_feedback) {
      std::cerr << "kestrane-cli: '" << EscapeControls(list[static_cast<std::size_t>(chosen)].name)
                << "' has no force feedback\n";
      chosen = -1;
    }
    if (chosen < 0) refusal = kExitFailure;
    return chosen;
  };
  Engine engine(std::move(services));
  const bool started = engine.Start();
  for (const Notice& notice : engine.TakeNotices()) {
    std::cerr << "kestrane-cli: " << notice.text << "\n";
  }
  if (!started || refusal != 0 || !engine.Device().IsJoystickOpen()) return kExitFailure;
  const std::string stick = engine.OpenStickName();
  const std::string shown = EscapeControls(stick);  // a device names itself: anything goes
  std::string why;
  HapticPort* port = engine.BeginDirectionTest(why);
  if (!port) {
    InputDevice* device = engine.Device().OpenDevice();
    std::cerr << "kestrane-cli: '" << shown
              << (device && device->Haptics()
                      ? "' has no spring effect\n"
                      : "' cannot play force feedback (no write access to its device?)\n");
    return kExitFailure;
  }

  CatchStopSignals(/*interrupt_blocking_calls=*/true);
#if defined(_WIN32)
  std::setvbuf(stdin, nullptr, _IONBF, 0);  // answers read as they come (WaitForStandardInput)
#endif
  std::array<DirectionAnswer, 4> answers{};
  {
    DirectionTestRun run(engine.Effects());
    for (std::size_t i = 0; i < kDirectionSteps.size(); ++i) {
      if (!run.Play(kDirectionSteps[i], settings)) {
        std::cerr << "kestrane-cli: '" << shown << "' refused the test's spring\n";
        return kExitFailure;
      }
      const std::optional<DirectionAnswer> answer = AskDirection(kDirectionSteps[i]);
      if (!answer) {
        run.Stop();
        std::cout << "\n";
        std::cerr << "kestrane-cli: the direction test was cancelled; nothing is changed\n";
        return StopSignal() != 0 ? 128 + StopSignal() : kExitFailure;
      }
      answers[i] = *answer;
    }
  }  // the spring stops here

  const DirectionVerdict verdict = JudgeDirections(answers);
  std::cout << verdict.message << "\n";
  if (verdict.invert_x) std::cout << "FF_INVERT_X=" << (*verdict.invert_x ? 1 : 0) << "\n";
  if (verdict.invert_y) std::cout << "FF_INVERT_Y=" << (*verdict.invert_y ? 1 : 0) << "\n";
  if (!verdict.passed) return kExitFailure;
  std::cout << "FF_TESTED_STICK=" << stick << "\n";
  if (auto refused = engine.EndDirectionTest(verdict)) {
    std::cerr << "kestrane-cli: " << *refused << "\n";
    return kExitFailure;
  }
  return 0;
}

}  // namespace kestrane
