#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/effects.h"
#include "core/input_device.h"
#include "core/keystroke_output.h"
#include "core/polling_cycle.h"
#include "core/settings.h"
#include "core/shift_state.h"
#include "core/shifter_buttons.h"
#include "tools/trace.h"

namespace kestrane {

// A key event or a wait, as the keystroke output produced it.
struct KeyRecord {
  bool is_wait = false;
  KeyCode key{};
  bool down = false;
  std::int32_t ms = 0;
};

// Records key events and waits and passes them on to another sink (the real keyboard when
// injecting); waits are only recorded unless a forward sink is given.
class RecordingKeySink final : public KeySink {
 public:
  explicit RecordingKeySink(KeySink* forward = nullptr) : forward_(forward) {}
  void KeyEvent(KeyCode key, bool down) override {
    events.push_back({false, key, down, 0});
    if (forward_) forward_->KeyEvent(key, down);
  }
  void Wait(std::int32_t ms) override {
    events.push_back({true, {}, false, ms});
    if (forward_) forward_->Wait(ms);
  }
  std::vector<KeyRecord> events;

 private:
  KeySink* forward_;
};

// The trace's stick: each read gives the tick's sample, or fails on a "fail" line.
class TraceJoystick final : public InputDevice {
 public:
  void SetNext(const TraceLine& line) { line_ = line; }
  InputStatus Claim(AccessMode) override { return InputStatus::Ok; }
  InputStatus DisableAutocenter() override { return InputStatus::Ok; }
  void Poll() override {}
  InputStatus Read(StickSample& sample) override {
    if (line_.kind == TraceLineKind::Gone) return InputStatus::DeviceLost;
    if (line_.kind != TraceLineKind::Sample) return InputStatus::Failed;
    sample = line_.sample;
    return InputStatus::Ok;
  }
  HapticPort* Haptics() override { return nullptr; }

 private:
  TraceLine line_;
};

// A force-feedback device that takes every effect and keeps the parameters last sent to each,
// until Clear (one tick's worth).
class SentEffects final : public HapticPort {
 public:
  std::int32_t CreateEffect(EffectType, const EffectRecord&, EffectId& id) override {
    id = next_id_++;
    return 0;
  }
  void StartEffect(EffectId) override {}
  void StopEffect(EffectId) override {}
  void SetEffectParameters(EffectId id, const EffectRecord& record) override { sent_[id] = record; }
  void ReleaseEffect(EffectId) override {}

  void Clear() { sent_.clear(); }
  std::optional<EffectRecord> Sent(EffectId id) const {
    const auto it = sent_.find(id);
    return it == sent_.end() ? std::nullopt : std::optional(it->second);
  }

 private:
  EffectId next_id_ = 1;
  std::map<EffectId, EffectRecord> sent_;
};

// What one replayed tick did.
struct ReplayTick {
  int tick = 0;
  bool read = true;
  ShiftState state;
  std::vector<KeyRecord> keys;
  std::vector<int> buttons;  // the virtual H-shifter's buttons held after the tick
  std::array<bool, kEffectSlots> effect_exists{};
  std::array<std::optional<EffectRecord>, kEffectSlots> effect_sent{};
};

// The shifting core as the window program runs it after its first show (Shift state reset,
// joystick open, effects built), fed one trace line per tick.
class Replay {
 public:
  // `settings` must already carry the start-up rule for FORCE_FEEDBACK. `forward` receives the
  // key events too (nullptr: only recorded). Each tick stands for `tick_ms` milliseconds.
  Replay(const Settings& settings, KeySink* forward, std::uint32_t tick_ms = 25);
  ~Replay();

  ReplayTick Step(const TraceLine& line);
  // A "back" line: the stick is open again, its effects rebuilt as at the start.
  void StickBack();
  // Releases a key still held, as the window program does when it closes.
  std::vector<KeyRecord> Finish();

 private:
  Settings settings_;
  ShiftState state_;
  TraceJoystick joystick_;
  SentEffects haptic_;
  ForceFeedback effects_;
  RecordingKeySink recorder_;
  KeyOutput keys_;
  ShifterOutput shifter_;  // no device: only what it would hold
  std::uint32_t tick_ms_;
  int ticks_ = 0;
};

std::string TickToJson(const ReplayTick& tick);
std::string TickToTableRow(const ReplayTick& tick);
std::string TableHeader();

}  // namespace kestrane
