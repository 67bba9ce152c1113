// Settings files nobody should have but somebody will: a directory, a dangling link, binary
// garbage, a UTF-16 file, ten megabytes, a value of thousands of characters. Kestrane starts with
// the values it can read, says what it must, and never writes over a file it could not read
// completely without keeping the file as it was.

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "config/settings_file.h"
#include "tests/support/temp_dir.h"

namespace kestrane {
namespace {

namespace fs = std::filesystem;

class HostileSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = (dir_ / "Kestrane.ini").string(); }

  void WriteFile(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<fs::path> Copies() const {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().filename().string().starts_with("Kestrane.ini.bak-")) out.push_back(e.path());
    }
    return out;
  }

  test::TempDir tmp_{"kestrane-hostile"};
  fs::path dir_ = tmp_.path();
  std::string path_;
};

// A start over a file that is not a readable file: defaults, the message, nothing written.
TEST_F(HostileSettingsTest, DirectoryOrDanglingLinkGivesDefaultsAndTheMessage) {
  fs::create_directory(path_);
  Settings s;
  StoredInterval timer(0);
  const std::optional<std::string> message = LoadSettings(s, timer, path_);
  ASSERT_TRUE(message);
  EXPECT_NE(message->find(path_ + " is not a regular file"), std::string::npos) << *message;
  EXPECT_EQ(s, DefaultSettings());
  EXPECT_EQ(timer.Interval(), 25u);
  EXPECT_EQ(SaveSettings(s, timer, "", path_), message);
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_TRUE(fs::is_empty(path_));
  fs::remove(path_);

#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege Windows users rarely hold";
#endif
  // A link to a file that is not there yet: the settings go to where the link points.
  const fs::path target = dir_ / "elsewhere" / "Kestrane.ini";
  fs::create_symlink(target, path_);
  EXPECT_EQ(LoadSettings(s, timer, path_),
            WriteRefusedMessage(path_, "the file or its folder is read-only"));  // no such folder
  EXPECT_EQ(s, DefaultSettings());
  EXPECT_TRUE(fs::is_symlink(path_));
  fs::create_directory(target.parent_path());
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_TRUE(fs::is_regular_file(target));
  EXPECT_EQ(ReadSavedJoystick(path_), "");
}

TEST_F(HostileSettingsTest, FilesNotReadCompletely) {
  EXPECT_TRUE(SettingsTextUnderstood(""));
  EXPECT_TRUE(
      SettingsTextUnderstood("\xEF\xBB\xBF; note\r\n# note\n[MAIN]\n  REVERSE_X = $1 \n"
                             "UNKNOWN=words\n[KEYBOARD]\nSYM_SEQUENCE=RN12\n"));
  EXPECT_FALSE(SettingsTextUnderstood("[MAIN]\njust words\n"));
  EXPECT_FALSE(SettingsTextUnderstood(std::string("[MAIN]\nUNKNOWN=a\0b\n", 18)));
  EXPECT_FALSE(SettingsTextUnderstood("[MAIN]\nREVERSE_X=yes\n"));
  EXPECT_FALSE(SettingsTextUnderstood("[MAIN]\nCHECK_INTERVAL=99999999999\n"));
  EXPECT_FALSE(SettingsTextUnderstood("[KEYBOARD]\nSYM_SEQUENCE=RN12345678\n"));
  EXPECT_FALSE(SettingsTextUnderstood("[MAIN]\nUNKNOWN=" + std::string(2048, 'a') + "\n"));
  EXPECT_TRUE(SettingsTextUnderstood("[MAIN]\nUNKNOWN=" + std::string(2047, 'a') + "\n"));
}

// Binary garbage and a UTF-16 file (Notepad's "Unicode"): the write-back keeps the file first,
// once for the same bytes, and every byte the user had is still in the written file.
TEST_F(HostileSettingsTest, GarbageIsKeptBeforeTheFirstWriteBack) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
  const std::string utf16("\xFF\xFE[\0M\0A\0I\0N\0]\0\r\0\n\0R\0E\0V\0E\0R\0S\0E\0_\0X\0=\0001\0",
                          36);
  for (const std::string& bytes : {garbage, utf16}) {
    for (const auto& p : Copies()) fs::remove(p);
    WriteFile(bytes);
    Settings s;
    StoredInterval timer(0);
    std::string notice;
    EXPECT_FALSE(LoadSettings(s, timer, path_, WriteBack::Yes, &notice));
    EXPECT_EQ(s, DefaultSettings());
    const std::vector<fs::path> copies = Copies();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadWholeFile(copies[0].string()), bytes);
    EXPECT_NE(notice.find(copies[0].filename().string()), std::string::npos) << notice;
    const std::string written = ReadWholeFile(path_).value();
    EXPECT_EQ(written.substr(0, bytes.size()), bytes.substr(0, written.find("[MAIN]\n")))
        << "the user's bytes come first, unchanged";

    // Starting again changes nothing and keeps nothing more.
    notice.clear();
    EXPECT_FALSE(LoadSettings(s, timer, path_, WriteBack::Yes, &notice));
    EXPECT_EQ(notice, "");
    EXPECT_EQ(ReadWholeFile(path_), written);
    EXPECT_EQ(Copies().size(), 1u);

    // The same bytes again (the user put the old file back): the copy is already there.
    WriteFile(bytes);
    EXPECT_FALSE(LoadSettings(s, timer, path_, WriteBack::Yes, &notice));
    EXPECT_EQ(Copies().size(), 1u);
  }
}

