#pragma once

// The force-feedback direction test: a gentle spring pulls the stick toward the left lane, the
// right lane, the top row and the bottom row in turn, the player says where it went, and the
// answers tell whether the stick's springs run mirrored on either axis (FF_INVERT_X/Y).

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/effects.h"

namespace kestrane {

struct Settings;

enum class DirectionStep : std::uint8_t { Left, Right, Forward, Back };
inline constexpr std::array<DirectionStep, 4> kDirectionSteps = {
    DirectionStep::Left, DirectionStep::Right, DirectionStep::Forward, DirectionStep::Back};

enum class DirectionAnswer : std::uint8_t { Yes, OtherWay, NoMove };

// "Did the stick move to the left?" and so on.
std::string DirectionQuestion(DirectionStep step);

// The step's spring: centred on the target lane (or row) of the settings' pattern, on its axis
// only, at a gentle 30 % of full force scaled by FF_STRENGTH, never mirrored (the test is what
// finds the mirroring).
EffectRecord DirectionSpring(DirectionStep step, const Settings& settings);

struct DirectionVerdict {
  bool passed = false;                     // both axes decided
  std::optional<bool> invert_x, invert_y;  // the axes that were decided
  std::string message;                     // what to tell the player
};

// Judges the four answers, in kDirectionSteps order. An axis is decided by its answers that saw
// the stick move; both "did not move" leave it open (no spring at this strength), answers that
// contradict each other too.
DirectionVerdict JudgeDirections(const std::array<DirectionAnswer, 4>& answers);

// Plays the steps' springs on a device, one at a time, and never leaves one playing: Stop (and
// the destructor) remove it.
class DirectionTestRun final {
 public:
  // On the device `effects` play on, under their lock (the watchdog may halt them meanwhile); a
  // device closed meanwhile takes the spring with it and refuses the next.
  explicit DirectionTestRun(ForceFeedback& effects) : effects_(&effects) {}
  // On a device that nothing else drives.
  explicit DirectionTestRun(HapticPort& port) : port_(&port) {}
  DirectionTestRun(const DirectionTestRun&) = delete;
  DirectionTestRun& operator=(const DirectionTestRun&) = delete;
  ~DirectionTestRun() { Stop(); }

  // Plays the step's spring in place of the one before; false when the device refuses it.
  bool Play(DirectionStep step, const Settings& settings);
  void Stop();

 private:
  bool PlayOn(HapticPort* port, const EffectRecord& spring);
  void StopOn(HapticPort* port);

  ForceFeedback* effects_ = nullptr;
  HapticPort* port_ = nullptr;
  HapticPort* played_on_ = nullptr;  // the device id_ lives on
  EffectId id_ = kNoEffect;
};

}  // namespace kestrane
