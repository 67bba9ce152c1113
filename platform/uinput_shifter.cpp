#include "platform/uinput_shifter.h"

#include <linux/input-event-codes.h>

#include <cstring>

namespace kestrane {

std::uint16_t ShifterButtonCode(int button) {
  return static_cast<std::uint16_t>(BTN_TRIGGER + button - 1);
}

UinputDeviceSetup VirtualShifterSetup() {
  UinputDeviceSetup setup;
  setup.name = kVirtualShifterName;
  for (int button = 1; button <= kShifterButtons; ++button) {
    setup.keys.push_back(ShifterButtonCode(button));
  }
  for (const std::uint16_t code : {std::uint16_t{ABS_X}, std::uint16_t{ABS_Y}}) {
    setup.axes.push_back({code, kShifterAxisMin, kShifterAxisMax, 0, 0, 0});
  }
  return setup;
}

UinputShifter::UinputShifter(std::unique_ptr<EventWriter> writer, KeyProblemReport report)
    : writer_(std::move(writer)), report_(std::move(report)) {}

UinputShifter::~UinputShifter() {
  SetGearButton(kNoShifterButton);
}

void UinputShifter::SetGearButton(int button) {
  if (button < 1 || button > kShifterButtons) button = kNoShifterButton;
  if (button == held_) return;
  int rc = 0;
  if (held_ != kNoShifterButton) rc = writer_->Write(EV_KEY, ShifterButtonCode(held_), 0);
  if (rc == 0 && button != kNoShifterButton) {
    rc = writer_->Write(EV_KEY, ShifterButtonCode(button), 1);
  }
  if (rc == 0) rc = writer_->Write(EV_SYN, SYN_REPORT, 0);
  held_ = button;
  if (rc != 0 && !write_failed_) {
    write_failed_ = true;
    if (report_) {
      report_(std::string("the virtual H-shifter stopped taking buttons: ") + std::strerror(-rc));
    }
  }
}

std::unique_ptr<UinputShifter> OpenUinputShifter(const UinputOpener& open, KeyProblemReport report,
                                                 std::string& why) {
  int error = 0;
  std::unique_ptr<EventWriter> writer = open(VirtualShifterSetup(), error);
  if (!writer) {
    why = UinputErrorText(error);
    return nullptr;
  }
  return std::make_unique<UinputShifter>(std::move(writer), std::move(report));
}

}  // namespace kestrane
