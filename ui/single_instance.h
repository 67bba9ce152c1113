#pragma once

// One window program per settings file: a second start asks the running one to come forward
// (out of the tray too) and ends. Two programs on one file would both type and undo each other's
// saves.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <functional>
#include <memory>
#include <string>

namespace kestrane {

class SingleInstance final : public QObject {
 public:
  // Becomes the one instance for `settings_path`, or, when another has it, asks that one to come
  // forward: Primary() is then false.
  explicit SingleInstance(const std::string& settings_path);
  bool Primary() const { return primary_; }
  // Called when a later start asks this instance to come forward.
  void OnActivate(std::function<void()> activate) { activate_ = std::move(activate); }

 private:
  bool primary_ = false;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
  std::function<void()> activate_;
};

}  // namespace kestrane
