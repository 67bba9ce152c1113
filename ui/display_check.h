#pragma once

// Before the window program makes its application object: whether the display it would open
// can be reached. Qt aborts the program (a core file) when it cannot; Kestrane says why instead.

#include <string>

namespace kestrane {

// Why no window can be shown: the display of every platform Qt would try (`-platform`,
// QT_QPA_PLATFORM or the session's: X11's xcb, Wayland) cannot be reached. Empty when one can,
// when a platform needs no display (offscreen, vnc...), and on Windows and macOS.
std::string DisplayProblem(int argc, char** argv);

}  // namespace kestrane
