#include "ui/window_place.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>

namespace kestrane {
namespace {
constexpr int kGap = 8;
constexpr int kTitleBar = 24;  // what must stay on screen to drag the window back
}  // namespace

SideBySide PlaceBeside(const QRect& main, const QSize& dialog, const QRect& screen) {
  SideBySide out;
  int x;
  const int room_right = screen.right() - main.right();
  const int room_left = main.left() - screen.left();
  if (room_right >= kGap + dialog.width()) {
    x = main.right() + 1 + kGap;
  } else if (room_left >= kGap + dialog.width()) {
    x = main.left() - kGap - dialog.width();
  } else {
    // Flush with an edge, less a gap: a frame the window manager draws otherwise than estimated
    // must not push the dialog off the screen.
    const bool both_fit = main.width() + dialog.width() + 3 * kGap <= screen.width();
    if (room_right >= room_left) {
      x = screen.right() + 1 - kGap - dialog.width();
      if (both_fit) out.window = QPoint(x - kGap - main.width(), main.top());
    } else {
      x = screen.left() + kGap;
      if (both_fit) out.window = QPoint(x + dialog.width() + kGap, main.top());
    }
  }
  x = std::max(x, screen.left());
  int y = std::min(main.top(), screen.bottom() + 1 - dialog.height());
  y = std::max(y, screen.top());
  out.dialog = {x, y};
  return out;
}

std::optional<QPoint> UsablePosition(const QPoint& saved, const QSize& frame,
                                     const QList<QRect>& screens) {
  const QRect title(saved, QSize(frame.width(), kTitleBar));
  for (const QRect& screen : screens) {
    const QRect seen = screen.intersected(title);
    if (seen.width() * 2 >= title.width() && seen.height() == title.height()) return saved;
  }
  return std::nullopt;
}

QString WindowStatePath(const QString& settings_path) {
  return QFileInfo(settings_path).absoluteDir().filePath(QStringLiteral("Kestrane-window.ini"));
}

std::optional<QPoint> ReadWindowPosition(const QString& path) {
  if (!QFileInfo::exists(path)) return std::nullopt;
  const QSettings file(path, QSettings::IniFormat);
  const QVariant value = file.value(QStringLiteral("window/position"));
  if (value.typeId() != QMetaType::QPoint) return std::nullopt;
  return value.toPoint();
}

void WriteWindowPosition(const QString& path, const QPoint& position) {
  QSettings file(path, QSettings::IniFormat);
  file.setValue(QStringLiteral("window/position"), position);
}

}  // namespace kestrane
