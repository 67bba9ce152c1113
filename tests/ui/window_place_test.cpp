#include "ui/window_place.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace kestrane {
namespace {

TEST(PlaceBeside, BesideTheWindowOnTheScreen) {
  const QRect screen(0, 0, 1920, 1080);
  const QSize dialog(720, 640);
  struct Row {
    const char* what;
    QRect main;
    QRect screen;
    QPoint dialog;
    std::optional<QPoint> window;
  };
  const Row rows[] = {
      {"room on the right", QRect(100, 200, 280, 430), screen, {388, 200}, {}},
      {"room on the left only", QRect(1500, 200, 280, 430), screen, {772, 200}, {}},
      {"low on the screen: pulled up", QRect(100, 900, 280, 430), screen, {388, 440}, {}},
      {"above the screen's top: pushed down", QRect(100, -50, 280, 430), screen, {388, 0}, {}},
      {"a second screen to the right", QRect(2000, 100, 280, 430), QRect(1920, 0, 1280, 1024),
       {2288, 100}, {}},
      // Centred on a small screen: neither side has room, the window makes it.
      {"centred, roomier right", QRect(370, 100, 280, 430), QRect(0, 0, 1024, 768),
       {296, 100}, QPoint(8, 100)},
      {"roomier left", QRect(600, 100, 280, 430), QRect(0, 0, 1024, 768), {8, 100},
       QPoint(736, 100)},
      {"screen too small for both: the dialog near the edge, the window stays",
       QRect(200, 100, 280, 430), QRect(0, 0, 800, 600), {72, 0}, {}},
  };
  for (const Row& row : rows) {
    const SideBySide place = PlaceBeside(row.main, dialog, row.screen);
    EXPECT_EQ(place.dialog, row.dialog) << row.what;
    EXPECT_EQ(place.window, row.window) << row.what;
    // Whatever the case, the dialog is on the screen where it fits, and beside, not over, the
    // window whenever the two fit side by side.
    const QRect d(place.dialog, dialog);
    if (dialog.width() <= row.screen.width()) {
      EXPECT_GE(d.left(), row.screen.left()) << row.what;
      EXPECT_LE(d.right(), row.screen.right()) << row.what;
    }
    if (row.main.width() + 8 + dialog.width() <= row.screen.width()) {
      const QRect m(place.window.value_or(row.main.topLeft()), row.main.size());
      EXPECT_FALSE(d.intersects(m)) << row.what;
      if (place.window) {
        EXPECT_TRUE(row.screen.contains(m)) << row.what;
      }
    }
  }
}

TEST(WindowPosition, KeptWhileOnAScreen) {
  const QSize frame(280, 430);
  const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
  EXPECT_EQ(UsablePosition({100, 100}, frame, screens), QPoint(100, 100));
  EXPECT_EQ(UsablePosition({2500, 900}, frame, screens), QPoint(2500, 900));  // second screen
  EXPECT_EQ(UsablePosition({1800, 10}, frame, screens), QPoint(1800, 10));  // across both
  EXPECT_EQ(UsablePosition({3100, 10}, frame, screens), std::nullopt);  // title bar mostly off
  EXPECT_EQ(UsablePosition({3300, 100}, frame, screens), std::nullopt);  // screen gone
  EXPECT_EQ(UsablePosition({100, -10}, frame, screens), std::nullopt);   // title bar above
  EXPECT_EQ(UsablePosition({100, 100}, frame, {}), std::nullopt);
}

TEST(WindowPosition, RoundTripAndDamagedFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = WindowStatePath(dir.filePath(QStringLiteral("Kestrane.ini")));
  EXPECT_EQ(path, dir.filePath(QStringLiteral("Kestrane-window.ini")));
  EXPECT_EQ(ReadWindowPosition(path), std::nullopt);
  WriteWindowPosition(path, {-30, 712});
  EXPECT_EQ(ReadWindowPosition(path), QPoint(-30, 712));
  for (const char* damaged : {"", "[window]\nposition=12\n", "\x01\x02garbage"}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(damaged);
    file.close();
    EXPECT_EQ(ReadWindowPosition(path), std::nullopt) << damaged;
  }
}

}  // namespace
}  // namespace kestrane
