// Cost of loading and saving the settings file, as the start-up and the settings dialog do it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "config/setting_keys.h"
#include "config/settings_file.h"

namespace kestrane {
namespace {

std::string TempSettingsPath(const char* name) {
  const auto dir = std::filesystem::temp_directory_path() / "kestrane-bench";
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

// The start-up load of a complete file: reads every key and checks the file needs no write.
void BM_LoadSettings(benchmark::State& st) {
  const std::string path = TempSettingsPath("load.ini");
  std::filesystem::remove(path);
  Settings s;
  StoredInterval timer;
  LoadSettings(s, timer, path);  // creates the complete file
  for (auto _ : st) {
    Settings loaded;
    benchmark::DoNotOptimize(LoadSettings(loaded, timer, path));
  }
}
BENCHMARK(BM_LoadSettings);

// The dialog's save: every key written, one atomic replacement of the file.
void BM_SaveSettings(benchmark::State& st) {
  const std::string path = TempSettingsPath("save.ini");
  std::filesystem::remove(path);
  Settings s = DefaultSettings();
  StoredInterval timer(25);
  std::int32_t width = 0;
  for (auto _ : st) {
    s.JOY_GEAR_WIDTH = 20000 + (width++ & 1);  // a real change each time
    benchmark::DoNotOptimize(SaveSettings(s, timer, "Desk Stick", path));
  }
}
BENCHMARK(BM_SaveSettings);

}  // namespace
}  // namespace kestrane

BENCHMARK_MAIN();
