#include "engine/notices.h"

namespace kestrane {

void NoticeQueue::OnQueued(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

void NoticeQueue::ShowMessage(MessageKind kind, const std::string& text) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    if (!said_.insert(text).second) return;
    pending_.push_back({kind, text});
    wake = wake_;
  }
  if (wake) wake();
}

std::vector<Notice> NoticeQueue::TakeAll() {
  std::lock_guard lock(mutex_);
  return std::exchange(pending_, {});
}

bool NoticeQueue::Empty() const {
  std::lock_guard lock(mutex_);
  return pending_.empty();
}

}  // namespace kestrane
