#include "core/keystroke_output.h"

#include <string_view>

namespace kestrane {
namespace {

KeyCode Entry(const Settings& settings, int index) {
  return settings.Keys[static_cast<std::size_t>(index)];
}

// Position of the first occurrence of a gear's letter in the sequence.
std::optional<std::int32_t> SequencePosition(const Settings& settings, Gear gear) {
  const std::string_view sequence = settings.Sequence();
  const std::size_t at = sequence.find(GearLetter(gear));
  if (at == std::string_view::npos) return std::nullopt;
  return static_cast<std::int32_t>(at);
}

bool IsKeyEntry(Gear gear) { return gear >= 0 && gear < kKeyEntries; }

}  // namespace

void KeyOutput::Press(KeyCode key) {
  sink_.KeyEvent(key, true);
  held_ = key;
}

void KeyOutput::Release(KeyCode key) {
  sink_.KeyEvent(key, false);
  if (held_ == key) held_.reset();
}

void KeyOutput::Wait(std::int32_t ms) {
  if (ms > 0) sink_.Wait(ms);
}

void KeyOutput::Tap(KeyCode key, std::int32_t press_ms) {
  Press(key);
  Wait(press_ms);
  Release(key);
}

void KeyOutput::ReleaseHeld() {
  if (held_) Release(*held_);
}

void SendGearKeys(ShiftState& state, const Settings& settings, KeyOutput& keys) {
  switch (settings.SYM_TYPE) {
    case 0: {
      if (state.SentGear >= 0) {
        // Release exactly what is down; normally that is the sent gear's own entry.
        const std::optional<KeyCode> held = keys.Held();
        keys.Release(held ? *held : Entry(settings, state.SentGear));
      }
      if (IsKeyEntry(state.CurrentGear)) keys.Press(Entry(settings, state.CurrentGear));
      state.SentGear = state.CurrentGear;
      break;
    }
    case 1: {
      const int entry = state.CurrentGear >= 0 ? state.CurrentGear : kKeyNeutral;
      keys.Tap(Entry(settings, entry), settings.SYM_KEY_TIME);
      state.SentGear = state.CurrentGear;
      break;
    }
    case 2: {
      const std::optional<std::int32_t> j = SequencePosition(settings, state.CurrentGear);
      if (!j) {
        state.CurrentGear = state.SentGear;
        break;
      }
      const std::optional<std::int32_t> i = SequencePosition(settings, state.SentGear);
      if (i) {
        const KeyCode key = Entry(settings, *i < *j ? kKeyShiftUp : kKeyShiftDown);
        const std::int32_t steps = *i < *j ? *j - *i : *i - *j;
        for (std::int32_t n = 0; n < steps; ++n) {
          if (n > 0) keys.Wait(settings.SYM_SPACE_TIME);
          keys.Tap(key, settings.SYM_KEY_TIME);
        }
      }
      state.SentGear = state.CurrentGear;
      break;
    }
    default: break;
  }
}

void ApplyKeySettings(const ShiftState& state, const Settings& settings, KeyOutput& keys) {
  const std::optional<KeyCode> held = keys.Held();
  if (!held) return;
  if (settings.SYM_TYPE != 0) {
    keys.ReleaseHeld();
    return;
  }
  if (IsKeyEntry(state.SentGear) && Entry(settings, state.SentGear) != *held) {
    keys.ReleaseHeld();
    keys.Press(Entry(settings, state.SentGear));
  }
}

}  // namespace kestrane
