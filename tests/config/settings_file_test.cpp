#include "config/settings_file.h"
#include "tests/support/temp_dir.h"
#include "config/setting_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/system.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kestrane {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (dir_ / "Kestrane.ini").string();
  }
  void WriteFile(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string ReadFile() const { return ReadWholeFile(path_).value_or("<none>"); }
  // The lines, without their ends (LF, or CRLF as a new file on Windows has them).
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile());
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      lines.push_back(l);
    }
    return lines;
  }

  test::TempDir tmp_{"kestrane-settings"};
  fs::path dir_ = tmp_.path();
  std::string path_;
};

TEST_F(SettingsFileTest, FirstStartCreatesCompleteFile) {
  Settings s;
  StoredInterval timer(10);
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_EQ(s, DefaultSettings());
  EXPECT_EQ(timer.Interval(), 25u);
  const std::vector<std::string> lines = Lines();
  // [MAIN], 41 keys, blank, [KEYBOARD], 25 keys. The keys added later, read after every other
  // key, still end up at the end of MAIN.
  ASSERT_EQ(lines.size(), 1u + 41 + 1 + 1 + 25);
  // Every line ends the system's way: CRLF on Windows, LF elsewhere.
#ifdef _WIN32
  const std::string line_end = "\r\n";
#else
  const std::string line_end = "\n";
#endif
  std::string joined;
  for (const std::string& line : lines) joined += line + line_end;
  EXPECT_EQ(ReadFile(), joined);
  EXPECT_EQ(lines[0], "[MAIN]");
  EXPECT_EQ(lines[1], "REVERSE_X=0");
  EXPECT_EQ(lines[4], "POOLED_DEVICE=1");
  EXPECT_EQ(lines[20], "JOY_GEAR_WIDTH=21298");
  EXPECT_EQ(lines[36], "CHECK_INTERVAL=25");
  EXPECT_EQ(lines[37], "VIRTUAL_SHIFTER=0");
  EXPECT_EQ(lines[38], "FF_INVERT_X=0");
  EXPECT_EQ(lines[39], "FF_INVERT_Y=0");
  EXPECT_EQ(lines[40], "FF_STRENGTH=100");
  EXPECT_EQ(lines[41], "FF_TESTED_STICK=");
  EXPECT_EQ(lines[42], "");
  EXPECT_EQ(lines[43], "[KEYBOARD]");
  EXPECT_EQ(lines[44], "SYM_TYPE=0");
  EXPECT_EQ(lines[47], "KEY_CODE0=56");
  EXPECT_EQ(lines[48], "SCAN_CODE0=9");
  EXPECT_EQ(lines[68], "SCAN_CODE10=81");
  // A second load finds everything and changes nothing.
  const std::string first = ReadFile();
  Settings again;
  EXPECT_FALSE(LoadSettings(again, timer, path_));
  EXPECT_EQ(ReadFile(), first);
}

TEST_F(SettingsFileTest, NumbersAreReadInAnyNotationAndWrittenBackInDecimal) {
  WriteFile(
      "[main]\njoy_gear_width= 0x10\nJOY_GEAR_HEIGHT=abc\nforce_feedback=2\nSWITCH_B_MIN=-99999\n"
      "CHECK_INTERVAL=0\n[keyboard]\nKEY_CODE3=300\nSYM_SEQUENCE=RN12345678\n");
  Settings s;
  StoredInterval timer(10);
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_EQ(s.JOY_GEAR_WIDTH, 16);
  EXPECT_EQ(s.JOY_GEAR_HEIGHT, 16383);
  EXPECT_TRUE(s.FORCE_FEEDBACK);
  EXPECT_EQ(s.SWITCH_B_MIN, -99999);
  EXPECT_EQ(timer.Interval(), 0u);
  EXPECT_EQ(s.Keys[3].vk, 44);
  EXPECT_EQ(s.Sequence(), "RN1234567");
  ProfileFile file(ReadFile());
  EXPECT_EQ(file.Read("MAIN", "JOY_GEAR_WIDTH"), "16");
  EXPECT_EQ(file.Read("MAIN", "JOY_GEAR_HEIGHT"), "16383");
  EXPECT_EQ(file.Read("MAIN", "FORCE_FEEDBACK"), "2");
  EXPECT_EQ(file.Read("KEYBOARD", "KEY_CODE3"), "300");
  EXPECT_EQ(file.Read("KEYBOARD", "SYM_SEQUENCE"), "RN12345678");  // not written by the load
  EXPECT_EQ(Lines()[0], "[main]");
  EXPECT_EQ(Lines()[1], "joy_gear_width=16");

  // The save writes what the record holds.
  EXPECT_FALSE(SaveSettings(s, timer, "My Stick", path_));
  file = ProfileFile(ReadFile());
  EXPECT_EQ(file.Read("MAIN", "FORCE_FEEDBACK"), "1");
  EXPECT_EQ(file.Read("KEYBOARD", "KEY_CODE3"), "44");
  EXPECT_EQ(file.Read("KEYBOARD", "SYM_SEQUENCE"), "RN1234567");
  EXPECT_EQ(file.Read("MAIN", "JOYSTICK"), "My Stick");
  EXPECT_EQ(file.Read("MAIN", "CHECK_INTERVAL"), "0");
  EXPECT_EQ(ReadSavedJoystick(path_), "My Stick");
}

