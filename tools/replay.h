#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "core/keystroke_output.h"
#include "core/scripted_joystick.h"
#include "core/shift_state.h"
#include "core/shifter_buttons.h"
#include "device/effects.h"
#include "device/scripted_haptic.h"
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
  // key events too (nullptr: only recorded).
  Replay(const Settings& settings, KeySink* forward);
  ~Replay();

  ReplayTick Step(const TraceLine& line);
  // Releases a key still held, as the window program does when it closes.
  std::vector<KeyRecord> Finish();

 private:
  Settings settings_;
  ShiftState state_;
  ScriptedJoystick joystick_;
  ScriptedHaptic haptic_;
  ForceFeedback effects_;
  RecordingKeySink recorder_;
  KeyOutput keys_;
  ShifterOutput shifter_;  // no device: only what it would hold
  int ticks_ = 0;
};

std::string TickToJson(const ReplayTick& tick);
std::string TickToTableRow(const ReplayTick& tick);
std::string TableHeader();

}  // namespace kestrane
