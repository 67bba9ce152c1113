#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/setting_keys.h"
#include "config/settings_file.h"
#include "device/no_joystick.h"
#include "tests/support/fake_key_sink.h"
#include "tests/support/recording_messages.h"
#include "tests/support/running_under_wine.h"
#include "tests/support/scripted_haptic.h"
#include "tests/support/scripted_input.h"
#include "ui/application.h"
#include "ui/direction_test_dialog.h"
#include "ui/position_panel.h"
#include "ui/settings_dialog.h"

namespace kestrane {
namespace {

// The H-shifter's buttons go into the platform's log too.
class LoggingShifter final : public ShifterPort {
 public:
  explicit LoggingShifter(std::vector<std::string>& log) : log_(log) {}
  ~LoggingShifter() override { log_.push_back("shifter gone"); }
  void SetGearButton(int button) override { log_.push_back("shifter " + std::to_string(button)); }

 private:
  std::vector<std::string>& log_;
};

// Keeps each move of the stick as its (X, Y) pair; a move sets X, then Y.
class RecordingStick final : public VirtualStick {
 public:
  void SetAxis(int axis, std::int32_t value) override {
    if (axis == 0) x_ = value;
    if (axis == 1) axes.push_back({x_, value});
  }
  void SetButton(int index, bool pressed) override { buttons.push_back({index, pressed}); }
  void Unplug() override {}
  bool Plug() override { return true; }
  std::vector<std::pair<std::int32_t, std::int32_t>> axes;
  std::vector<std::pair<int, bool>> buttons;

 private:
  std::int32_t x_ = 0;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Contains(const std::vector<std::string>& log, const std::string& entry) {
  return std::find(log.begin(), log.end(), entry) != log.end();
}

std::ptrdiff_t IndexOf(const std::vector<std::string>& log, const std::string& entry) {
  const auto it = std::find(log.begin(), log.end(), entry);
  return it == log.end() ? -1 : it - log.begin();
}

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath(QStringLiteral("Kestrane.ini")).toStdString();
  }
  void TearDown() override {
    form.reset();
    dialog.reset();
  }

  void WriteSettings(const std::string& text) { std::ofstream(path) << text; }

  void Make(std::optional<bool> tray = false) {
    MainWindowServices s;
    s.input = &input;
    s.open_keyboard = [this](std::string& problem, MessageSink&) -> std::unique_ptr<KeySink> {
      problem = keyboard_problem;
      return std::make_unique<test::FakeKeySink>(input.log);
    };
    s.open_shifter = open_shifter;
    s.settings_path = path;
    s.virtual_stick = virtual_stick;
    s.messages = record_messages ? &recorded_messages : nullptr;
    s.tray_available = tray;
    s.display_dump_path = dump_path;
    s.startup_trace = [this](const char* step) {
      trace.emplace_back(step);
      if (on_step) on_step(step);
    };
    form = std::make_unique<MainWindow>(std::move(s));
    dialog = std::make_unique<SettingsDialog>();
    form->SetSettingsDialog(dialog.get());
  }

  void MakeAndShow(std::optional<bool> tray = false) {
    Make(tray);
    form->show();
  }

  // Drives one tick with the stick at (x, y) and the main window active.
  void Tick(std::int32_t x, std::int32_t y, bool active = true) {
    input.sample.X = x;
    input.sample.Y = y;
    if (active) {
      form->activateWindow();
      QApplication::setActiveWindow(form.get());
    }
    form->OnPollTimer();
  }

  // Moves the stick as a hand would: back to the neutral line in its lane, along the line to
  // the lane of (x, y), then into the slot, a few ticks each.
  void Shift(std::int32_t x, std::int32_t y) {
    const std::int32_t from_x = input.sample.X;
    for (int i = 0; i < 4; ++i) Tick(from_x, 32767);
    for (int i = 0; i < 4; ++i) Tick(x, 32767);
    for (int i = 0; i < 4; ++i) Tick(x, y);
  }

  QTemporaryDir dir;
  std::string path;
  ScriptedInput input;
  std::vector<std::string> messages;
  test::RecordingMessages recorded_messages{messages};
  bool record_messages = true;  // false: real message boxes
  std::vector<std::string> trace;
  std::function<void(const std::string&)> on_step;
  std::string keyboard_problem;
  std::function<std::unique_ptr<ShifterPort>(std::string&)> open_shifter;
  RecordingStick* virtual_stick = nullptr;
  QString dump_path;
  std::unique_ptr<MainWindow> form;
  std::unique_ptr<SettingsDialog> dialog;
};

JoystickListEntry Stick(const std::string& name, const std::string& id) {
  return {name, id, false};
}

TEST_F(MainWindowTest, TimerTicksEveryTenMillisecondsUntilTheLoad) {
  input.joysticks = {Stick("Pad", "pad-1")};
  Make();
  EXPECT_TRUE(form->poll_timer->isActive());
  EXPECT_EQ(form->poll_timer->interval(), 10);
  EXPECT_EQ(form->Timer().Interval(), 10u);
  EXPECT_EQ(form->poll_timer->timerType(), Qt::PreciseTimer);
  EXPECT_EQ(form->poll_timer->objectName(), "DevTimer");
  form->show();
  EXPECT_EQ(form->poll_timer->interval(), 25);  // CHECK_INTERVAL's default
  EXPECT_TRUE(form->poll_timer->isActive());
}

// With no stick there is nothing to look at on every tick: the timer rests and a look comes now
// and then (this platform tells nothing of devices coming and going); a stick brings it back.
TEST_F(MainWindowTest, TimerRestsWhileNoStickIsOpen) {
  MakeAndShow();
  EXPECT_FALSE(form->poll_timer->isActive());
  input.joysticks = {Stick("Pad", "pad-1")};
  input.plugged = true;
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->poll_timer->isActive(); }, 5000));
  EXPECT_EQ(form->poll_timer->interval(), 25);
}

