#pragma once

// Messages for the player, gathered where they arise (a tick, the start, the key thread) and shown
// later by whoever owns the screen, so that no tick ever waits on a message box.

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/messages.h"

namespace kestrane {

struct Notice {
  MessageKind kind = MessageKind::Information;
  std::string text;
  friend bool operator==(const Notice&, const Notice&) = default;
};

// A MessageSink that queues instead of showing. Safe from any thread. A text is queued once per
// run: the same cause met again (a refused key, a failing device) says nothing new.
class NoticeQueue final : public MessageSink {
 public:
  // Called after a notice was queued, on the queuing thread: the owner schedules TakeAll.
  void OnQueued(std::function<void()> wake);

  void ShowMessage(MessageKind kind, const std::string& text) override;
  std::vector<Notice> TakeAll();
  bool Empty() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Notice> pending_;
  std::set<std::string> said_;
  std::function<void()> wake_;
};

}  // namespace kestrane
