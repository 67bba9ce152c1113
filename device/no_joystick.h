#pragma once

#include <string>

namespace kestrane {

// Why no joystick is listed, most likely, with what to do about it: none connected, or (on
// Linux) input device nodes that this user may not read.
std::string NoJoystickReason();

}  // namespace kestrane