TEST_F(MainWindowTest, CheckIntervalZeroStopsTheTimerAndANewValueRestartsIt) {
  input.joysticks = {Stick("Pad", "pad-1")};
  WriteSettings("[MAIN]\nCHECK_INTERVAL=0\n");
  MakeAndShow();
  EXPECT_FALSE(form->poll_timer->isActive());
  EXPECT_EQ(form->Timer().Interval(), 0u);
  form->Timer().SetInterval(40);
  EXPECT_TRUE(form->poll_timer->isActive());
  EXPECT_EQ(form->poll_timer->interval(), 40);
}

TEST_F(MainWindowTest, TimerKeepsPollingWhileTheWindowIsHidden) {
  input.joysticks = {Stick("Pad", "pad-1")};
  WriteSettings("[MAIN]\nCHECK_INTERVAL=5\n");
  MakeAndShow();
  form->hide();
  const auto reads_before = std::count(input.log.begin(), input.log.end(), "read");
  QTest::qWait(120);
  EXPECT_GT(std::count(input.log.begin(), input.log.end(), "read"), reads_before + 5);
}

TEST_F(MainWindowTest, FirstShowRunsTheStartUpInOrder) {
  input.joysticks = {Stick("Pad A", "a"), Stick("Pad B", "b")};
  WriteSettings("[MAIN]\nJOYSTICK=pad b\nJOY_GEAR_WIDTH=20000\n");
  Make();
  form->State().StickX = 1;  // stale values the start-up must put right
  form->State().CurrentGear = 4;
  form->State().SentGear = 4;
  form->State().SwitchLatched = true;
  form->State().NeutralFlags = 3;

  std::vector<std::string> device_log_at_step;
  on_step = [this](const std::string& step) {
    if (step == "ListJoysticks") {
      EXPECT_EQ(input.log, (std::vector<std::string>{"start"}));
    }
    if (step == "SelectSavedJoystick") {
      EXPECT_EQ(dialog->device_list->count(), 2);
      EXPECT_EQ(dialog->device_list->itemText(1), "Pad B");
    }
    if (step == "LoadSettings") {
      EXPECT_EQ(form->Device().Selection(), 1);     // the saved name, letter case aside
      EXPECT_EQ(form->Record().JOY_GEAR_WIDTH, 0);  // not loaded yet
      EXPECT_EQ(form->State().CurrentGear, kNeutral);
    }
    if (step == "ForceFeedbackSwitch") {
      EXPECT_EQ(form->Record().JOY_GEAR_WIDTH, 20000);
    }
    if (step == "DrawPattern") {
      EXPECT_EQ(form->State().StickX, 32767);
      EXPECT_TRUE(form->PosPanel->BackImg->pixmap().isNull());
    }
    if (step == "OpenJoystick") {
      EXPECT_FALSE(form->PosPanel->BackImg->pixmap().isNull());
      EXPECT_FALSE(Contains(input.log, "open b"));
    }
  };
  form->show();

  EXPECT_EQ(trace, (std::vector<std::string>{"ResetGears", "StartInput", "ListJoysticks",
                                             "SelectSavedJoystick", "LoadSettings",
                                             "ForceFeedbackSwitch", "SelectFirstJoystick",
                                             "CentrePositions", "DrawPattern", "OpenJoystick"}));
  EXPECT_EQ(input.log,
            (std::vector<std::string>{"start", "list", "open b", "claim exclusive", "autocenter"}));
  EXPECT_TRUE(form->Device().IsJoystickOpen());
  EXPECT_EQ(dialog->device_list->currentIndex(), 1);
  EXPECT_EQ(dialog->device_list->currentText(), "Pad B");
  EXPECT_EQ(dialog->device_list->itemData(0).toString(), "a");
  const ShiftState& s = form->State();
  EXPECT_EQ(s.CurrentGear, kNeutral);
  EXPECT_EQ(s.SentGear, kNeutral);
  EXPECT_FALSE(s.SwitchLatched);
  EXPECT_EQ(s.NeutralFlags, 0);
  EXPECT_EQ(s.GateX, 32767);
  EXPECT_EQ(s.HoleY, 32767);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(HintHidePause(), 20000);
  // The first start writes the complete file.
  EXPECT_NE(ReadFile(path).find("CHECK_INTERVAL=25"), std::string::npos);
  EXPECT_NE(ReadFile(path).find("SYM_TYPE=0"), std::string::npos);
}

TEST_F(MainWindowTest, LaterShowsDoNothing) {
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow();
  const auto log = input.log;
  const auto steps = trace;
  form->hide();
  form->show();
  form->showMinimized();
  form->showNormal();
  EXPECT_EQ(input.log, log);
  EXPECT_EQ(trace, steps);
}

struct StartFailure {
  ScriptedInput::Op op;
  const char* message;
  std::size_t platform_calls;
};

class StartFailureTest : public MainWindowTest, public testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailureTest, ShowsTheMessageAndEndsTheProgramWithMinusOne) {
  input.joysticks = {Stick("Pad", "pad-1")};
  input.Fail(GetParam().op);
  MakeAndShow();
  EXPECT_EQ(messages, std::vector<std::string>{GetParam().message});
  EXPECT_EQ(form->StartupExitCode(), -1);
  EXPECT_EQ(input.log.size(), GetParam().platform_calls);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));  // the start-up went no further
  EXPECT_FALSE(form->Device().IsJoystickOpen());
  EXPECT_TRUE(form->PosPanel->BackImg->pixmap().isNull());
  // Not retried by a later show.
  form->hide();
  form->show();
  EXPECT_EQ(messages.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    InputService, StartFailureTest,
    testing::Values(StartFailure{ScriptedInput::Op::StartLibrary, "Can't initialize DirectX8", 1},
                    StartFailure{ScriptedInput::Op::StartService, "Can't initialize DirectXInput8",
                                 1},
                    StartFailure{ScriptedInput::Op::List, "Can't enumerate devices", 2}));

TEST_F(MainWindowTest, StartsNormallyWithoutAnExitCode) {
  MakeAndShow();
  EXPECT_FALSE(form->StartupExitCode().has_value());
}

