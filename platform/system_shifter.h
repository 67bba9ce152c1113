#pragma once

// The virtual H-shifter of the platform Kestrane runs on.

#include <memory>
#include <string>

#include "core/shifter_buttons.h"
#include "platform/sink_support.h"

namespace kestrane {

// Creates the virtual H-shifter; call once and keep it while VIRTUAL_SHIFTER is on. On Linux that
// is the uinput joystick "Kestrane H-shifter". When it cannot be made, returns nullptr and
// `problem` holds one message with the reason and the fix (the udev rule), for the caller to show
// once; the rest of Kestrane works without it. Problems found later, while shifting, go to
// `report` (standard error by default), once.
std::unique_ptr<ShifterPort> OpenSystemShifter(std::string& problem);
std::unique_ptr<ShifterPort> OpenSystemShifter(std::string& problem, MessageSink& report);

// The message for a shifter that could not be created, `why` being the reason.
std::string ShifterProblemMessage(const std::string& why);

}  // namespace kestrane