// A value the record cannot hold is replaced by the write-back; the user's text survives in the
// copy. A file read completely is written over without one.
TEST_F(HostileSettingsTest, LongAndUnreadableValuesAreKept) {
  const std::string long_value = std::string(5000, '7');
  const std::string text = "[MAIN]\nJOY_GEAR_WIDTH=" + long_value + "\nREVERSE_Y=on\n";
  WriteFile(text);
  Settings s;
  StoredInterval timer(0);
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_EQ(s.JOY_GEAR_WIDTH, DefaultSettings().JOY_GEAR_WIDTH);
  ASSERT_EQ(Copies().size(), 1u);
  EXPECT_EQ(ReadWholeFile(Copies()[0].string()), text);

  // After the write-back the file is read completely: a save makes no further copy.
  s.REVERSE_X = true;
  EXPECT_FALSE(SaveSettings(s, timer, "Stick", path_));
  EXPECT_EQ(Copies().size(), 1u);

  fs::remove(Copies()[0]);
  WriteFile("[MAIN]\nJOY_GEAR_WIDTH=0x4000\n");
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  EXPECT_EQ(s.JOY_GEAR_WIDTH, 0x4000);
  EXPECT_TRUE(Copies().empty());
}

// The copy cannot be written (the directory takes no new file): the file stays as it was.
TEST_F(HostileSettingsTest, NoCopyNoWrite) {
#if defined(_WIN32)
  GTEST_SKIP() << "POSIX folder permissions: Windows folders refuse files through their ACLs";
#else
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
#endif
  WriteFile("[MAIN]\nREVERSE_X=maybe\n");
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  Settings s;
  StoredInterval timer(0);
  EXPECT_EQ(LoadSettings(s, timer, path_),
            WriteRefusedMessage(path_, "the file or its folder is read-only"));
  EXPECT_EQ(SaveSettings(s, timer, "", path_),
            WriteRefusedMessage(path_, "the file or its folder is read-only"));
  fs::permissions(dir_, fs::perms::owner_all);
  EXPECT_EQ(ReadWholeFile(path_), "[MAIN]\nREVERSE_X=maybe\n");
}

// A megabyte of comments, unknown keys and a duplicate section hold the settings near the end:
// the start reads them and writes them back at once.
TEST_F(HostileSettingsTest, MegabyteFileLoadsQuickly) {
  std::string text = "; generated\n[MAIN]\n";
  int n = 0;
  while (text.size() < 1'000'000) {
    text += "UNKNOWN_" + std::to_string(n++) + "=some value that nobody reads\n";
    if (n % 1000 == 0) text += "; a comment\n\n";
  }
  text += "[KEYBOARD]\nKEY_CODE3=65\n[MAIN]\nJOY_GEAR_WIDTH=12345\n";
  WriteFile(text);

  Settings s;
  StoredInterval timer(0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(LoadSettings(s, timer, path_));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(s.Keys[3].vk, 65);
  EXPECT_EQ(s.JOY_GEAR_WIDTH, 12345);
  EXPECT_LT(elapsed, std::chrono::seconds(20));  // sanitizer builds are several times slower
  std::cout << "1 MB settings file loaded and written back in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms\n";

  // Missing keys went to the end of the first [MAIN], the user's lines stay in place.
  const std::string written = ReadWholeFile(path_).value();
  EXPECT_EQ(written.substr(0, 19), "; generated\n[MAIN]\n");
  EXPECT_LT(written.find("REVERSE_X=0"), written.find("[KEYBOARD]"));
  EXPECT_NE(written.find("UNKNOWN_0=some value that nobody reads\n"), std::string::npos);
  EXPECT_EQ(written.find("JOY_GEAR_WIDTH="), written.find("JOY_GEAR_WIDTH=12345"));
  Settings again;
  EXPECT_FALSE(LoadSettings(again, timer, path_, WriteBack::No));
  EXPECT_EQ(again, s);
}

}  // namespace
}  // namespace kestrane
