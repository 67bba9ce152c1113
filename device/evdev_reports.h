#pragma once

// Linux: when a stick reports, learnt from its event node as it happens. A thread of its own
// waits in a blocking read on a file of its own (evdev gives every open file its own queue, so
// the library that reads the stick keeps all its events). Nothing runs while the stick rests.
// docs/architecture.md, "Reading on the stick's reports", has the reasons.

#include <linux/input.h>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kestrane {

// What the stick offers, asked when the file was opened.
struct EvdevCaps {
  std::bitset<KEY_CNT> keys;
  std::bitset<ABS_CNT> abs;
  std::array<input_absinfo, ABS_CNT> absinfo{};
};

// The stick's axes and buttons as of its last whole report (up to SYN_REPORT).
struct EvdevValues {
  std::array<std::int32_t, ABS_CNT> abs{};
  std::bitset<KEY_CNT> keys;
};

class EvdevReports {
 public:
  // Opens `node` (/dev/input/eventN) and starts waiting; Watching() is false when it could not.
  // `reported` is called on the reader's thread after each read that brought events, and once
  // when the node says the stick is gone; never after the destructor has begun.
  EvdevReports(const std::string& node, std::function<void()> reported);
  EvdevReports(const EvdevReports&) = delete;
  EvdevReports& operator=(const EvdevReports&) = delete;
  // Revokes its own file (which wakes the reader) and waits for the reader; a reader that does
  // not end within kEvdevStopWaitMs is left to end at its next wake-up, holding nothing of ours.
  ~EvdevReports();

  bool Watching() const;
  // Whole reports read so far; a change means the stick reported since it was looked at.
  std::uint64_t Reports() const;
  // The node answered that the stick is gone (unplugged).
  bool Gone() const;
  const EvdevCaps& Caps() const;
  // After events were dropped (SYN_DROPPED) the state is asked again.
  EvdevValues Values() const;

  struct Shared;  // what the reader's thread holds

 private:
  std::shared_ptr<Shared> shared_;
  EvdevCaps caps_;
  std::thread reader_;
};

// How long the destructor waits for the reader before leaving it to end on its own.
inline constexpr int kEvdevStopWaitMs = 500;

}  // namespace kestrane
