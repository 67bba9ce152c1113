#include "ui/status_texts.h"

#include "core/gear.h"
#include "device/no_joystick.h"
#include "engine/engine.h"

namespace kestrane {

StickStatus StickStatusOf(const Engine& engine) {
  const QString name = QString::fromStdString(engine.AbsentStickName());
  switch (engine.Absence()) {
    case StickAbsence::None:
      return {};
    case StickAbsence::NotConnected:
      return {QStringLiteral("Stick not connected"),
              name + QStringLiteral(" is not connected. Kestrane opens it as soon as it is "
                                    "plugged in; another stick can be chosen in Settings.")};
    case StickAbsence::Disconnected:
      return {QStringLiteral("Stick disconnected"),
              name + QStringLiteral(" was unplugged. Kestrane opens it again as soon as it is "
                                    "back.")};
    case StickAbsence::NoneAttached:
      return {QStringLiteral("No joystick"),
              QStringLiteral("No joystick found: ") + QString::fromStdString(NoJoystickReason()) +
                  QStringLiteral(". Kestrane opens the first one plugged in.")};
  }
  return {};
}

QString StatusLineOf(const Engine& engine) {
  const StickStatus stick = StickStatusOf(engine);
  if (!stick.status.isEmpty()) return stick.status;
  return engine.State() == RunState::Paused ? QStringLiteral("Shifting paused") : QString();
}

TrayStatus TrayStatusOf(const Engine& engine, bool window_shown) {
  TrayStatus s;
  s.window_shown = window_shown;
  s.paused = engine.State() == RunState::Paused;
  s.forces_released = engine.ForcesReleased();
  s.forces_available = engine.OpenStickSprings() != nullptr;
  s.tooltip = QStringLiteral("Kestrane");
  const std::string stick = engine.OpenStickName();
  if (const StickStatus status = StickStatusOf(engine); !status.status.isEmpty()) {
    s.tooltip += QStringLiteral(": ") + status.status.toLower();
  } else if (s.paused) {
    s.tooltip += QStringLiteral(": paused");
  } else {
    s.tooltip += QStringLiteral(": ") +
                 (stick.empty() ? QStringLiteral("no stick") : QString::fromStdString(stick)) +
                 QStringLiteral(", gear ") +
                 QChar::fromLatin1(GearLetter(engine.Shift().CurrentGear));
  }
  if (s.forces_released) s.tooltip += QStringLiteral(" (forces released)");
  return s;
}

}  // namespace kestrane
