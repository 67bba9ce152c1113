#pragma once

// Linux: this test process's children and open descriptors, read from /proc, for tests that start
// helper processes and must leave neither a zombie nor a descriptor behind.

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kestrane::test {

struct ChildProcess {
  int pid;
  char state;  // as in /proc/<pid>/stat: 'Z' a zombie, 'T' stopped, 'S' sleeping...
};

// Every process whose parent is this one.
inline std::vector<ChildProcess> ChildProcesses() {
  std::vector<ChildProcess> children;
  DIR* proc = ::opendir("/proc");
  if (!proc) return children;
  while (const dirent* entry = ::readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::stringstream text;
    text << file.rdbuf();
    const std::string stat = text.str();
    const std::size_t name_end = stat.rfind(')');  // the name may hold spaces and parentheses
    if (name_end == std::string::npos) continue;
    std::istringstream rest(stat.substr(name_end + 1));
    char state = 0;
    int parent = 0;
    if (rest >> state >> parent && parent == ::getpid()) children.push_back({pid, state});
  }
  ::closedir(proc);
  return children;
}

// How many descriptors this process holds open.
inline int OpenDescriptors() {
  int count = -1;  // the directory's own
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(fds)) {
      if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(fds);
  }
  return count;
}

// What each descriptor of this process refers to ("socket:[123]", a path), sorted.
inline std::vector<std::string> OpenDescriptorTargets() {
  std::vector<std::string> out;
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(fds)) {
      if (entry->d_name[0] == '.') continue;
      char target[512];
      const std::string link = std::string("/proc/self/fd/") + entry->d_name;
      const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
      out.emplace_back(n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "?");
    }
    ::closedir(fds);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Polls `done` every millisecond until it holds; false after `timeout`.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace kestrane::test