TEST_F(MainWindowTest, UnwritableSettingsFileIsReportedAndTheStartGoesOn) {
  input.joysticks = {Stick("Pad", "pad-1")};
  path = dir.filePath(QStringLiteral("no-such-folder/Kestrane.ini")).toStdString();
  MakeAndShow();
  ASSERT_EQ(messages.size(), 1u);
  // The path as the system writes it (backslashes on Windows).
  const std::string shown = QDir::toNativeSeparators(QString::fromStdString(path)).toStdString();
  EXPECT_TRUE(messages[0].starts_with("Unable to write to " + shown + "\n")) << messages[0];
  EXPECT_FALSE(form->StartupExitCode().has_value());
  // The values read (here every default) drive the run; nothing is left zeroed.
  Settings expected = DefaultSettings();
  ApplyForceFeedbackSwitch(expected);
  EXPECT_EQ(form->Record(), expected);
  EXPECT_EQ(form->poll_timer->interval(), 25);
  EXPECT_FALSE(form->PosPanel->BackImg->pixmap().isNull());
  EXPECT_TRUE(form->Device().IsJoystickOpen());
  EXPECT_EQ(trace.back(), "OpenJoystick");
}

TEST_F(MainWindowTest, SettingsFileNotReadCompletelyIsKeptAndTheCopyNamed) {
  WriteSettings("[MAIN]\nREVERSE_X=sometimes\nnot a setting\n");
  MakeAndShow();
  const QStringList copies =
      QDir(dir.path()).entryList({QStringLiteral("Kestrane.ini.bak-*")}, QDir::Files);
  ASSERT_EQ(copies.size(), 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(copies[0].toStdString()), std::string::npos) << messages[0];
  EXPECT_FALSE(form->StartupExitCode().has_value());
  EXPECT_FALSE(form->Record().REVERSE_X);
}

TEST_F(MainWindowTest, ForceFeedbackOffClearsTheEffectSwitchesInMemoryOnly) {
  WriteSettings(
      "[MAIN]\nFORCE_FEEDBACK=0\nDAMPER_ENABLED=1\nCROSS_ENABLED=1\nHOLE_ENABLED=1\n"
      "CENTER_ENABLED=1\n");
  MakeAndShow();
  EXPECT_FALSE(form->Record().DAMPER_ENABLED);
  EXPECT_FALSE(form->Record().CROSS_ENABLED);
  EXPECT_FALSE(form->Record().HOLE_ENABLED);
  EXPECT_FALSE(form->Record().CENTER_ENABLED);
  const std::string file = ReadFile(path);
  for (const char* key :
       {"DAMPER_ENABLED=1", "CROSS_ENABLED=1", "HOLE_ENABLED=1", "CENTER_ENABLED=1"}) {
    EXPECT_NE(file.find(key), std::string::npos) << key;
  }
}

// A remembered stick that is away is waited for, not replaced by another device (a wheel, say);
// the list shows it "(not connected)" and a Save keeps it unless another is picked.
TEST_F(MainWindowTest, RememberedStickAwayIsWaitedForAndKept) {
  input.joysticks = {Stick("Wheel", "w"), Stick("Pad B", "b")};
  WriteSettings("[MAIN]\nJOYSTICK=My Stick\n");
  MakeAndShow();
  EXPECT_FALSE(Contains(input.log, "open w"));
  EXPECT_FALSE(form->Device().IsJoystickOpen());
  ASSERT_EQ(dialog->device_list->count(), 3);
  EXPECT_EQ(dialog->device_list->currentText(), "My Stick (not connected)");
  EXPECT_EQ(form->Label1->text(), "Stick not connected");
  EXPECT_TRUE(form->status_hint->isVisible());
  EXPECT_TRUE(form->status_hint->text().contains("My Stick is not connected"));

  form->OnSettingsClicked();
  dialog->gear_cross_size_edit->setText(QStringLiteral("3000"));
  dialog->OnSaveClicked();
  EXPECT_EQ(ReadFile(path).find("JOYSTICK=My Stick\n") != std::string::npos, true)
      << ReadFile(path);
  EXPECT_TRUE(messages.empty());

  // Plugged in, it is opened by itself within half a second of ticks.
  input.joysticks.push_back(Stick("My Stick", "m"));
  for (int i = 0; i < 25; ++i) Tick(32767, 32767);
  EXPECT_TRUE(Contains(input.log, "open m"));
  EXPECT_TRUE(form->Device().IsJoystickOpen());
  EXPECT_EQ(dialog->device_list->count(), 3);
  EXPECT_EQ(dialog->device_list->currentText(), "My Stick");
  EXPECT_EQ(form->Label1->text(), "Actual state:");
  EXPECT_FALSE(form->status_hint->isVisible());
}

// With nothing attached at all, a Save keeps the remembered stick too; picking another stick
// replaces it.
TEST_F(MainWindowTest, SaveWithoutAnyStickKeepsTheRememberedOne) {
  WriteSettings("[MAIN]\nJOYSTICK=My Stick\n");
  MakeAndShow();
  form->OnSettingsClicked();
  dialog->OnSaveClicked();
  EXPECT_NE(ReadFile(path).find("JOYSTICK=My Stick\n"), std::string::npos) << ReadFile(path);

  input.joysticks = {Stick("Pad", "p")};
  form.reset();
  dialog.reset();
  MakeAndShow();
  form->OnSettingsClicked();
  ASSERT_EQ(dialog->device_list->count(), 2);
  dialog->device_list->setCurrentIndex(0);
  dialog->OnSaveClicked();
  EXPECT_NE(ReadFile(path).find("JOYSTICK=Pad\n"), std::string::npos) << ReadFile(path);
}

// No stick read: the window says so where the gear is shown, with the likely reason.
TEST_F(MainWindowTest, NoStickSaysWhyWhereTheGearIsShown) {
  MakeAndShow();
  EXPECT_EQ(form->Label1->text(), "No joystick");
  EXPECT_FALSE(form->Label3->isVisible());
  ASSERT_TRUE(form->status_hint->isVisible());
  EXPECT_EQ(
      form->status_hint->text().toStdString(),
      "No joystick found: " + NoJoystickReason() + ". Kestrane opens the first one plugged in.");
  EXPECT_TRUE(form->status_hint->textInteractionFlags() & Qt::TextSelectableByMouse);
  // On the pattern, inside the window.
  EXPECT_TRUE(form->PosPanel->geometry().contains(form->status_hint->geometry()));
}