// Geometry that cannot describe a pattern goes back to its default with a notice; every other
// value, however odd, is kept as read.
TEST_F(SettingsFileTest, NegativeGeometryFallsBackToItsDefault) {
  WriteFile("[MAIN]\nJOY_GEAR_WIDTH=-5000\nJOY_GEAR_HEIGHT=-1\nGEAR_CROSS_SIZE=-3\n"
            "SWITCH_B_MIN=-99999\nGEAR_HOLE_FORCE_X=-7\n");
  Settings s;
  StoredInterval timer(10);
  std::string notice;
  EXPECT_FALSE(LoadSettings(s, timer, path_, WriteBack::Yes, &notice));
  EXPECT_EQ(s.JOY_GEAR_WIDTH, 21298);
  EXPECT_EQ(s.JOY_GEAR_HEIGHT, 16383);
  EXPECT_EQ(s.GEAR_CROSS_SIZE, 4000);
  EXPECT_EQ(s.SWITCH_B_MIN, -99999);
  EXPECT_EQ(s.GEAR_HOLE_FORCE_X, -7);
  for (const char* shown : {"JOY_GEAR_WIDTH=-5000", "JOY_GEAR_HEIGHT=-1", "GEAR_CROSS_SIZE=-3"}) {
    EXPECT_NE(notice.find(shown), std::string::npos) << notice;
  }
  const ProfileFile file(ReadFile());
  EXPECT_EQ(file.Read("MAIN", "JOY_GEAR_WIDTH"), "21298");
  EXPECT_EQ(file.Read("MAIN", "GEAR_CROSS_SIZE"), "4000");
}

TEST_F(SettingsFileTest, EmptySequenceAndNegativeInterval) {
  WriteFile("[KEYBOARD]\nSYM_SEQUENCE=\n[MAIN]\nCHECK_INTERVAL=-1\n");
  Settings s;
  StoredInterval timer(10);
  LoadSettings(s, timer, path_);
  EXPECT_EQ(s.Sequence(), "");
  EXPECT_EQ(timer.Interval(), 0xFFFFFFFFu);
  SaveSettings(s, timer, "", path_);
  EXPECT_EQ(ProfileFile(ReadFile()).Read("MAIN", "CHECK_INTERVAL"), "-1");
}

TEST_F(SettingsFileTest, ReadOnlyFileKeepsUserValuesAndContent) {
  const std::string text = "[MAIN]\nJOY_GEAR_WIDTH=1234\n";
  WriteFile(text);
  fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Settings s;
  StoredInterval timer(10);
  const auto error = LoadSettings(s, timer, path_);
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, "Unable to write to " + path_ + "\n(the file or its folder is read-only)");
  EXPECT_EQ(s.JOY_GEAR_WIDTH, 1234);  // everything is still read
  EXPECT_EQ(s.GEAR_CROSS_SIZE, 4000);
  EXPECT_EQ(timer.Interval(), 25u);
  EXPECT_EQ(ReadFile(), text);
  s.JOY_GEAR_WIDTH = 1;
  EXPECT_TRUE(SaveSettings(s, timer, "", path_));
  EXPECT_EQ(ReadFile(), text);
}

