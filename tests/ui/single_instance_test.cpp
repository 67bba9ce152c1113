#include "ui/single_instance.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)  // the private folder's checks, flock and Unix sockets are POSIX's
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace kestrane {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
constexpr auto kAnswer = 300ms;

// An instance in a thread with its own event loop, as a running program has.
struct RunningInstance {
  explicit RunningInstance(const std::string& settings) {
    thread.reset(QThread::create([this, settings] {
      SingleInstance instance(settings, kAnswer);
      primary = instance.Primary() && instance.Problem().empty();
      instance.OnActivate([this] { ++activations; });
      QEventLoop loop;
      QTimer poll;
      QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (stop) loop.quit();
      });
      poll.start(10);
      ready = true;
      loop.exec();
    }));
    thread->start();
    while (!ready && !thread->isFinished()) QThread::msleep(5);
  }
  ~RunningInstance() {
    stop = true;
    thread->wait();
  }
  std::unique_ptr<QThread> thread;
  std::atomic<bool> ready{false}, stop{false}, primary{false};
  std::atomic<int> activations{0};
};

class SingleInstanceTest : public ::testing::Test {
 protected:
  std::string Folder(const std::string& name, int mode) {
    fs::create_directories(dir_.File(name));
    fs::permissions(dir_.File(name), static_cast<fs::perms>(mode));
    return dir_.File(name);
  }
  test::TempDir dir_{"si"};
  const std::string runtime_ = Folder("run", 0700);
  const std::string cache_ = dir_.File("cache");
  test::ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.c_str()};
  test::ScopedEnv cache_env_{"XDG_CACHE_HOME", cache_.c_str()};
  const std::string settings_ = dir_.File("Kestrane.ini");
};

// Whatever another user, a killed or hung program or a broken TMPDIR left, a start takes the lock
// and runs, and the next start is answered by it and ends.
TEST_F(SingleInstanceTest, LeftoversDoNotStopAStartAndTheRunningOneAnswers) {
  const std::string lock = SingleInstance::LockPath(settings_);
  ASSERT_EQ(fs::path(lock).parent_path(), fs::path(runtime_));
  const std::string address = SingleInstance::AddressPath(lock);
  // The old lock: a name any user could compute, in the shared temporary folder.
  const QByteArray hash = QCryptographicHash::hash(
      QFileInfo(QString::fromStdString(settings_)).absoluteFilePath().toUtf8(),
      QCryptographicHash::Sha1);
  const std::string old_lock = "/tmp/kestrane-" + hash.toHex().left(16).toStdString() + ".lock";
  std::ostringstream live;  // a lock's text as a running program (this one) writes it
  live << ::getpid() << "\n"
       << QCoreApplication::applicationName().toStdString() << "\n"
       << QSysInfo::machineHostName().toStdString() << "\n";
  QLocalServer silent;  // accepts, never answers: no event loop runs in this thread
  int held = -1;        // a live holder's lock file, locked as QLockFile locks it
  const std::pair<const char*, std::function<void()>> rows[] = {
      {"nothing", [] {}},
      {"a live program's lock at the old path, in another user's file",
       [&] {
         std::ofstream(old_lock) << live.str();
         if (::geteuid() == 0) {
           ASSERT_EQ(::chown(old_lock.c_str(), 65534, 65534), 0);
         }
       }},
      {"TMPDIR that cannot be written (not even by root)",
       [&] { qputenv("TMPDIR", ::geteuid() == 0 ? "/proc" : Folder("ro", 0500).c_str()); }},
      {"a killed program's lock and socket",
       [&] {
         std::ofstream(lock) << "999999\nKestrane\n" << QSysInfo::machineHostName().toStdString();
         sockaddr_un name{AF_UNIX, {}};
         std::snprintf(name.sun_path, sizeof name.sun_path, "%s/kestrane-dead", runtime_.c_str());
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&name), sizeof name), 0);
         ::close(fd);  // its file stays
         std::ofstream(address) << name.sun_path << "\n";
       }},
      {"a lock whose live holder does not answer",
       [&] {
         std::ofstream(lock) << live.str();
         held = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
         ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
         ASSERT_TRUE(silent.listen(QString::fromStdString(runtime_ + "/kestrane-silent")));
         std::ofstream(address) << runtime_ << "/kestrane-silent\n";
       }},
      {"a lock of another host",
       [&] { std::ofstream(lock) << ::getpid() << "\nKestrane\nanother-host.invalid\n"; }},
  };
  for (const auto& [what, leave] : rows) {
    SCOPED_TRACE(what);
    const test::ScopedEnv tmpdir("TMPDIR", nullptr);
    leave();
    {
      RunningInstance started(settings_);
      EXPECT_TRUE(started.primary);
      EXPECT_FALSE(SingleInstance(settings_, kAnswer).Primary());
      EXPECT_EQ(started.activations, 1);
    }
    if (held >= 0) ::close(held);
    held = -1;
    silent.close();
    for (const std::string& file : {lock, address, old_lock}) fs::remove(file);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(runtime_ + "/kestrane-dead")));  // taken over
}

// The lock's folder is one only this user can write: $XDG_RUNTIME_DIR when it is the user's and
// 0700, else <cache>/kestrane/run, made 0700; none (and a start without a lock) otherwise.
TEST_F(SingleInstanceTest, RuntimeFolderIsPrivate) {
  constexpr int kNone = 0, kOtherUser = -1, kLink = -2;
  const std::string fallback = cache_ + "/kestrane/run";
  const struct {
    const char* what;
    int runtime, fallback;  // XDG_RUNTIME_DIR's and an existing fallback's mode
    const std::string* expected;
  } rows[] = {
      {"own 0700 runtime folder", 0700, kNone, &runtime_},
      {"runtime folder others may read", 0755, kNone, &fallback},
      {"another user's runtime folder", kOtherUser, kNone, &fallback},
      {"no runtime folder", kNone, kNone, &fallback},
      {"a fallback others may write", kNone, 0777, nullptr},
      {"another user's fallback", kNone, kOtherUser, nullptr},
      {"a fallback that is a link", kNone, kLink, nullptr},
  };
  const auto make = [&](const std::string& path, int mode) {
    if (mode == kLink) return fs::create_directory_symlink(Folder("elsewhere", 0700), path);
    fs::create_directories(path);
    fs::permissions(path, static_cast<fs::perms>(mode == kOtherUser ? 0700 : mode));
    if (mode == kOtherUser) {
      ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    if ((row.runtime == kOtherUser || row.fallback == kOtherUser) && ::geteuid() != 0) continue;
    fs::remove_all(cache_);
    fs::remove_all(dir_.File("xdg"));
    if (row.runtime != kNone) make(dir_.File("xdg"), row.runtime);
    const test::ScopedEnv xdg("XDG_RUNTIME_DIR",
                              row.runtime == 0700 ? runtime_.c_str()
                              : row.runtime ? dir_.File("xdg").c_str()
                                            : nullptr);
    fs::create_directories(cache_ + "/kestrane");
    if (row.fallback != kNone) make(fallback, row.fallback);
    std::string problem;
    const std::string folder = SingleInstance::RuntimeFolder(problem);
    EXPECT_EQ(folder, row.expected ? *row.expected : "");
    struct stat st {};
    if (folder == fallback) {
      ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    if (!row.expected) {
      const SingleInstance start(settings_, kAnswer);
      EXPECT_TRUE(start.Primary());
      EXPECT_NE(start.Problem(), "");
    }
  }
}

}  // namespace
}  // namespace kestrane
#endif