// The window's captions fit it in every state it shows.
TEST_F(MainWindowTest, StatusTextsFitTheWindow) {
  if (kestrane::testing_support::RunningUnderWine()) {
    GTEST_SKIP() << "Wine has none of Windows' fonts: text is laid out in a wider face than on "
                    "Windows or Linux";
  }
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow(/*tray=*/true);
  auto fits = [&](const char* state) {
    for (const QLabel* label : form->findChildren<QLabel*>()) {
      if (!label->isVisible() || label->wordWrap() || !label->pixmap().isNull()) continue;
      EXPECT_TRUE(form->rect().contains(label->geometry()))
          << state << ": " << label->objectName().toStdString() << " '"
          << label->text().toStdString() << "'";
      EXPECT_GE(label->width(), label->sizeHint().width()) << state;
    }
  };
  fits("running");
  form->SetShiftingPaused(true);
  fits("paused");
  form->SetShiftingPaused(false);
  input.joysticks.clear();
  input.Fail(ScriptedInput::Op::Read);
  Tick(32767, 32767);
  ASSERT_TRUE(form->Device().Lost());
  fits("disconnected");
}

// Messages can be selected and copied (they carry commands to type).
TEST_F(MainWindowTest, MessageBoxTextCanBeSelected) {
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow();
  form.reset();
  dialog.reset();
  record_messages = false;  // real message boxes
  MakeAndShow();
  bool checked = false;
  QTimer::singleShot(0, form.get(), [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    checked = (box->textInteractionFlags() & Qt::TextSelectableByMouse) != 0;
    box->close();
  });
  form->ShowMessage(MessageKind::Error, "sudo modprobe uinput");
  EXPECT_TRUE(checked);
}

// The settings dialog opens beside the window, not over it, and the window's place is kept
// between starts.
TEST_F(MainWindowTest, DialogBesideAndWindowPlaceRemembered) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  MakeAndShow();
  form->move(screen.topLeft() + QPoint(10, 40));
  form->OnSettingsClicked();
  const QRect d = dialog->frameGeometry(), m = form->frameGeometry();
  EXPECT_TRUE(screen.contains(d)) << d.x() << "," << d.y();
  if (m.width() + 8 + d.width() <= screen.width()) {  // the offscreen screen may be too small
    EXPECT_FALSE(d.intersects(m)) << "dialog " << d.x() << " window " << m.x();
  }
  form->move(screen.topLeft() + QPoint(10, 40));
  const QPoint place = form->geometry().topLeft();
  form->close();
  form.reset();
  dialog.reset();
  MakeAndShow();
  EXPECT_EQ(form->geometry().topLeft(), place);
}

TEST_F(MainWindowTest, NoJoystickAttachedRunsQuietlyWithAStillDisplay) {
  MakeAndShow();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(dialog->device_list->count(), 0);
  EXPECT_FALSE(form->Device().IsJoystickOpen());
  Tick(0, 0);
  EXPECT_EQ(form->Xl->text(), "X:");
  EXPECT_EQ(form->Label3->text(), "N");
  EXPECT_EQ(form->PosPanel->Cross->pos(), QPoint(123, 120));
}

