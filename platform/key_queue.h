#pragma once

// Key events and the waits between them, typed on a thread of their own: a shift with a long
// press time never blocks the caller (the window program's event loop), and the keys still come
// in the order they were sent.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "core/keystroke_output.h"

namespace kestrane {

// The longest wait typed: a longer press or space time is used as this many milliseconds.
inline constexpr std::int32_t kLongestKeyWaitMs = 1000;

class KeyQueue final : public KeySink {
 public:
  explicit KeyQueue(std::unique_ptr<KeySink> keyboard);
  KeyQueue(const KeyQueue&) = delete;
  KeyQueue& operator=(const KeyQueue&) = delete;
  // Types what is still queued at once, skipping the waits, then lets the keyboard go.
  ~KeyQueue() override;

  // Both return at once; the thread types the event or waits (at most kLongestKeyWaitMs). A key
  // event with nothing queued before it is typed by the caller at once.
  void KeyEvent(KeyCode key, bool down) override;
  void Wait(std::int32_t ms) override;

  // Blocks until everything queued so far has been typed (waits included).
  void Flush() override;

 private:
  struct Item {
    bool is_wait;
    KeyCode key;
    bool down;
    std::int32_t ms;
  };
  void Run();

  std::unique_ptr<KeySink> keyboard_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> items_;
  bool busy_ = false;   // an item taken off the queue, or a key of the caller's, is being typed
  bool hurry_ = false;  // ending: no more waiting
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace kestrane
