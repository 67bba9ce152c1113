#include "ui/window_place.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "config/profile_file.h"
#include "tests/support/temp_dir.h"

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
  test::TempDir dir("window-place");
  const std::string path = WindowStatePath(dir.File("Kestrane.ini"));
  EXPECT_EQ(path, dir.File("Kestrane-window.ini"));
  EXPECT_EQ(ReadWindowPosition(path), std::nullopt);
  EXPECT_TRUE(WriteWindowPosition(path, {-30, 712}));
  EXPECT_EQ(ReadWindowPosition(path), QPoint(-30, 712));
  const std::pair<const char*, std::optional<QPoint>> contents[] = {
      {"", std::nullopt},
      {"[window]\nposition=12\n", std::nullopt},
      {"\x01\x02garbage", std::nullopt},
      {"[window]\nposition=@Point(1 2) x\n", std::nullopt},
      {"[window]\nposition=@Point(1  2)\n", std::nullopt},
      // As earlier versions (QSettings) wrote it, with Windows line ends too.
      {"[window]\r\nposition=@Point(-5 40)\r\n", QPoint(-5, 40)},
  };
  for (const auto& [content, expected] : contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    EXPECT_EQ(ReadWindowPosition(path), expected) << content;
  }
  // Other keys stay when the position is written.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "; mine\n[other]\nk=v\n";
  EXPECT_TRUE(WriteWindowPosition(path, {3, 4}));
  EXPECT_EQ(ReadWindowPosition(path), QPoint(3, 4));
  EXPECT_EQ(ReadWholeFile(path).value_or("").rfind("; mine\n[other]\nk=v\n", 0), 0u);
}

#ifndef _WIN32
// A FIFO or a folder in the file's place is never waited on (a FIFO held the start forever) and
// never replaced.
TEST(WindowPosition, NotARegularFileIsLeftAlone) {
  test::TempDir dir("window-place");
  const std::string path = WindowStatePath(dir.File("Kestrane.ini"));
  for (const bool fifo : {true, false}) {
    std::filesystem::remove_all(path);
    ASSERT_TRUE(fifo ? ::mkfifo(path.c_str(), 0600) == 0 : std::filesystem::create_directory(path));
    EXPECT_EQ(ReadWindowPosition(path), std::nullopt);
    EXPECT_FALSE(WriteWindowPosition(path, {1, 2}));
    EXPECT_EQ(std::filesystem::is_fifo(path), fifo);
  }
}

// In a folder whose name is not UTF-8 (byte 0xFF) the file stays beside the settings file, not
// in a new sibling folder with U+FFFD in its name.
TEST(WindowPosition, FolderNameKeptAsBytes) {
  test::TempDir dir("window-place");
  const std::string folder = dir.File("set\xfftings");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  const std::string path = WindowStatePath(folder + "/Kestrane.ini");
  EXPECT_EQ(path, folder + "/Kestrane-window.ini");
  EXPECT_TRUE(WriteWindowPosition(path, {70, 80}));
  EXPECT_EQ(ReadWholeFile(folder + "/Kestrane-window.ini"), "[window]\nposition=@Point(70 80)\n");
  using Entries = std::filesystem::directory_iterator;
  EXPECT_EQ(std::distance(Entries(dir.path()), Entries()), 1);  // no sibling folder
}
#endif

}  // namespace
}  // namespace kestrane
