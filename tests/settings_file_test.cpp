#include "config/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace kestrane {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrane-settings-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Kestrane.ini").string();
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  void WriteFile(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string ReadFile() const { return ReadWholeFile(path_).value_or("<none>"); }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile());
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(SettingsFileTest, FirstStartCreatesCompleteFile) {
  Settings s;
  StoredInterval timer(10);
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_EQ(s, DefaultSettings());
  EXPECT_EQ(timer.Interval(), 25u);
  const std::vector<std::string> lines = Lines();
  // [MAIN], 36 keys, blank, [KEYBOARD], 25 keys.
  ASSERT_EQ(lines.size(), 1u + 36 + 1 + 1 + 25);
  EXPECT_EQ(lines[0], "[MAIN]");
  EXPECT_EQ(lines[1], "REVERSE_X=0");
  EXPECT_EQ(lines[4], "POOLED_DEVICE=1");
  EXPECT_EQ(lines[20], "JOY_GEAR_WIDTH=21298");
  EXPECT_EQ(lines[36], "CHECK_INTERVAL=25");
  EXPECT_EQ(lines[38], "[KEYBOARD]");
  EXPECT_EQ(lines[39], "SYM_TYPE=0");
  EXPECT_EQ(lines[42], "KEY_CODE0=56");
  EXPECT_EQ(lines[43], "SCAN_CODE0=9");
  EXPECT_EQ(lines[63], "SCAN_CODE10=81");
  // A second load finds everything and changes nothing.
  const std::string first = ReadFile();
  Settings again;
  EXPECT_FALSE(LoadSettings(again, timer, path_));
  EXPECT_EQ(ReadFile(), first);
}

TEST_F(SettingsFileTest, ValuesAreReadAndWrittenBackAsSpecified) {
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
  EXPECT_EQ(*error, "Unable to write to " + path_);
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

  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(LoadSettings(s, timer, path_));
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsFileTest, AtomicWriteLeavesNoTemporaryFilesAndKeepsMode) {
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

TEST_F(SettingsFileTest, SymlinkIsFollowed) {
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

TEST(SettingsFilePath, BesideExecutableWhenWritable) {
  const std::string path = SettingsFilePath();
  EXPECT_EQ(fs::path(path).filename(), "Kestrane.ini");
  EXPECT_TRUE(fs::path(path).is_absolute());
}

}  // namespace
}  // namespace kestrane
