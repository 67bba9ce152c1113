#pragma once

// Key capture from Qt key events (see key_capture.h).

#include <optional>

#include "platform/key_capture.h"

class QKeyEvent;
class QString;

namespace kestrane {

// What the native codes of this program's key events mean, from the Qt platform plugin in use.
NativeKeyCodes NativeKeyCodesOfPlatform();

// The key-table entry for a key event whose native codes mean `native`.
std::optional<KeyCode> CaptureKeyEvent(const QKeyEvent& event, NativeKeyCodes native);

}  // namespace kestrane