TEST_F(SettingsFileTest, UnwritableDirectoryAndDirectoryInPlaceOfFile) {
  fs::create_directory(path_);  // a directory where the file should be
  Settings s;
  StoredInterval timer(10);
  EXPECT_TRUE(LoadSettings(s, timer, path_));
  EXPECT_EQ(s, DefaultSettings());
  EXPECT_TRUE(fs::is_directory(path_));
  fs::remove(path_);

#ifdef _WIN32
  GTEST_SKIP() << "a folder's read-only attribute does not refuse new files on Windows";
#endif
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(LoadSettings(s, timer, path_));
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsFileTest, AtomicWriteLeavesNoTemporaryFilesAndKeepsMode) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX file modes: Windows files carry none";
#endif
  WriteFile("[MAIN]\nREVERSE_X=1\n");
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
  Settings s;
  StoredInterval timer(10);
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// A new file gets the mode any new file gets (0666 less the umask), and the umask stays as it was.
TEST_F(SettingsFileTest, ANewFileTakesTheUmask) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX file modes: Windows files carry none";
#else
  const mode_t saved = ::umask(0);
  for (const auto& [mask, mode] : {std::pair<mode_t, fs::perms>{027, fs::perms(0640)},
                                   {022, fs::perms(0644)},
                                   {0, fs::perms(0666)}}) {
    ::umask(mask);
    fs::remove(path_);
    Settings s;
    StoredInterval timer(10);
    EXPECT_FALSE(LoadSettings(s, timer, path_));
    EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all, mode) << "umask " << mask;
    EXPECT_EQ(::umask(mask), mask);
  }
  ::umask(saved);
#endif
}

TEST_F(SettingsFileTest, SymlinkIsFollowed) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege Windows users rarely hold";
#endif
  const std::string real = (dir_ / "real.ini").string();
  std::ofstream(real) << "[MAIN]\nREVERSE_Y=1\n";
  fs::create_symlink(real, path_);
  Settings s;
  StoredInterval timer(10);
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_TRUE(s.REVERSE_Y);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_NE(ReadWholeFile(real)->find("CHECK_INTERVAL=25"), std::string::npos);
}

// The file the first start of a version without VIRTUAL_SHIFTER wrote: 61 keys.
constexpr const char* kEarlierFirstStartFile =
    "[MAIN]\n"
    "REVERSE_X=0\n"
    "REVERSE_Y=0\n"
    "SWITCH_XY=0\n"
    "POOLED_DEVICE=1\n"
    "AUTOCENTER_NEUTRAL=0\n"
    "EXCLUSIVE_ACCESS=1\n"
    "FORCE_FEEDBACK=1\n"
    "DAMPER_ENABLED=0\n"
    "CROSS_ENABLED=1\n"
    "HOLE_ENABLED=1\n"
    "CENTER_ENABLED=1\n"
    "SWITCH_BUTTON=1\n"
    "SWITCH_B_AXE=0\n"
    "SWITCH_B_MIN=10000\n"
    "SWITCH_B_MAX=32000\n"
    "GEAR_CENTER_FORCE_X=10000\n"
    "GEAR_CENTER_FORCE_Y=10000\n"
    "GEAR_CENTER_SATURATION_X=3000\n"
    "GEAR_CENTER_SATURATION_Y=3000\n"
    "JOY_GEAR_WIDTH=21298\n"
    "JOY_GEAR_HEIGHT=16383\n"
    "GEAR_CROSS_SIZE=4000\n"
    "GEAR_FORCE_DEATH_FREE_X=2250\n"
    "GEAR_FORCE_DEATH_NOFREE_X=200\n"
    "GEAR_FORCE_DEATH_FREE_Y=5000\n"
    "GEAR_FORCE_DEATH_NOFREE_Y=700\n"
    "GEAR_DAMPER_FORCE=500\n"
    "GEAR_DAMPER_SATURATION=1000\n"
    "GEAR_HOLE_FORCE_X=2000\n"
    "GEAR_HOLE_SATURATION_X=2000\n"
    "GEAR_HOLE_FORCE_Y=5000\n"
    "GEAR_HOLE_SATURATION_Y=5000\n"
    "GEAR_CROSS_FORCE_COUNT=1\n"
    "GEAR_CROSS_FORCE=5000\n"
    "GEAR_CROSS_SATURATION=5000\n"
    "CHECK_INTERVAL=25\n"
    "\n"
    "[KEYBOARD]\n"
    "SYM_TYPE=0\n"
    "SYM_KEY_TIME=10\n"
    "SYM_SPACE_TIME=10\n"
    "KEY_CODE0=56\n"
    "SCAN_CODE0=9\n"
    "KEY_CODE1=49\n"
    "SCAN_CODE1=2\n"
    "KEY_CODE2=50\n"
    "SCAN_CODE2=3\n"
    "KEY_CODE3=51\n"
    "SCAN_CODE3=4\n"
    "KEY_CODE4=52\n"
    "SCAN_CODE4=5\n"
    "KEY_CODE5=53\n"
    "SCAN_CODE5=6\n"
    "KEY_CODE6=54\n"
    "SCAN_CODE6=7\n"
    "KEY_CODE7=55\n"
    "SCAN_CODE7=8\n"
    "KEY_CODE8=78\n"
    "SCAN_CODE8=49\n"
    "KEY_CODE9=33\n"
    "SCAN_CODE9=73\n"
    "KEY_CODE10=34\n"
    "SCAN_CODE10=81\n";