TEST_F(MainWindowTest, JoystickThatCannotBeOpenedIsClosedAndTheProgramRunsOn) {
  input.joysticks = {Stick("Pad", "pad-1")};
  input.Fail(ScriptedInput::Op::ClaimLost);
  MakeAndShow();
  EXPECT_EQ(messages, std::vector<std::string>{"Can't acquire device"});
  EXPECT_FALSE(form->StartupExitCode().has_value());
  EXPECT_FALSE(form->Device().IsJoystickOpen());
  EXPECT_FALSE(form->status_hint->isVisible());  // it was said why; "no joystick" would be wrong
  EXPECT_EQ(input.devices_alive, 0);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(MainWindowTest, KeyboardProblemIsShownOnceAfterTheStart) {
  keyboard_problem = "No key output: uinput is not available";
  MakeAndShow();
  form->hide();
  form->show();
  EXPECT_EQ(messages, std::vector<std::string>{keyboard_problem});
}

TEST_F(MainWindowTest, DisplayFollowsTheStickOnlyWhileTheMainWindowIsActive) {
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow();
  QApplication::setActiveWindow(nullptr);
  Tick(0, 0, /*active=*/false);
  EXPECT_EQ(form->Xl->text(), "X:");
  EXPECT_EQ(form->PosPanel->Cross->pos(), QPoint(123, 120));
  EXPECT_EQ(form->State().StickX, 0);  // the tick itself ran

  dialog->show();
  QApplication::setActiveWindow(dialog.get());  // the settings dialog has the focus
  Tick(100, 100, /*active=*/false);
  EXPECT_EQ(form->Xl->text(), "X:");
  dialog->hide();

  Tick(32767, 32767);
  EXPECT_TRUE(form->IsMainWindowActive());
  EXPECT_EQ(form->Xl->text(), "X:32767");
  EXPECT_EQ(form->Yl->text(), "Y:32767");
  EXPECT_EQ(form->Bl->text(), "B:0");
  EXPECT_EQ(form->Bs->text(), "Bstate:No");
  EXPECT_EQ(form->PosPanel->Cross->pos(), QPoint(120, 120));
  EXPECT_EQ(form->PosPanel->Gear->pos(), QPoint(111, 111));
  EXPECT_EQ(form->PosPanel->Hole->pos(), QPoint(111, 111));

  Tick(0, 0);
  EXPECT_EQ(form->PosPanel->Cross->pos(), QPoint(-7, -7));
  EXPECT_EQ(form->Xl->text(), "X:0");
}

TEST_F(MainWindowTest, GearLabelShowsTheGearAndReverseAsR) {
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow();
  Shift(32767, 0);  // centre lane, top row
  EXPECT_EQ(form->Label3->text(), "3");
  EXPECT_EQ(form->PosPanel->Gear->pos().y(), (16384 >> 8) - 16);
  Shift(32767, 32767);
  EXPECT_EQ(form->Label3->text(), "N");
  Shift(65535, 65535);  // right lane, bottom row
  EXPECT_EQ(form->Label3->text(), "6");
  Shift(32767, 32767);
  input.sample.Buttons[0] = 0x80;  // the switch button (button 1 by default)
  Shift(65535, 65535);
  EXPECT_EQ(form->Bs->text(), "Bstate:Yes");
  EXPECT_EQ(form->Label3->text(), "7");
  Shift(32767, 32767);
  Shift(0, 0);  // left lane, top row with the switch: reverse
  EXPECT_EQ(form->Label3->text(), "R");
}

TEST_F(MainWindowTest, DisplayDumpFollowsTheLabels) {
  input.joysticks = {Stick("Pad", "pad-1")};
  dump_path = dir.filePath(QStringLiteral("labels.txt"));
  MakeAndShow();
  Shift(32767, 0);
  const std::string dump = ReadFile(dump_path.toStdString());
  EXPECT_EQ(dump,
            "Label3=3\nXl=X:32767\nYl=Y:0\nBl=B:0\nBs=Bstate:No\nLabel1=Actual state:\nHint=\n");
}

TEST_F(MainWindowTest, ClosingReleasesTheHeldKeyBeforeTheJoystickLayerStops) {
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow();
  Shift(32767, 0);
  ASSERT_TRUE(form->Keys().Held().has_value());
  const std::string key_up = "key up " + std::to_string(form->Keys().Held()->vk);
  form->close();
  EXPECT_FALSE(form->Keys().Held().has_value());
  const auto up = IndexOf(input.log, key_up);
  ASSERT_GE(up, 0);
  EXPECT_LT(up, IndexOf(input.log, "close"));
  EXPECT_LT(IndexOf(input.log, "close"), IndexOf(input.log, "stop"));
  EXPECT_EQ(input.devices_alive, 0);
}

TEST_F(MainWindowTest, ClosingWithTheSettingsDialogOpenClosesItUnsaved) {
  MakeAndShow();
  WriteSettings("");  // would be filled again by any save
  form->OnSettingsClicked();
  ASSERT_TRUE(dialog->isVisible());
  form->close();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(ReadFile(path), "");
}

TEST_F(MainWindowTest, SettingsButtonShowsOneDialogWithoutBlocking) {
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow();
  QTest::mouseClick(form->settings_button, Qt::LeftButton);  // returns: the dialog does not block
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(dialog->isModal());
  EXPECT_TRUE(form->poll_timer->isActive());
  QApplication::setActiveWindow(form.get());
  QTest::mouseClick(form->settings_button, Qt::LeftButton);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(QApplication::topLevelWidgets().count(dialog.get()), 1);
  EXPECT_EQ(dialog->findChildren<QComboBox*>(QStringLiteral("Devices")).size(), 1);
}

TEST_F(MainWindowTest, WithoutANotificationAreaMinimiseKeepsTheWindow) {
  MakeAndShow(/*tray=*/false);
  EXPECT_EQ(form->Tray(), nullptr);
  form->showMinimized();
  QApplication::processEvents();
  QTest::qWait(20);
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isMinimized());
}

TEST_F(MainWindowTest, WithATrayIconMinimiseHidesAndADoubleClickRestores) {
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow(/*tray=*/true);
  ASSERT_NE(form->Tray(), nullptr);
  EXPECT_TRUE(form->Tray()->isVisible());
  EXPECT_FALSE(form->Tray()->icon().isNull());
  const auto log = input.log;

  form->showMinimized();
  QTest::qWait(20);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(form->Tray()->isVisible());
  EXPECT_TRUE(form->poll_timer->isActive());

  emit form->Tray()->activated(QSystemTrayIcon::Trigger);  // single clicks do nothing
  EXPECT_FALSE(form->isVisible());
  emit form->Tray()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isMinimized());
  std::vector<std::string> without_reads;
  for (const std::string& e : input.log) {
    if (e != "read" && e != "poll") without_reads.push_back(e);
  }
  EXPECT_EQ(without_reads, log);  // the first show's work did not run again
  EXPECT_EQ(trace.size(), 10u);
}

