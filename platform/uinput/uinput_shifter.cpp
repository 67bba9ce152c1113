#include "platform/uinput/uinput_shifter.h"

#include <linux/input-event-codes.h>

#include <cstring>

#include "core/version.h"

namespace kestrane {

std::uint16_t ShifterButtonCode(int button) {
  return static_cast<std::uint16_t>(BTN_TRIGGER + button - 1);
}

UinputDeviceSetup VirtualShifterSetup() {
  UinputDeviceSetup setup;
  setup.name = kVirtualShifterName;
  setup.vendor = kVirtualVendor;
  setup.product = kVirtualShifterProduct;
  setup.version = kDeviceRelease;
  for (int button = 1; button <= kShifterButtons; ++button) {
    setup.keys.push_back(ShifterButtonCode(button));
  }
  for (const std::uint16_t code : {std::uint16_t{ABS_X}, std::uint16_t{ABS_Y}}) {
    setup.axes.push_back({code, kShifterAxisMin, kShifterAxisMax, 0, 0, 0});
  }
  return setup;
}

UinputShifter::UinputShifter(std::unique_ptr<EventWriter> writer, MessageSink& report)
    : reports_(std::move(writer), report, "the virtual H-shifter stopped taking buttons: ") {}

UinputShifter::~UinputShifter() {
  SetGearButton(kNoShifterButton);
}

void UinputShifter::SetGearButton(int button) {
  if (button < 1 || button > kShifterButtons) button = kNoShifterButton;
  if (button == held_) return;
  if (held_ == kNoShifterButton) {
    reports_.Send({{EV_KEY, ShifterButtonCode(button), 1}});
  } else if (button == kNoShifterButton) {
    reports_.Send({{EV_KEY, ShifterButtonCode(held_), 0}});
  } else {
    reports_.Send({{EV_KEY, ShifterButtonCode(held_), 0}, {EV_KEY, ShifterButtonCode(button), 1}});
  }
  held_ = button;
}

std::unique_ptr<UinputShifter> OpenUinputShifter(const UinputOpener& open, MessageSink& report,
                                                 std::string& why) {
  int error = 0;
  std::unique_ptr<EventWriter> writer = open(VirtualShifterSetup(), error);
  if (!writer) {
    why = UinputErrorText(error);
    return nullptr;
  }
  return std::make_unique<UinputShifter>(std::move(writer), report);
}

}  // namespace kestrane
