#pragma once

#include <QString>

#include "ui/tray_icon.h"

namespace kestrane {

class Engine;

// Why no stick is read, in the player's words: short for the status line ("Stick disconnected"),
// and the longer hint over the pattern with what to do; both empty while a stick is read.
struct StickStatus {
  QString status;
  QString hint;
};
StickStatus StickStatusOf(const Engine& engine);

// The status line beside the gear: why no stick is read, "Shifting paused", or empty.
QString StatusLineOf(const Engine& engine);

// What the tray icon shows for the engine: the stick and the gear, or what stops the shifting.
TrayStatus TrayStatusOf(const Engine& engine, bool window_shown);

}  // namespace kestrane
