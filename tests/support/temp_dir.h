#pragma once

// A fresh folder for one test, named after it and removed with everything in it afterwards (write
// permission is given back first, for tests that take it away: on Windows a read-only file cannot
// be deleted, and Wine's process ids repeat, so a leftover would break a later run's test).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace kestrane::test {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix) {
    dir_ = std::filesystem::temp_directory_path() /
           (prefix + "-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Remove();
    std::filesystem::create_directories(dir_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() { Remove(); }

  const std::filesystem::path& path() const { return dir_; }
  // A file in the folder.
  std::string File(const std::string& name) const { return (dir_ / name).string(); }

 private:
  void Remove() const {
    namespace fs = std::filesystem;
    std::error_code ignored;
    const auto writable = [&](const fs::path& p) {
      if (!fs::is_symlink(fs::symlink_status(p, ignored)))
        fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, ignored);
    };
    writable(dir_);
    for (auto it = fs::recursive_directory_iterator(dir_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      writable(it->path());
    }
    fs::remove_all(dir_, ignored);
  }

  std::filesystem::path dir_;
};

}  // namespace kestrane::test
