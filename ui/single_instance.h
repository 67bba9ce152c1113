#pragma once

// One window program per settings file: a second start asks the running one to come forward
// (out of the tray too) and ends. Two programs on one file would both type and undo each other's
// saves. The lock and the socket live in the user's own runtime folder, where no other user can
// make them; a lock whose holder does not answer is stale and is taken over.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace kestrane {

class SingleInstance final : public QObject {
 public:
  static constexpr std::chrono::milliseconds kAnswerTime{3000};

  // Becomes the one instance for `settings_path`; Primary() is false only when a running instance
  // answered, within `answer_time`, the request to come forward.
  explicit SingleInstance(const std::string& settings_path,
                          std::chrono::milliseconds answer_time = kAnswerTime);
  ~SingleInstance() override;
  bool Primary() const { return primary_; }
  // Why this primary instance holds no lock or cannot be asked to come forward; empty when it can.
  const std::string& Problem() const { return problem_; }
  // Called when a later start asks this instance to come forward.
  void OnActivate(std::function<void()> activate) { activate_ = std::move(activate); }

  // The user's private folder: $XDG_RUNTIME_DIR when it is this user's and mode 0700, else
  // <cache>/kestrane/run made 0700; %LOCALAPPDATA%\Kestrane on Windows. Empty (and `problem`
  // set) when there is none that only this user can write.
  static std::string RuntimeFolder(std::string& problem);
  // The lock file for `settings_path` in that folder; empty without a folder.
  static std::string LockPath(const std::string& settings_path);
  // The file beside the lock that names the running instance's server.
  static std::string AddressPath(const std::string& lock_path);

 private:
  bool AskToComeForward(std::chrono::milliseconds answer_time);
  void Serve();

  bool primary_ = true;
  std::string problem_;
  std::string address_path_;
  std::string server_name_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
  std::function<void()> activate_;
};

}  // namespace kestrane
