// kestrane-cli: the headless face of Kestrane. Replays recorded stick movements through the very
// same shifting core, settings code, keystroke logic and force-feedback arithmetic as the window
// program, and loads or saves settings files exactly as it does.

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>
#endif

#include "config/setting_keys.h"
#include "config/settings_file.h"
#include "core/messages.h"
#include "core/system.h"
#include "platform/key_guard.h"
#include "platform/stop_signals.h"
#include "platform/system_keyboard.h"
#include "tools/cli_options.h"
#include "tools/device_commands.h"
#include "tools/json_writer.h"
#include "tools/realtime.h"
#include "tools/replay.h"
#include "tools/trace.h"

namespace kestrane {
namespace {

constexpr int kExitUsage = 2;
// The wait before --inject's first key, so that the player can switch to the game.
constexpr double kInjectDelaySeconds = 5;

int Usage(const std::string& message) {
  std::cerr << "kestrane-cli: " << message << "\n"
            << "usage: kestrane-cli replay [--settings FILE] [--set KEY=VALUE]... [--inject] "
               "[--delay SECONDS] [--jsonl] [TRACE]\n"
            << "       kestrane-cli settings FILE [--set KEY=VALUE]... [--save] "
               "[--joystick NAME]\n"
            << "       kestrane-cli devices | record ... | ff-test [--joystick NAME] "
               "[--settings FILE]\n";
  return kExitUsage;
}

int ReplayCommand(const std::vector<std::string>& args) {
  ReplayOptions opts;
  if (std::string error = ParseReplayOptions(args, opts); !error.empty()) return Usage(error);

  Settings settings = DefaultSettings();
  StoredInterval timer(25);
  if (opts.settings_file) {
    // A file named here must be there and readable: defaults in its place would mislead.
    if (!std::filesystem::exists(PathFromText(*opts.settings_file))) {
      std::cerr << "kestrane-cli: the settings file " << EscapeControls(*opts.settings_file)
                << " does not exist\n";
      return kExitUsage;
    }
    if (auto problem = LoadSettings(settings, timer, *opts.settings_file, WriteBack::No)) {
      std::cerr << "kestrane-cli: " << *problem << "\n";
      return kExitUsage;
    }
  }
  std::string joystick;
  if (std::string error = ApplyOverrides(opts.overrides, settings, timer, joystick);
      !error.empty()) {
    return Usage(error);
  }
  ApplyForceFeedbackSwitch(settings);

  std::ifstream file;
  std::istream* in = &std::cin;
  if (opts.trace != "-") {
    file.open(PathFromText(opts.trace), std::ios::binary);
    if (!file) {
      std::cerr << "kestrane-cli: cannot open trace " << EscapeControls(opts.trace) << "\n";
      return kExitUsage;
    }
    in = &file;
  }

  // --inject: one tick per CHECK_INTERVAL with real key waits, the keys typed into the focused
  // window; a stop signal ends the replay after the current tick, releasing any key held.
  std::unique_ptr<KeySink> keyboard;
  std::optional<TickPacer> pacer;
  if (opts.inject) {
    std::string problem;
    keyboard = OpenSystemKeyboard(problem);
    if (!problem.empty()) std::cerr << "kestrane-cli: " << problem << "\n";
    pacer.emplace(RealtimeTickInterval(timer.Interval()));
    CatchStopSignals(/*interrupt_blocking_calls=*/true);
#if defined(_WIN32)
    // A live trace on a pipe is read line by line as it comes (see WaitForStandardInput).
    if (in == &std::cin) std::setvbuf(stdin, nullptr, _IONBF, 0);
#endif
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // a reader that goes away ends the replay, keys released
#endif
    // A stop request meanwhile ends the replay before its first line: nothing is typed.
    CountDown(opts.delay_seconds.value_or(kInjectDelaySeconds), std::cerr);
  }

  Replay replay(settings, std::move(keyboard),
                static_cast<std::uint32_t>(RealtimeTickInterval(timer.Interval()).count()));
  for (const Notice& notice : replay.TakeNotices()) {
    std::cerr << "kestrane-cli: " << notice.text << "\n";
  }
  if (!opts.jsonl) std::cout << TableHeader() << "\n";
  std::string line;
  std::size_t line_no = 0;
  TraceLineReader lines(*in);
  // A stop request also ends a wait for the next line of a live trace.
  const auto keep_going = [&] {
    return !pacer || (in == &std::cin ? WaitForStandardInput() : StopSignal() == 0);
  };
  while (keep_going() && lines.Next(line)) {
    ++line_no;
    const TraceLine parsed = ParseTraceLine(line);
    if (parsed.kind == TraceLineKind::Skip) continue;
    if (parsed.kind == TraceLineKind::Back) {
      replay.StickBack();
      continue;
    }
    if (parsed.kind == TraceLineKind::Bad) {
      std::cout.flush();
      std::cerr << "kestrane-cli: " << (opts.trace == "-" ? "<stdin>" : EscapeControls(opts.trace))
                << ": line " << line_no << ": " << parsed.error << "\n";
      replay.Finish();
      return kExitUsage;
    }
    if (pacer && !pacer->WaitForTick()) break;
    const ReplayTick tick = replay.Step(parsed);
    std::cout << (opts.jsonl ? TickToJson(tick) : TickToTableRow(tick)) << "\n";
    if (pacer) std::cout.flush();
    if (!std::cout) break;  // the reader has gone (a closed pipe): release and end
  }
  replay.Finish();
  std::cout.flush();
  return pacer && StopSignal() != 0 ? 128 + StopSignal() : 0;
}

void PrintRecord(const Settings& s, const IntervalTimer& timer, const std::string& joystick) {
  JsonWriter w;
  w.BeginObject();
  // One object per section, each with its keys in the order of the save (the keys added later
  // come after the KEYBOARD keys in that order, yet belong to MAIN).
  for (const char* section : {kSectionMain, kSectionKeyboard}) {
    w.Key(section).BeginObject();
    for (const SettingKey& key : SaveOrder()) {
      if (std::string_view(key.section) != section) continue;
      w.Key(key.name);
      switch (key.kind) {
        case SettingKey::Kind::Joystick:
          w.String(joystick);
          break;
        case SettingKey::Kind::Text:
          w.String(s.FF_TESTED_STICK);
          break;
        case SettingKey::Kind::Sequence:
          w.String(s.Sequence());
          break;
        case SettingKey::Kind::Interval:
          w.Int(static_cast<std::int32_t>(timer.Interval()));
          break;
        default:
          w.Int(GetSettingInt(s, key));
          break;
      }
    }
    w.EndObject();
  }
  w.EndObject();
  std::cout << w.str() << "\n";
}

int SettingsCommand(const std::vector<std::string>& args) {
  SettingsOptions opts;
  if (std::string error = ParseSettingsOptions(args, opts); !error.empty()) return Usage(error);
  // Validate the overrides before touching the file.
  {
    Settings scratch;
    StoredInterval scratch_timer;
    std::string scratch_name;
    if (std::string error = ApplyOverrides(opts.overrides, scratch, scratch_timer, scratch_name);
        !error.empty()) {
      return Usage(error);
    }
  }

  Settings settings;
  StoredInterval timer(10);
  std::vector<std::string> failures;
  std::string notice;  // a copy kept of a file Kestrane could not read completely
  if (auto error = LoadSettings(settings, timer, opts.file, WriteBack::Yes, &notice)) {
    failures.push_back(*error);
  }
  // Without --joystick the file's remembered stick stays; --joystick "" clears it.
  std::string joystick = opts.joystick ? *opts.joystick : ReadSavedJoystick(opts.file);
  ApplyOverrides(opts.overrides, settings, timer, joystick);
  if (opts.save) {
    if (auto error = SaveSettings(settings, timer, joystick, opts.file, &notice)) {
      if (failures.empty() || failures.back() != *error) failures.push_back(*error);
    }
  }
  PrintRecord(settings, timer, joystick);
  if (!notice.empty()) std::cerr << "kestrane-cli: " << notice << "\n";
  for (const std::string& f : failures) std::cerr << f << "\n";
  return failures.empty() ? 0 : 1;
}

}  // namespace
// The arguments as UTF-8. Windows hands main() the ANSI code page's text, which loses any
// character outside it (a folder named 設定): the wide command line is read instead.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(TextFromPath(std::filesystem::path(wide[i])));
    LocalFree(wide);
    SetConsoleOutputCP(CP_UTF8);
    return args;
  }
#endif
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace kestrane

int main(int argc, char** argv) {
  if (auto status = kestrane::RunKeyGuardIfAsked(argc, argv)) return *status;
  std::vector<std::string> args = kestrane::Arguments(argc, argv);
  if (args.empty()) return kestrane::Usage("no command given");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "replay") return kestrane::ReplayCommand(args);
  if (command == "settings") return kestrane::SettingsCommand(args);
  if (command == "devices") return kestrane::DevicesCommand(args);
  if (command == "record") return kestrane::RecordCommand(args);
  if (command == "ff-test") return kestrane::FfTestCommand(args);
  if (command == "--help" || command == "-h" || command == "help") {
    kestrane::Usage("the headless face of Kestrane");
    return 0;
  }
  return kestrane::Usage("unknown command '" + kestrane::EscapeControls(command) + "'");
}
