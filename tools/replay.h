#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/setting_keys.h"
#include "core/effects.h"
#include "core/keystroke_output.h"
#include "core/settings.h"
#include "core/shift_state.h"
#include "core/shifter_buttons.h"
#include "device/input_platform.h"
#include "engine/engine.h"
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
  explicit RecordingKeySink(std::unique_ptr<KeySink> forward = nullptr)
      : forward_(std::move(forward)) {}
  void KeyEvent(KeyCode key, bool down) override {
    events.push_back({false, key, down, 0});
    if (forward_) forward_->KeyEvent(key, down);
  }
  void Wait(std::int32_t ms) override {
    events.push_back({true, {}, false, ms});
    if (forward_) forward_->Wait(ms);
  }
  void Flush() override {
    if (forward_) forward_->Flush();
  }
  std::vector<KeyRecord> events;

 private:
  std::unique_ptr<KeySink> forward_;
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

// The trace as the input platform: one stick, "trace", read from the line of the tick. A "gone"
// line unplugs it; a "back" line, or the next line that reads a sample, plugs it in again.
class TraceInput final : public InputPlatform {
 public:
  // The line the next tick reads; a "back" line is no tick.
  void Feed(const TraceLine& line);
  SentEffects& Effects() { return effects_; }

  InputStart Start() override { return InputStart::Ok; }
  InputStatus List(std::vector<JoystickListEntry>& out) override;
  bool DevicesChanged() override;
  bool ProbeForceFeedback(const std::string&) override { return true; }
  std::unique_ptr<InputDevice> Open(const std::string& id) override;
  void Stop() override {}

 private:
  class Stick;
  TraceLine line_{TraceLineKind::Fail, {}, {}};
  bool plugged_ = true;
  bool changed_ = true;
  SentEffects effects_;
};

// The window program's engine, as it runs after its first show (Shift state reset, joystick
// open, effects built), fed one trace line per tick: replay shows what the program would do.
class Replay {
 public:
  // `settings` must already carry the start-up rule for FORCE_FEEDBACK. `forward` receives the
  // key events too (nullptr: only recorded, waits not waited). Each tick stands for `tick_ms`.
  Replay(const Settings& settings, std::unique_ptr<KeySink> forward, std::uint32_t tick_ms = 25);
  ~Replay();

  // Messages the engine queued (a keyboard that would not open, say), oldest first.
  std::vector<Notice> TakeNotices() { return engine_->TakeNotices(); }

  ReplayTick Step(const TraceLine& line);
  // A "back" line: the stick is plugged in again; the next tick opens it and builds its effects.
  void StickBack();
  // Releases a key still held, as the window program does when it closes.
  std::vector<KeyRecord> Finish();

 private:
  TraceInput input_;
  StoredInterval interval_;
  RecordingKeySink* recorder_ = nullptr;           // the engine's keyboard
  std::chrono::steady_clock::time_point clock_{};  // a tick's worth on, each tick
  std::unique_ptr<Engine> engine_;
  int ticks_ = 0;
};

std::string TickToJson(const ReplayTick& tick);
std::string TickToTableRow(const ReplayTick& tick);
std::string TableHeader();

}  // namespace kestrane