std::string WithLineAfter(std::string text, std::string_view after, std::string_view line) {
  const std::size_t at = text.find(after);
  if (at == std::string::npos) return "<" + std::string(after) + " missing>";
  text.insert(at + after.size(), line);
  return text;
}

constexpr const char* kAddedKeys =
    "VIRTUAL_SHIFTER=0\nFF_INVERT_X=0\nFF_INVERT_Y=0\nFF_STRENGTH=100\nFF_TESTED_STICK=\n";

TEST_F(SettingsFileTest, EarlierFileGainsOnlyTheNewKeysAtTheEndOfMain) {
  WriteFile(kEarlierFirstStartFile);
  Settings s;
  StoredInterval timer(10);
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_EQ(s, DefaultSettings());
  EXPECT_FALSE(s.VIRTUAL_SHIFTER);
  const std::string loaded = ReadFile();
  EXPECT_EQ(loaded, WithLineAfter(kEarlierFirstStartFile, "CHECK_INTERVAL=25\n", kAddedKeys));
  EXPECT_EQ(std::count(loaded.begin(), loaded.end(), '='), 66);

  // The save of an earlier file (never loaded by this version) adds the same lines, plus the
  // two keys every save writes.
  WriteFile(kEarlierFirstStartFile);
  s.VIRTUAL_SHIFTER = true;
  EXPECT_FALSE(SaveSettings(s, timer, "Stick", path_));
  std::string expected =
      WithLineAfter(kEarlierFirstStartFile, "CHECK_INTERVAL=25\n", "JOYSTICK=Stick\n");
  expected = WithLineAfter(expected, "JOYSTICK=Stick\n",
                           "VIRTUAL_SHIFTER=1\nFF_INVERT_X=0\nFF_INVERT_Y=0\nFF_STRENGTH=100\n"
                           "FF_TESTED_STICK=\n");
  expected += "SYM_SEQUENCE=RN1234567\n";
  EXPECT_EQ(ReadFile(), expected);
}

TEST_F(SettingsFileTest, EarlierUserFileKeepsEverythingOfItsOwn) {
  // Sections in the user's order, comments, an unknown key, CRLF line endings, blank lines at
  // the end of MAIN, and a last line without a line break.
  const std::string text =
      "; my wheel\r\n[KEYBOARD]\r\nSYM_TYPE=2\r\n\r\n[main]\r\nREVERSE_X = 1\r\n"
      "MY_NOTE=keep me\r\n; end of main\r\n\r\n\r\n[EXTRA]\r\nA=1";
  WriteFile(text);
  Settings s;
  StoredInterval timer(10);
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_TRUE(s.REVERSE_X);
  EXPECT_EQ(s.SYM_TYPE, 2);
  const std::string loaded = ReadFile();
  // Everything the user wrote is still there, in order, with only keys added.
  std::size_t from = 0;
  for (const char* piece : {"; my wheel\r\n[KEYBOARD]\r\nSYM_TYPE=2\r\n", "[main]\r\n",
                            "REVERSE_X=1\r\n", "MY_NOTE=keep me\r\n", "; end of main\r\n",
                            "VIRTUAL_SHIFTER=0\r\nFF_INVERT_X=0\r\nFF_INVERT_Y=0\r\n"
                            "FF_STRENGTH=100\r\nFF_TESTED_STICK=\r\n\r\n\r\n[EXTRA]\r\nA=1\r\n"}) {
    const std::size_t at = loaded.find(piece, from);
    ASSERT_NE(at, std::string::npos) << piece << " in\n" << loaded;
    from = at + std::string_view(piece).size();
  }
  EXPECT_EQ(from, loaded.size());
  // Loaded once more, it stays as it is.
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_EQ(ReadFile(), loaded);
}

TEST_F(SettingsFileTest, VirtualShifterRoundTrip) {
  Settings s = DefaultSettings();
  StoredInterval timer(25);
  s.VIRTUAL_SHIFTER = true;
  EXPECT_FALSE(SaveSettings(s, timer, "", path_));
  EXPECT_EQ(ProfileFile(ReadFile()).Read("MAIN", "VIRTUAL_SHIFTER"), "1");
  Settings loaded;
  EXPECT_FALSE(LoadSettings(loaded, timer, path_));
  EXPECT_EQ(loaded, s);

  // Read like the other switches: any number but 0 is on, a text that is no number the default.
  WriteFile("[MAIN]\nvirtual_shifter=0x2\n");
  EXPECT_FALSE(LoadSettings(loaded, timer, path_));
  EXPECT_TRUE(loaded.VIRTUAL_SHIFTER);
  WriteFile("[MAIN]\nVIRTUAL_SHIFTER=yes\n");
  EXPECT_FALSE(LoadSettings(loaded, timer, path_));
  EXPECT_FALSE(loaded.VIRTUAL_SHIFTER);
  EXPECT_EQ(ProfileFile(ReadFile()).Read("MAIN", "VIRTUAL_SHIFTER"), "0");

  const SettingKey* key = FindSettingKey("virtual_shifter");
  ASSERT_NE(key, nullptr);
  EXPECT_STREQ(key->section, "MAIN");
}

