#include "platform/key_queue.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace kestrane {

KeyQueue::KeyQueue(std::unique_ptr<KeySink> keyboard)
    : keyboard_(std::move(keyboard)), thread_([this] { Run(); }) {}

KeyQueue::~KeyQueue() {
  {
    const std::lock_guard lock(mutex_);
    hurry_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void KeyQueue::KeyEvent(KeyCode key, bool down) {
  std::unique_lock lock(mutex_);
  if (items_.empty() && !busy_ && !hurry_) {
    // Nothing to wait behind: typed here and now, without waking the thread (a shift's key is
    // not held back by a thread switch).
    busy_ = true;
    lock.unlock();
    if (keyboard_) keyboard_->KeyEvent(key, down);
    lock.lock();
    busy_ = false;
  } else {
    items_.push_back({false, key, down, 0});
  }
  lock.unlock();
  changed_.notify_all();
}

void KeyQueue::Wait(std::int32_t ms) {
  if (ms <= 0) return;
  {
    const std::lock_guard lock(mutex_);
    items_.push_back({true, {}, false, std::min(ms, kLongestKeyWaitMs)});
  }
  changed_.notify_all();
}

void KeyQueue::Flush() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return items_.empty() && !busy_; });
}

void KeyQueue::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // Not while a key is typed by the caller: the order stays.
    changed_.wait(lock, [this] { return (!items_.empty() || hurry_) && !busy_; });
    if (items_.empty()) return;  // hurrying and nothing left
    const Item item = items_.front();
    items_.pop_front();
    busy_ = true;
    if (item.is_wait) {
      // Cut short when the program ends.
      changed_.wait_for(lock, std::chrono::milliseconds(item.ms), [this] { return hurry_; });
    } else {
      lock.unlock();
      if (keyboard_) keyboard_->KeyEvent(item.key, item.down);
      lock.lock();
    }
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace kestrane
