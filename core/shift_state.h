#pragma once

#include <cstdint>

#include "core/gear.h"

namespace kestrane {

// Middle of every axis, in sample units.
inline constexpr std::int64_t kAxisMiddle = 32767;

enum class GateMode : std::uint8_t { InLane, OnNeutralLine };

// Bits of ShiftState::NeutralFlags (the manual-neutral gesture).
inline constexpr std::int32_t kLeftSeen = 1;
inline constexpr std::int32_t kRightSeen = 2;
inline constexpr std::int32_t kFromRow = 4;

// The one runtime record of the shifting core. Positions are held in 64 bits: the settings may
// hold any 32-bit value (JOY_GEAR_WIDTH 2147483647 puts a lane at 2147516414), and the pattern
// arithmetic must stay exact and free of overflow for every one of them.
struct ShiftState {
  std::int64_t StickX = 32767;
  std::int64_t StickY = 32767;
  std::int32_t SwitchAxisValue = 0;
  GateMode Mode = GateMode::OnNeutralLine;
  std::int64_t GateX = 32767;
  std::int64_t GateY = 32767;
  std::int64_t HoleX = 32767;
  std::int64_t HoleY = 32767;
  bool Bstate = false;
  bool SwitchLatched = false;
  Gear CurrentGear = kNeutral;
  Gear SentGear = kNeutral;
  std::int32_t NeutralFlags = 0;
  bool TickBusy = false;
  // How long reads have failed without a break (milliseconds of ticks); kStickLostMs or more, or a
  // read that says the stick is gone, means the stick is lost.
  std::int64_t FailedReadMs = 0;
};

// Reads failing this long in a row count as a lost stick, as a read that reports it gone does.
inline constexpr std::int64_t kStickLostMs = 500;

// Puts the stick, gate and hole to the centre, both gears to neutral and clears the latch and the
// gesture flags. The gate mode, Bstate and the switch-axis value are left alone.
void ResetShiftState(ShiftState& state);

}  // namespace kestrane