// The force-feedback keys added after VIRTUAL_SHIFTER: last in both orders, in MAIN, and read
// back as saved (the tested stick's name as text, with its spaces and letters).
TEST_F(SettingsFileTest, ForceFeedbackKeysRoundTripAtTheEnd) {
  const char* added[] = {"VIRTUAL_SHIFTER", "FF_INVERT_X", "FF_INVERT_Y", "FF_STRENGTH",
                         "FF_TESTED_STICK"};
  for (auto order : {LoadOrder(), SaveOrder()}) {
    ASSERT_GE(order.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
      EXPECT_STREQ(order[order.size() - 5 + i].name, added[i]);
      EXPECT_STREQ(order[order.size() - 5 + i].section, "MAIN");
    }
  }
  Settings s = DefaultSettings();
  EXPECT_EQ(s.FF_STRENGTH, 100);
  StoredInterval timer(25);
  s.FF_INVERT_X = true;
  s.FF_STRENGTH = 40;
  s.FF_TESTED_STICK = "Fake Force Stick (USB) #2";
  EXPECT_FALSE(SaveSettings(s, timer, "", path_));
  Settings loaded;
  EXPECT_FALSE(LoadSettings(loaded, timer, path_));
  EXPECT_EQ(loaded, s);
  EXPECT_EQ(ProfileFile(ReadFile()).Read("MAIN", "FF_TESTED_STICK"), "Fake Force Stick (USB) #2");
}

TEST(SettingsFilePath, BesideExecutableWhenWritable) {
  const std::string path = SettingsFilePath();
  EXPECT_EQ(fs::path(path).filename(), "Kestrane.ini");
  EXPECT_TRUE(fs::path(path).is_absolute());
}

}  // namespace
}  // namespace kestrane

namespace kestrane {
namespace {

// Folder names beyond ASCII reach the file system intact: on Windows only the wide calls carry
// them (the ANSI code page has no 設定).
TEST_F(SettingsFileTest, FolderNamesBeyondAsciiHoldTheFileAndItsCopies) {
  for (const char* name : {"設定", "Ünïcode folder", "Настройки"}) {
    SCOPED_TRACE(name);
    const fs::path dir = dir_ / PathFromText(name);
    fs::create_directory(dir);
    const std::string path = TextFromPath(dir / "Kestrane.ini");
    Settings s;
    StoredInterval timer(10);
    EXPECT_FALSE(LoadSettings(s, timer, path));
    ASSERT_TRUE(fs::is_regular_file(dir / "Kestrane.ini"));
    s.JOY_GEAR_WIDTH = 1234;
    EXPECT_FALSE(SaveSettings(s, timer, "Stick 設定", path));
    Settings again;
    EXPECT_FALSE(LoadSettings(again, timer, path));
    EXPECT_EQ(again.JOY_GEAR_WIDTH, 1234);
    EXPECT_EQ(ReadSavedJoystick(path), "Stick 設定");
    const std::optional<std::string> copy = KeepSettingsCopy(path, "old");
    ASSERT_TRUE(copy);
    EXPECT_EQ(ReadWholeFile(*copy), "old");
  }
}

void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  _wputenv_s(PathFromText(name).c_str(), PathFromText(value).c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

// Where an installed program keeps its settings: %APPDATA% on Windows, the XDG folder elsewhere.
TEST(UserSettingsDirectory, FollowsTheSystemsVariable) {
#ifdef _WIN32
  const char* variable = "APPDATA";
  const std::string folder = "C:\\Users\\p\\AppData\\Roaming\\設定";
#else
  const char* variable = "XDG_CONFIG_HOME";
  const std::string folder = "/home/p/設定";
#endif
  const char* before = std::getenv(variable);
  const std::string saved = before ? before : "";
  SetEnvironment(variable, folder);
  EXPECT_EQ(UserSettingsDirectory(), folder);
  SetEnvironment(variable, saved);
}

}  // namespace
}  // namespace kestrane
