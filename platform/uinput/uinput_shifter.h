#pragma once

// The Linux virtual H-shifter: a uinput joystick, "Kestrane H-shifter", that holds one button per
// gear (buttons 1 to 7 for the gears, 8 for reverse, none in neutral) for games that take an
// H-shifter only as joystick buttons. It has two centred axes as well: some games under
// Wine/Proton pass over a device with buttons only.

#include <memory>
#include <string>

#include "core/shifter_buttons.h"
#include "platform/sink_support.h"
#include "platform/uinput/event_writer.h"

namespace kestrane {

inline constexpr const char* kVirtualShifterName = "Kestrane H-shifter";
// The axes' range; they rest at 0, the middle, where the kernel starts every axis.
inline constexpr std::int32_t kShifterAxisMin = -32768;
inline constexpr std::int32_t kShifterAxisMax = 32767;

// The device: the joystick buttons BTN_TRIGGER to BTN_BASE2 (buttons 1 to 8) and ABS_X, ABS_Y.
UinputDeviceSetup VirtualShifterSetup();
// The evdev code of shifter button 1..kShifterButtons.
std::uint16_t ShifterButtonCode(int button);

class UinputShifter final : public ShifterPort {
 public:
  UinputShifter(std::unique_ptr<EventWriter> writer, MessageSink& report);
  UinputShifter(const UinputShifter&) = delete;
  UinputShifter& operator=(const UinputShifter&) = delete;
  // Lets go of the button still held, then the device goes away with its writer.
  ~UinputShifter() override;

  // One report per change: the old button up, the new one down, SYN_REPORT. The same button
  // again writes nothing; a number outside 1..kShifterButtons releases.
  void SetGearButton(int button) override;
  int Held() const { return held_; }

 private:
  EventReports reports_;
  int held_ = kNoShifterButton;
};

// Creates the shifter through `open`; on failure returns nullptr and says why in `why`.
std::unique_ptr<UinputShifter> OpenUinputShifter(const UinputOpener& open, MessageSink& report,
                                                 std::string& why);

}  // namespace kestrane