TEST_F(MainWindowTest, VirtualStickFollowsALeftDragAndTheRightButtonIsButtonOne) {
  RecordingStick stick;
  virtual_stick = &stick;
  MakeAndShow();
  QWidget* panel = form->PosPanel;
  auto send = [panel](QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pos), panel->mapToGlobal(QPointF(pos)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(panel, &event);
  };
  send(QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::NoButton);  // hovering moves nothing
  EXPECT_TRUE(stick.axes.empty());
  send(QEvent::MouseButtonPress, {127, 127}, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, {127, 20}, Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseMove, {300, -50}, Qt::NoButton, Qt::LeftButton);  // dragged past the edge
  send(QEvent::MouseButtonRelease, {300, -50}, Qt::LeftButton, Qt::NoButton);
  send(QEvent::MouseMove, {50, 50}, Qt::NoButton, Qt::NoButton);  // released: it stays put
  ASSERT_EQ(stick.axes.size(), 3u);
  EXPECT_EQ(stick.axes[0], std::make_pair(127 * 256 + 128, 127 * 256 + 128));
  EXPECT_EQ(stick.axes[1], std::make_pair(127 * 256 + 128, 20 * 256 + 128));
  EXPECT_EQ(stick.axes[2], std::make_pair(65535, 0));

  send(QEvent::MouseButtonPress, {50, 50}, Qt::RightButton, Qt::RightButton);
  send(QEvent::MouseButtonRelease, {50, 50}, Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(stick.buttons, (std::vector<std::pair<int, bool>>{{0, true}, {0, false}}));
  EXPECT_EQ(stick.axes.size(), 3u);

  // A quick second press arrives as a double click and starts a drag like any press.
  send(QEvent::MouseButtonDblClick, {60, 70}, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, {61, 71}, Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, {61, 71}, Qt::LeftButton, Qt::NoButton);
  ASSERT_EQ(stick.axes.size(), 5u);
  EXPECT_EQ(stick.axes[3], std::make_pair(60 * 256 + 128, 70 * 256 + 128));
  EXPECT_EQ(stick.axes[4], std::make_pair(61 * 256 + 128, 71 * 256 + 128));
}

TEST_F(MainWindowTest, WithoutTheVirtualStickThePanelIgnoresTheMouse) {
  MakeAndShow();
  QTest::mousePress(form->PosPanel, Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseRelease(form->PosPanel, Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(form->Xl->text(), "X:");
}

// --- The virtual H-shifter ---------------------------------------------------------------------

class MainWindowShifterTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    input.joysticks = {Stick("Pad", "pad-1")};
    open_shifter = [this](std::string& problem) -> std::unique_ptr<ShifterPort> {
      ++opened;
      if (!fail_with.empty()) {
        problem = fail_with;
        return nullptr;
      }
      input.log.push_back("shifter made");
      return std::make_unique<LoggingShifter>(input.log);
    };
  }
  // Turns the dialog's check box to `on` and saves.
  void SaveWithShifter(bool on) {
    dialog->show();
    dialog->virtual_shifter_box->setChecked(on);
    dialog->OnSaveClicked();
  }
  std::vector<std::string> ShifterLog() const {
    std::vector<std::string> out;
    for (const std::string& e : input.log) {
      if (e.rfind("shifter", 0) == 0 || e.rfind("key", 0) == 0) out.push_back(e);
    }
    return out;
  }
  int opened = 0;
  std::string fail_with;
};

TEST_F(MainWindowShifterTest, OffByDefaultNoDevice) {
  MakeAndShow();
  Shift(32767, 0);
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(form->Shifter().Held(), kNoShifterButton);
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "OpenShifter"), 0);
}

TEST_F(MainWindowShifterTest, MadeOnceAtStartFollowsTheGearsAndLetsGoAtClose) {
  WriteSettings("[MAIN]\nVIRTUAL_SHIFTER=1\n");
  MakeAndShow();
  EXPECT_EQ(trace.back(), "OpenShifter");
  EXPECT_EQ(opened, 1);
  Shift(32767, 0);
  Shift(0, 65535);
  Shift(32767, 32767);
  Shift(65535, 0);
  form->close();
  EXPECT_EQ(opened, 1);
  // The button changes right after the key of each change (one tick), and comes up before the
  // device goes, which is before the joystick layer stops.
  EXPECT_EQ(ShifterLog(), (std::vector<std::string>{
                              "shifter made", "key down 51", "shifter 3", "key up 51", "shifter 0",
                              "key down 50", "shifter 2", "key up 50", "shifter 0", "key down 53",
                              "shifter 5", "key up 53", "shifter 0", "shifter gone"}));
  EXPECT_LT(IndexOf(input.log, "shifter gone"), IndexOf(input.log, "close"));
  EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowShifterTest, FailureIsOneMessageAndTheRestRunsOn) {
  WriteSettings("[MAIN]\nVIRTUAL_SHIFTER=1\n");
  fail_with = "no H-shifter: see 60-kestrane-uinput.rules";
  MakeAndShow();
  EXPECT_EQ(messages, std::vector<std::string>{fail_with});
  Shift(32767, 0);
  EXPECT_TRUE(form->Keys().Held().has_value());  // the keys are typed all the same
  EXPECT_EQ(form->Shifter().Held(), 3);          // tracked, with nowhere to go
  form->hide();
  form->show();
  SaveWithShifter(true);  // still on: not made again, not said again
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(std::count(messages.begin(), messages.end(), fail_with), 1);
}

TEST_F(MainWindowShifterTest, SaveSwitchesItOnAndOff) {
  MakeAndShow();
  Shift(65535, 65535);
  ASSERT_EQ(form->State().CurrentGear, 6);
  SaveWithShifter(true);
  EXPECT_TRUE(form->Record().VIRTUAL_SHIFTER);
  EXPECT_EQ(opened, 1);
  // Made, and the gear that is in shows at once.
  EXPECT_EQ(ShifterLog(), (std::vector<std::string>{"key down 54", "shifter made", "shifter 6"}));

  SaveWithShifter(true);  // unchanged: nothing happens
  SaveWithShifter(false);
  EXPECT_EQ(ShifterLog(), (std::vector<std::string>{"key down 54", "shifter made", "shifter 6",
                                                    "shifter 0", "shifter gone"}));
  EXPECT_EQ(form->Shifter().Port(), nullptr);
  Shift(32767, 0);
  EXPECT_EQ(form->Shifter().Held(), kNoShifterButton);

  SaveWithShifter(true);  // on again: a new device
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(input.log.back(), "shifter 3");
}

