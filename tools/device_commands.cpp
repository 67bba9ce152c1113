#include "tools/device_commands.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>

#include "config/setting_keys.h"
#include "core/effects.h"
#include "core/shift_state.h"
#include "device/joystick_device.h"
#include "device/sdl_input.h"
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
            << "       kestrane-cli record [--joystick NAME] [--interval MS] [--ticks N]\n";
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
      return "unknown argument '" + args[i] + "'";
    }
  }
  return {};
}

int DevicesCommand(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("devices takes no arguments");
  Input input;
  if (!input.Start()) return kExitFailure;
  const auto& list = input.device.List();
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

  Input input;
  if (!input.Start()) return kExitFailure;
  if (input.device.List().empty()) {
    std::cerr << "kestrane-cli: no joystick attached\n";
    return kExitFailure;
  }
  if (opts.joystick) {
    input.device.SelectSavedJoystickByName(*opts.joystick);
    if (input.device.Selection() < 0) {
      std::cerr << "kestrane-cli: no joystick named '" << *opts.joystick << "'\n";
      return kExitFailure;
    }
  } else {
    input.device.SelectFirstIfNone();
  }

  // Recording only reads: shared access, the device's own centring left alone, no effects.
  Settings settings = DefaultSettings();
  settings.EXCLUSIVE_ACCESS = false;
  settings.FORCE_FEEDBACK = false;
  ApplyForceFeedbackSwitch(settings);
  ShiftState state;
  ResetShiftState(state);
  if (!input.device.OpenJoystick(settings, state)) {
    input.device.CloseJoystick();
    return kExitFailure;
  }

  CatchStopSignals(/*interrupt_blocking_calls=*/false);
  InputDevice& stick = *input.device.OpenDevice();
  TickPacer pacer(std::chrono::milliseconds(opts.interval_ms));
  for (std::int64_t tick = 0; !opts.ticks || tick < *opts.ticks; ++tick) {
    if (tick > 0 && !pacer.WaitForTick()) break;
    if (StopSignal() != 0) break;
    stick.Poll();
    StickSample sample;
    const bool read = stick.Read(sample) == InputStatus::Ok;
    std::cout << (read ? FormatTraceLine(sample) : std::string("fail")) << '\n' << std::flush;
    if (!std::cout) break;  // the reader has gone
  }
  return 0;
}

}  // namespace kestrane
