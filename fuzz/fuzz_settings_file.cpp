// Any bytes as Kestrane.ini: loading never fails, and whatever record a file gives, saving that
// record and loading again gives it back (with the timer interval), so a save never changes a
// setting. Loading with write-back reads the same record as a plain read, and a second start
// over the written file leaves it byte for byte as it was.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "config/profile_file.h"
#include "config/setting_keys.h"
#include "config/settings_file.h"
#include "fuzz/fuzz_check.h"

namespace {

namespace fs = std::filesystem;
using namespace kestrane;

// A private directory for the file, on tmpfs when there is one (the saves sync to disk).
const fs::path& WorkDir() {
  static const fs::path dir = [] {
    std::string pattern =
        (fs::exists("/dev/shm") ? std::string("/dev/shm") : fs::temp_directory_path().string()) +
        "/kestrane-fuzz-XXXXXX";
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    std::atexit([] { fs::remove_all(WorkDir()); });
    return fs::path(pattern);
  }();
  return dir;
}

void Reset(const fs::path& file, const std::string& content) {
  for (const auto& entry : fs::directory_iterator(WorkDir())) fs::remove_all(entry.path());
  std::ofstream(file, std::ios::binary)
      .write(content.data(), static_cast<std::streamsize>(content.size()));
}

struct Loaded {
  Settings settings;
  std::uint32_t interval = 0;
  std::optional<std::string> error;
};

Loaded Load(const std::string& path, WriteBack write_back) {
  Loaded out;
  StoredInterval timer(0);
  out.error = LoadSettings(out.settings, timer, path, write_back);
  out.interval = timer.Interval();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const fs::path file = WorkDir() / "Kestrane.ini";
  const std::string path = file.string();

  Reset(file, bytes);
  const Loaded first = Load(path, WriteBack::No);
  FUZZ_CHECK(!first.error);
  FUZZ_CHECK(ReadWholeFile(path) == bytes);  // a plain read never writes

  const StoredInterval timer(first.interval);
  FUZZ_CHECK(!SaveSettings(first.settings, timer, "Fuzz Stick", path));
  const Loaded saved = Load(path, WriteBack::No);
  FUZZ_CHECK(saved.settings == first.settings);
  FUZZ_CHECK(saved.interval == first.interval);
  FUZZ_CHECK(ReadSavedJoystick(path) == "Fuzz Stick");

  // A start with write-back over the same bytes.
  Reset(file, bytes);
  const Loaded started = Load(path, WriteBack::Yes);
  FUZZ_CHECK(!started.error);
  FUZZ_CHECK(started.settings == first.settings);
  FUZZ_CHECK(started.interval == first.interval);
  const std::optional<std::string> written = ReadWholeFile(path);
  FUZZ_CHECK(written.has_value());
  const Loaded restarted = Load(path, WriteBack::Yes);
  FUZZ_CHECK(restarted.settings == first.settings);
  FUZZ_CHECK(ReadWholeFile(path) == written);
  return 0;
}