// The stick unplugged while a gear is in: its key and button come up at once, the window and the
// tray say so, and the same stick opens again by itself when it is back (effects and all).
TEST_F(MainWindowShifterTest, LostStickLetsGoAndComesBackByItself) {
  WriteSettings("[MAIN]\nVIRTUAL_SHIFTER=1\n");
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow(/*tray=*/true);
  Shift(32767, 0);
  ASSERT_TRUE(form->Keys().Held().has_value());
  const std::vector<JoystickListEntry> attached = input.joysticks;
  input.joysticks.clear();
  input.Fail(ScriptedInput::Op::Read);  // unplugged: reads say the stick is gone
  input.log.clear();
  Tick(32767, 0);
  EXPECT_EQ(ShifterLog(), (std::vector<std::string>{"key up 51", "shifter 0"}));
  EXPECT_EQ(input.devices_alive, 0);
  EXPECT_TRUE(
      form->Label1->text().contains(QStringLiteral("stick disconnected"), Qt::CaseInsensitive));
  EXPECT_TRUE(form->status_hint->isVisible());
  EXPECT_TRUE(form->Tray()->toolTip().contains(QStringLiteral("stick disconnected")));

  // Looked for when sticks come or go, not on every tick, and nothing is opened while it is away.
  for (int i = 0; i < 40; ++i) Tick(32767, 0);
  EXPECT_LE(std::count(input.log.begin(), input.log.end(), "list"), 1);
  EXPECT_EQ(input.devices_alive, 0);

  input.joysticks = attached;  // plugged in again: the same identifier is taken at once
  input.plugged = true;
  input.Heal(ScriptedInput::Op::Read);
  Tick(32767, 0);
  EXPECT_TRUE(Contains(input.log, "open pad-1"));
  Tick(32767, 0);
  EXPECT_EQ(input.devices_alive, 1);
  EXPECT_TRUE(form->Keys().Held().has_value());  // the gear in is typed again
  EXPECT_EQ(form->Shifter().Held(), 3);
  EXPECT_FALSE(form->Label1->text().contains(QStringLiteral("disconnected")));
  EXPECT_FALSE(form->status_hint->isVisible());
  EXPECT_EQ(form->Tray()->toolTip(), QStringLiteral("Kestrane: Pad, gear 3"));
  // The H-shifter stayed all along: a game that saw it go would drop its binding.
  EXPECT_EQ(opened, 1);
  EXPECT_FALSE(Contains(input.log, "shifter gone"));
  EXPECT_TRUE(messages.empty());
}

// CHECK_INTERVAL 0 stops the polling: the held key and button come up at once and the window
// says it is paused; polling again presses the gear that is in.
TEST_F(MainWindowShifterTest, IntervalZeroPausesAndLetsGo) {
  WriteSettings("[MAIN]\nVIRTUAL_SHIFTER=1\n");
  MakeAndShow(/*tray=*/true);
  Shift(32767, 0);
  ASSERT_TRUE(form->Keys().Held().has_value());
  form->Timer().SetInterval(0);
  EXPECT_FALSE(form->Keys().Held().has_value());
  EXPECT_EQ(form->Shifter().Held(), kNoShifterButton);
  EXPECT_EQ(ShifterLog(), (std::vector<std::string>{"shifter made", "key down 51", "shifter 3",
                                                    "key up 51", "shifter 0"}));
  EXPECT_TRUE(form->Label1->text().contains(QStringLiteral("paused")));
  EXPECT_FALSE(form->Label3->isVisible());
  EXPECT_TRUE(form->Tray()->toolTip().contains(QStringLiteral("paused")));

  form->Timer().SetInterval(25);
  Tick(32767, 0);
  EXPECT_TRUE(form->Keys().Held().has_value());
  EXPECT_EQ(form->Shifter().Held(), 3);
  EXPECT_FALSE(form->Label1->text().contains(QStringLiteral("paused")));
  EXPECT_FALSE(form->Tray()->toolTip().contains(QStringLiteral("paused")));
}

// A Save that changes the pattern's geometry redraws it: the lanes are drawn where gears are now
// detected; a Save that leaves it alone draws the same picture.
TEST_F(MainWindowTest, SaveRedrawsThePatternWithTheNewLanes) {
  input.joysticks = {Stick("Pad", "pad-1")};
  MakeAndShow();
  const QImage before = form->PosPanel->BackImg->pixmap().toImage();
  dialog->show();
  dialog->joy_gear_width_edit->setText(QStringLiteral("21298"));
  dialog->OnSaveClicked();
  EXPECT_EQ(form->PosPanel->BackImg->pixmap().toImage(), before);
  dialog->show();
  dialog->gear_cross_size_edit->setText(QStringLiteral("4000"));
  dialog->joy_gear_width_edit->setText(QStringLiteral("10000"));
  dialog->OnSaveClicked();
  ASSERT_EQ(form->Record().JOY_GEAR_WIDTH, 10000);
  const QImage after = form->PosPanel->BackImg->pixmap().toImage();
  EXPECT_NE(after, before);
  // The same picture a new start with the saved file draws.
  form.reset();
  dialog.reset();
  MakeAndShow();
  EXPECT_EQ(form->PosPanel->BackImg->pixmap().toImage(), after);
}

// The window's and the tray's icons are the program's own pictures: not null, not blank.
TEST_F(MainWindowTest, IconsAreLinkedIn) {
  Make(/*tray=*/true);
  for (const QIcon& icon : {form->windowIcon(), form->Tray()->icon()}) {
    const QImage image = icon.pixmap(QSize(16, 16)).toImage();
    ASSERT_FALSE(image.isNull());
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y) {
      for (int x = 0; x < image.width() && !drawn; ++x) drawn = qAlpha(image.pixel(x, y)) > 0;
    }
    EXPECT_TRUE(drawn);
  }
}

// A force-feedback stick with springs: letting go, pausing, the tray menu, the notice of an
// untested stick and the direction test, against a device that records every call.
class MainWindowForcesTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    input.joysticks = {{"Force Stick", "ff-1", true}};
    input.haptic = &haptic;
  }
  int Count(ScriptedHaptic::Op op) const {  // the watchdog's thread may write meanwhile
    const std::vector<ScriptedHaptic::Call> calls = haptic.Calls();
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [op](const auto& c) { return c.op == op; }));
  }
  QAction* MenuAction(const QString& text) const {
    for (QAction* a : form->TrayMenu()->actions()) {
      if (a->text() == text) return a;
    }
    return nullptr;
  }
  ScriptedHaptic haptic;
};

TEST_F(MainWindowForcesTest, ReleaseForcesStopsEveryEffectUntilRestored) {
  MakeAndShow(/*tray=*/true);
  Shift(32767, 0);
  haptic.Clear();
  form->forces_button->click();
  EXPECT_EQ(Count(ScriptedHaptic::Op::Stop), 3);  // cross, hole, centre
  EXPECT_EQ(form->forces_button->text(), "Restore forces");
  EXPECT_TRUE(form->Tray()->toolTip().contains("forces released"));
  haptic.Clear();
  Shift(0, 0);  // shifting goes on, without forces
  EXPECT_EQ(form->State().CurrentGear, 1);
  EXPECT_TRUE(haptic.Calls().empty());
  ASSERT_NE(MenuAction("Restore forces"), nullptr);
  MenuAction("Restore forces")->trigger();
  EXPECT_EQ(Count(ScriptedHaptic::Op::Start), 3);
  EXPECT_EQ(form->forces_button->text(), "Release forces");
}

