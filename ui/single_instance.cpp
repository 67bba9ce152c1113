#include "ui/single_instance.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QThread>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "core/system.h"

#if defined(_WIN32)
#include <QStandardPaths>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrane {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A later start sends the request line; the running instance comes forward and answers.
constexpr char kRequest[] = "activate";
constexpr char kAnswer[] = "activated";

QString FileName(const std::string& path) {
  return QString::fromStdString(path);  // UTF-8, as Qt names files on every system it runs on
}

#if !defined(_WIN32)
// A folder of this user's that no one else may write into; `exact_0700` for $XDG_RUNTIME_DIR.
bool PrivateFolder(const std::string& path, bool exact_0700) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    return false;
  }
  return exact_0700 ? (st.st_mode & 0777) == 0700 : (st.st_mode & 022) == 0;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  const struct passwd* user = ::getpwuid(::geteuid());
  return user && user->pw_dir ? user->pw_dir : "";
}
#endif

// Named after the settings file's full path: one instance per file, any number per user.
std::string InstanceName(const std::string& settings_path) {
  std::error_code ec;
  fs::path full = fs::absolute(PathFromText(settings_path), ec);
  const std::string path = ec ? settings_path : TextFromPath(full.lexically_normal());
  const QByteArray hash =
      QCryptographicHash::hash(QByteArray::fromStdString(path), QCryptographicHash::Sha1);
  return "kestrane-" + hash.toHex().left(16).toStdString();
}

std::string ReadAddress(const std::string& address_path) {
  FileContent read = ReadRegularFile(address_path, 4096);
  if (read.outcome != ReadOutcome::Ok) return {};
  while (!read.bytes.empty() && (read.bytes.back() == '\n' || read.bytes.back() == '\r')) {
    read.bytes.pop_back();
  }
  return read.bytes;
}

}  // namespace

std::string SingleInstance::RuntimeFolder(std::string& problem) {
#if defined(_WIN32)
  const QString local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (local.isEmpty()) {
    problem = "Windows names no local application data folder";
    return {};
  }
  const fs::path folder = PathFromText(local.toStdString()) / "Kestrane";
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    problem = "cannot make the folder " + TextFromPath(folder);
    return {};
  }
  return TextFromPath(folder);
#else
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    if (PrivateFolder(runtime, /*exact_0700=*/true)) return runtime;
  }
  std::string cache;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') {
    cache = xdg;
  } else if (const std::string home = HomeFolder(); !home.empty()) {
    cache = home + "/.cache";
  } else {
    problem = "no runtime folder and no home folder";
    return {};
  }
  const std::string parent = cache + "/kestrane";
  const std::string folder = parent + "/run";
  std::error_code ec;
  fs::create_directories(parent, ec);
  ::mkdir(folder.c_str(), 0700);  // an existing one is checked below like a new one
  if (!PrivateFolder(folder, /*exact_0700=*/false)) {
    problem = folder + " is not a folder of this user's that only this user can write";
    return {};
  }
  return folder;
#endif
}

std::string SingleInstance::LockPath(const std::string& settings_path) {
  std::string problem;
  const std::string folder = RuntimeFolder(problem);
  if (folder.empty()) return {};
  return TextFromPath(PathFromText(folder) / (InstanceName(settings_path) + ".lock"));
}

std::string SingleInstance::AddressPath(const std::string& lock_path) {
  return lock_path + ".server";
}

SingleInstance::SingleInstance(const std::string& settings_path,
                               std::chrono::milliseconds answer_time) {
  const std::string lock_path = LockPath(settings_path);
  if (lock_path.empty()) {
    RuntimeFolder(problem_);
    return;
  }
  address_path_ = AddressPath(lock_path);
  lock_ = std::make_unique<QLockFile>(FileName(lock_path));
  lock_->setStaleLockTime(0);  // a lock whose program is gone is stale at once
  // Three rounds: a start racing this one may take a lock freed here before this start does.
  for (int round = 0; round < 3; ++round) {
    if (lock_->tryLock(0)) {
      Serve();
      return;
    }
    if (lock_->error() != QLockFile::LockFailedError) break;
    if (AskToComeForward(answer_time)) {
      primary_ = false;
      return;
    }
    // Nobody answered: a killed program's lock, or one whose holder hangs. Take it over.
    if (!lock_->removeStaleLockFile()) QFile::remove(FileName(lock_path));
  }
  lock_.reset();
  problem_ = "the lock " + lock_path + " could not be taken";
}

SingleInstance::~SingleInstance() {
  if (!server_.isListening()) return;
  server_.close();
  std::error_code ec;
  if (ReadAddress(address_path_) == server_name_) fs::remove(PathFromText(address_path_), ec);
}

bool SingleInstance::AskToComeForward(std::chrono::milliseconds answer_time) {
  const Clock::time_point deadline = Clock::now() + answer_time;
  const auto left = [&] {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(ms.count(), 0));
  };
  // The holder may have its lock but not yet its server: ask until it answers or time is up.
  do {
    if (const std::string name = ReadAddress(address_path_); !name.empty()) {
      QLocalSocket socket;
      socket.connectToServer(FileName(name));
      if (socket.waitForConnected(left())) {
        socket.write(QByteArray(kRequest) + '\n');
        while (!socket.canReadLine() && socket.waitForReadyRead(left())) {
        }
        if (socket.canReadLine() && socket.readLine().trimmed() == kAnswer) return true;
      }
    }
    if (left() > 0) QThread::msleep(static_cast<unsigned long>(std::min(left(), 50)));
  } while (left() > 0);
  return false;
}

void SingleInstance::Serve() {
  const fs::path lock = PathFromText(address_path_).replace_extension();  // <folder>/<name>.lock
  // A server a program left that ended without closing it (a socket in the folder on Unix); the
  // lock is ours now.
  if (const std::string old = ReadAddress(address_path_);
      !old.empty() && PathFromText(old).parent_path() == lock.parent_path()) {
    QLocalServer::removeServer(FileName(old));
  }
  QRandomGenerator* random = QRandomGenerator::system();
#if defined(_WIN32)
  // Pipe names are one namespace for every user: a name only this user can read keeps them out.
  server_name_ =
      TextFromPath(lock.stem()) + "-" + QByteArray::number(random->generate64(), 16).toStdString();
  server_.setSocketOptions(QLocalServer::UserAccessOption);
#else
  // In the private folder; short, as a socket's path has room for 107 bytes only.
  server_name_ = TextFromPath(lock.parent_path() / lock.stem()) + "-" +
                 QByteArray::number(random->generate(), 16).toStdString();
#endif
  QObject::connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        while (socket->canReadLine()) {
          if (socket->readLine().trimmed() != kRequest) continue;
          if (activate_) activate_();
          socket->write(QByteArray(kAnswer) + '\n');
          socket->flush();
        }
      });
    }
  });
  if (!server_.listen(FileName(server_name_))) {
    problem_ = "no later start can reach this one: " + server_.errorString().toStdString();
    return;
  }
  if (const std::string refused = ReplaceWholeFile(address_path_, server_name_ + "\n");
      !refused.empty()) {
    problem_ = "no later start can reach this one: " + refused;
  }
}

}  // namespace kestrane
