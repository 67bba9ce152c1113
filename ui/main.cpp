// kestrane: the window program. Creates the main window and the settings dialog, runs the event
// loop and ends with the main window.
//
//   kestrane [--virtual-stick]
//
// --virtual-stick (or KESTRANE_VIRTUAL_STICK=1) attaches an on-screen stick, listed as
// "Kestrane virtual stick", that the mouse drives on the position display.
// KESTRANE_DISPLAY_DUMP=<file> writes the display's label texts to <file> whenever they change
// (the end-to-end tests read the gear from it). KESTRANE_TICK_LOG=<file> timestamps the polling
// timer's ticks and writes them to <file> at the end (scripts/measure-window). SIGINT and SIGTERM
// close the main window; on Windows, so do Ctrl+C and the end of the session (logoff, shutdown),
// which lets the held key up before Windows ends the process. SIGTSTP (Ctrl+Z) lets go of the
// held key before the program stops, SIGCONT presses it again.

#include <SDL.h>

#if defined(_WIN32)
#include <QTimer>
#else
#include <unistd.h>

#include <QSocketNotifier>
#endif
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "config/settings_file.h"
#include "core/messages.h"
#include "device/force_guard.h"
#include "device/sdl_input.h"
#include "platform/key_guard.h"
#include "platform/key_queue.h"
#include "platform/stop_signals.h"
#include "platform/system_keyboard.h"
#include "platform/system_shifter.h"
#include "ui/application.h"
#include "ui/display_check.h"
#include "ui/main_window.h"
#include "ui/settings_dialog.h"
#include "ui/single_instance.h"

namespace {

// A stop request (SIGINT, SIGTERM) closes the main window like its close button does, so that a
// held key comes up and the joystick is released before the program ends with status 0.
void CloseOnStopRequest(kestrane::MainWindow& window, kestrane::KeyQueue* keys) {
  kestrane::CatchStopSignals(/*interrupt_blocking_calls=*/false);
#if defined(_WIN32)
  // The session ending: Windows ends the process soon after WM_ENDSESSION, so the window closes
  // and the releases are typed before the handler returns, not after the event loop ends.
  auto end_now = [&window, keys] {
    window.RequestClose();
    if (keys) keys->Flush();
  };
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window, end_now);
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, &window, end_now);
  // Ctrl+C from a console it was started from: no descriptor to watch, the flag is polled.
  auto* poll = new QTimer(&window);
  QObject::connect(poll, &QTimer::timeout, &window, [&window] {
    if (kestrane::StopSignal() != 0) window.RequestClose();
  });
  poll->start(100);
#else
  (void)keys;
  const int fd = kestrane::StopSignalDescriptor();
  if (fd < 0) return;
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &window);
  kestrane::CatchSuspendSignals();
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, fd] {
    char byte = 0;
    [[maybe_unused]] const auto n = read(fd, &byte, 1);
    if (kestrane::StopSignal() != 0) {
      window.RequestClose();
      return;
    }
    // Ctrl+Z: the held key and button come up before the program stands still, and the gear
    // goes out again when it continues.
    while (kestrane::TakeSuspendRequest()) {
      window.GetEngine().Suspend();
      kestrane::SuspendNow();
      window.GetEngine().Resume();
    }
  });
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (auto status = kestrane::RunKeyGuardIfAsked(argc, argv)) return *status;
  if (auto status = kestrane::RunForceGuardIfAsked(argc, argv)) return *status;
  // SDL must leave SIGINT and SIGTERM to the program.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Qt aborts without a display; say why and end instead.
  if (const std::string problem = kestrane::DisplayProblem(argc, argv); !problem.empty()) {
    std::fprintf(stderr, "Kestrane: %s\n", kestrane::EscapeControls(problem).c_str());
    return 1;
  }

  kestrane::KestraneApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Kestrane"));
  app.setDesktopFileName(QStringLiteral("kestrane"));
  // The main window's close ends the program; a message box closing while the window sits in the
  // tray must not.
  app.setQuitOnLastWindowClosed(false);

  bool virtual_stick = kestrane::VirtualStickRequested();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--virtual-stick") == 0) virtual_stick = true;
  }

  // One program per settings file: a second start brings the running one forward and ends.
  const std::string settings_path = kestrane::SettingsFilePath();
  kestrane::SingleInstance instance(settings_path);
  if (!instance.Primary()) {
    std::fprintf(stderr, "Kestrane is already running with %s; its window is brought forward.\n",
                 kestrane::EscapeControls(settings_path).c_str());
    return 0;
  }
  if (!instance.Problem().empty()) {
    std::fprintf(stderr, "Kestrane: %s\n", kestrane::EscapeControls(instance.Problem()).c_str());
  }

  std::unique_ptr<kestrane::SdlInputPlatform> input =
      kestrane::CreateSdlInputPlatform(virtual_stick);

  kestrane::MainWindowServices services;
  services.input = input.get();
  // Typed on a thread of its own, so that a long press time never holds the window; problems
  // found while typing reach the window as messages.
  kestrane::KeyQueue* keys = nullptr;  // owned by the main window, which outlives its use here
  services.open_keyboard = [&keys](std::string& problem, kestrane::MessageSink& report) {
    auto queue = std::make_unique<kestrane::KeyQueue>(kestrane::OpenSystemKeyboard(problem, report));
    keys = queue.get();
    return queue;
  };
  services.open_shifter = [](std::string& problem) { return kestrane::OpenSystemShifter(problem); };
  services.start_force_guard = [](const std::string& node, std::chrono::milliseconds limit) {
    return kestrane::StartForceGuard(node, limit);
  };
  services.settings_path = settings_path;
  services.virtual_stick = input->GetVirtualStick();
  if (const char* dump = std::getenv("KESTRANE_DISPLAY_DUMP")) {
    services.display_dump_path = QString::fromLocal8Bit(dump);
  }
  if (const char* ticks = std::getenv("KESTRANE_TICK_LOG")) services.tick_log_path = ticks;
  services.quit_on_close = true;

  int status = 0;
  {
    kestrane::MainWindow main_window(std::move(services));
    kestrane::SettingsDialog settings_dialog;
    main_window.SetSettingsDialog(&settings_dialog);
    CloseOnStopRequest(main_window, keys);
    instance.OnActivate([&main_window] { main_window.RestoreFromTray(); });
    main_window.show();  // the first show runs the start-up
    if (auto code = main_window.StartupExitCode()) {
      status = *code;
    } else if (main_window.CloseRequested()) {
      status = 0;  // a stop request came during the start-up: closed already
    } else {
      status = app.exec();
    }
  }
  return status;
}
