#pragma once

// A fresh folder for one test, named after it and removed with everything in it afterwards (write
// permission is given back first, for tests that take it away).

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
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(dir_, ignored);
  }

  const std::filesystem::path& path() const { return dir_; }
  // A file in the folder.
  std::string File(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

}  // namespace kestrane::test
