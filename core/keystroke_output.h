#pragma once

#include <cstdint>
#include <optional>

#include "core/settings.h"
#include "core/shift_state.h"

namespace kestrane {

// Where key events and key waits end up: the system's keyboard input in the programs, a
// recording in tests and in `kestrane-cli replay`.
class KeySink {
 public:
  virtual ~KeySink() = default;
  virtual void KeyEvent(KeyCode key, bool down) = 0;
  // Blocks the calling thread for `ms` milliseconds (only called with ms > 0).
  virtual void Wait(std::int32_t ms) = 0;
  // Returns once every event given so far has reached the system (a sink that types later).
  virtual void Flush() {}
};

// The keystroke output: sends presses, releases and waits to a sink and remembers the key it
// holds down, so that exactly that key can be released whatever happens to the settings or the
// program afterwards.
class KeyOutput {
 public:
  explicit KeyOutput(KeySink& sink) : sink_(sink) {}
  KeyOutput(const KeyOutput&) = delete;
  KeyOutput& operator=(const KeyOutput&) = delete;

  void Press(KeyCode key);
  void Release(KeyCode key);
  void Wait(std::int32_t ms);  // nothing for 0 or less
  // Press, wait the press time, release.
  void Tap(KeyCode key, std::int32_t press_ms);
  // Releases the key held down, if any (shut-down, change of mode).
  void ReleaseHeld();
  std::optional<KeyCode> Held() const { return held_; }

 private:
  KeySink& sink_;
  std::optional<KeyCode> held_;
};

// Types the keys for a change from SentGear to CurrentGear in the shifting mode SYM_TYPE:
// 0 holds the gear's key while the gear is in, 1 taps the gear's key, 2 taps the up or down key
// once per step along SYM_SEQUENCE. Any other mode sends nothing.
void SendGearKeys(ShiftState& state, const Settings& settings, KeyOutput& keys);

// Keeps the held key consistent with new settings: leaving mode 0 releases it; a new key for the
// held gear releases the old key and presses the new one.
void ApplyKeySettings(const ShiftState& state, const Settings& settings, KeyOutput& keys);

}  // namespace kestrane
