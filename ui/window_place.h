#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>
#include <string>

namespace kestrane {

// Where a dialog goes beside a window, and where the window goes if it has to make room.
struct SideBySide {
  QPoint dialog;
  std::optional<QPoint> window;  // set when the window moves
};
// For a dialog of `dialog` frame size beside a window whose frame is `main` on a screen whose free
// area is `screen`: right of the window when it fits there, else left of it; when neither side
// has room but the screen holds both, the dialog goes to the roomier side's edge and the window
// moves beside it. Top-aligned with the window, kept on the screen.
SideBySide PlaceBeside(const QRect& main, const QSize& dialog, const QRect& screen);

// A remembered window position, if a window of `frame` size put there would still lie mostly
// (its title bar at least) on one of the screens; a screen unplugged since gives nothing.
std::optional<QPoint> UsablePosition(const QPoint& saved, const QSize& frame,
                                     const QList<QRect>& screens);

// The main window's position between starts, in a small file beside the settings file (not the
// settings file itself: moving the window must not rewrite the user's settings). Paths are the
// system's bytes (UTF-8 on Windows), so a folder name that is not UTF-8 stays as it is.
std::string WindowStatePath(const std::string& settings_path);
// Read as the settings file is: only a regular file (or a link to one), never waited on.
std::optional<QPoint> ReadWindowPosition(const std::string& path);
// False when not written; a FIFO, a device or a folder in the file's place is left alone.
bool WriteWindowPosition(const std::string& path, const QPoint& position);

}  // namespace kestrane
