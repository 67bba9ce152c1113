// Helper processes on Linux: posix_spawn of /proc/self/exe over a SOCK_SEQPACKET socket pair,
// so that every message arrives whole or not at all.
#include "platform/helper_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>

extern char** environ;

namespace kestrane {
namespace {

// Kept messages beyond this many are dropped: a helper that takes none for so long is stuck.
constexpr std::size_t kMostQueued = 256;

// Helpers no reaper thread could be started for; reaped by the next Start or destruction.
std::mutex g_unreaped_mutex;
std::vector<pid_t> g_unreaped;

void ReapLeftovers() {
  std::lock_guard lock(g_unreaped_mutex);
  std::erase_if(g_unreaped, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

void ReapLater(pid_t pid) {
  if (::waitpid(pid, nullptr, WNOHANG) != 0) return;  // reaped, or no child of ours any more
  // Still running (it has yet to read the channel's end): a thread waits for it, so that the
  // caller never does and no zombie stays behind.
  try {
    std::thread([pid] {
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard lock(g_unreaped_mutex);
    g_unreaped.push_back(pid);
  }
}

}  // namespace

HelperStart HelperProcess::Start(const std::vector<std::string>& arguments) {
  ReapLeftovers();
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return {nullptr, errno};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);  // the copy is inherited
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  // The helper starts with no signal blocked and every signal's default action; it sets its own.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::string exe = "/proc/self/exe";
  std::vector<std::string> args = arguments;
  std::vector<char*> argv{exe.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, exe.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (failed != 0) {
    ::close(fds[0]);
    return {nullptr, failed};
  }
  return {std::unique_ptr<HelperProcess>(new HelperProcess(fds[0], pid)), 0};
}

HelperProcess::~HelperProcess() {
  ::close(channel_);
  ReapLater(pid_);
  ReapLeftovers();
}

HelperSend HelperProcess::Flush() {
  while (!queued_.empty()) {
    const std::string& m = queued_.front();
    if (::send(channel_, m.data(), m.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return HelperSend::Queued;
      if (errno == EINTR) continue;
      queued_.clear();
      return HelperSend::Gone;
    }
    queued_.pop_front();
  }
  return HelperSend::Sent;
}

HelperSend HelperProcess::Send(std::string_view message, Delivery delivery) {
  HelperSend earlier = Flush();
  if (earlier == HelperSend::Gone) return earlier;
  if (earlier == HelperSend::Sent) {
    for (;;) {
      if (::send(channel_, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) {
        return HelperSend::Sent;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS) return HelperSend::Gone;
      break;
    }
  }
  if (delivery == Delivery::MayDrop || queued_.size() >= kMostQueued) return HelperSend::Dropped;
  queued_.emplace_back(message);
  return HelperSend::Queued;
}

HelperReadiness HelperProcess::Readiness() {
  if (readiness_ != HelperReadiness::Starting) return readiness_;
  char byte = 0;
  const ssize_t n = ::recv(channel_, &byte, 1, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return readiness_;
  readiness_ = n == 1 && byte == 'r' ? HelperReadiness::Ready : HelperReadiness::Failed;
  return readiness_;
}

}  // namespace kestrane