// The window's loop blocked (here: the test sleeps on its thread): the watchdog stops every
// effect; the next tick starts them again.
TEST_F(MainWindowForcesTest, ABlockedLoopStopsTheForcesUntilItTicksAgain) {
  MakeAndShow();
  Shift(32767, 0);
  haptic.Clear();
  std::this_thread::sleep_for(std::chrono::seconds(1));  // the loop blocked, 4 times the limit
  EXPECT_EQ(Count(ScriptedHaptic::Op::Stop), 3);
  Tick(32767, 0);
  EXPECT_EQ(Count(ScriptedHaptic::Op::Start), 3);
}

TEST_F(MainWindowForcesTest, PauseShiftingLetsGoOfKeysAndForcesAndTheTraySaysSo) {
  MakeAndShow(/*tray=*/true);
  Shift(32767, 0);
  ASSERT_TRUE(form->Keys().Held().has_value());
  EXPECT_EQ(form->Tray()->toolTip(), "Kestrane: Force Stick, gear 3");
  haptic.Clear();
  ASSERT_NE(MenuAction("Pause shifting"), nullptr);
  MenuAction("Pause shifting")->trigger();
  EXPECT_FALSE(form->Keys().Held().has_value());
  EXPECT_EQ(Count(ScriptedHaptic::Op::Stop), 3);
  EXPECT_TRUE(form->Tray()->toolTip().contains("paused"));
  EXPECT_TRUE(form->Label1->text().contains("paused"));
  const QImage icon = form->Tray()->icon().pixmap(QSize(16, 16)).toImage();
  ASSERT_FALSE(icon.isNull());
  EXPECT_TRUE(icon.isGrayscale());
  // Nothing is read or sent while paused.
  input.log.clear();
  Shift(0, 0);
  EXPECT_TRUE(input.log.empty()) << testing::PrintToString(input.log);
  MenuAction("Resume shifting")->trigger();
  Tick(0, 0);
  EXPECT_EQ(Count(ScriptedHaptic::Op::Start), 3);
  EXPECT_FALSE(form->Tray()->toolTip().contains("paused"));
  // The menu's other entries.
  for (const char* text : {"Hide", "Settings...", "Release forces", "Quit"}) {
    form->TrayMenu()->aboutToShow();
    EXPECT_NE(MenuAction(text), nullptr) << text;
  }
  MenuAction("Quit")->trigger();
  EXPECT_TRUE(form->CloseRequested());
}

TEST_F(MainWindowForcesTest, UntestedStickIsNoticedUntilTheDirectionTestPasses) {
  MakeAndShow(/*tray=*/true);
  EXPECT_TRUE(form->ForceFeedbackUntested());
  EXPECT_TRUE(form->ff_notice->isVisible());
  EXPECT_EQ(form->size(), QSize(274, 427));

  // The test: the pattern's effects stop, one spring plays per question, answered X mirrored.
  std::vector<QString> questions;
  const DirectionAnswer answers[] = {DirectionAnswer::OtherWay, DirectionAnswer::OtherWay,
                                     DirectionAnswer::Yes, DirectionAnswer::Yes};
  std::size_t next = 0;
  std::function<void()> answer = [&] {
    auto* test = qobject_cast<DirectionTestDialog*>(QApplication::activeModalWidget());
    if (!test) {
      QTimer::singleShot(10, answer);
      return;
    }
    if (next < 4) {
      questions.push_back(test->question->text());
      test->Answer(answers[next++]);
      QTimer::singleShot(0, answer);
    } else {
      test->close_button->click();
    }
  };
  haptic.Clear();
  QTimer::singleShot(0, answer);
  form->ff_test_button->click();
  ASSERT_EQ(questions.size(), 4u);
  EXPECT_EQ(questions[0], "Did the stick move to the left?");
  // Stopped: the three effects of the pattern, then the test's spring when it ended.
  EXPECT_EQ(Count(ScriptedHaptic::Op::Stop), 4);
  EXPECT_EQ(Count(ScriptedHaptic::Op::Create), 1);
  EXPECT_EQ(haptic.Calls().back().op, ScriptedHaptic::Op::Start);  // the forces come back
  EXPECT_TRUE(form->Record().FF_INVERT_X);
  EXPECT_FALSE(form->Record().FF_INVERT_Y);
  EXPECT_EQ(form->Record().FF_TESTED_STICK, "Force Stick");
  std::ifstream file(path);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("FF_INVERT_X=1"), std::string::npos) << text;
  EXPECT_NE(text.find("FF_TESTED_STICK=Force Stick"), std::string::npos) << text;
  EXPECT_FALSE(form->ff_notice->isVisible());
  EXPECT_EQ(form->size(), QSize(274, 397));
}

TEST_F(MainWindowForcesTest, CancelledDirectionTestChangesNothingAndLeavesNoSpring) {
  MakeAndShow();
  std::function<void()> cancel = [&] {
    auto* test = qobject_cast<DirectionTestDialog*>(QApplication::activeModalWidget());
    if (!test) {
      QTimer::singleShot(10, cancel);
      return;
    }
    test->Answer(DirectionAnswer::Yes);
    test->reject();
  };
  QTimer::singleShot(0, cancel);
  haptic.Clear();
  form->RunDirectionTest();
  // The test's spring was created, stopped and released.
  EXPECT_EQ(Count(ScriptedHaptic::Op::Create), 1);
  EXPECT_EQ(Count(ScriptedHaptic::Op::Release), 1);
  EXPECT_FALSE(form->Record().FF_INVERT_X);
  EXPECT_TRUE(form->Record().FF_TESTED_STICK.empty());
  EXPECT_TRUE(form->ff_notice->isVisible());
}

}  // namespace
}  // namespace kestrane
