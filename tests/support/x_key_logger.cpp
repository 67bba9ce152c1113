// x_key_logger: a plain X client for the key-injection tests. Opens a window, takes the input
// focus, prints "ready", then one line per key event it receives: "press Prior", "release 1"
// (the keysym of the key without modifiers). Exits after --timeout seconds (default 60).
// Exit status 77 when there is no X display.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  unsigned timeout = 60;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--timeout") == 0)
      timeout = static_cast<unsigned>(std::atoi(argv[i + 1]));
  }
  alarm(timeout);

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "x_key_logger: cannot open the X display\n");
    return 77;
  }
  const int screen = DefaultScreen(display);
  const Window window =
      XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 200, 100, 0,
                          BlackPixel(display, screen), WhitePixel(display, screen));
  XStoreName(display, window, "x_key_logger");
  XSelectInput(display, window,
               KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask);
  XMapRaised(display, window);

  bool ready = false;
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    switch (event.type) {
      case MapNotify:
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        break;
      case FocusIn:
        if (!ready) {
          ready = true;
          std::printf("ready\n");
          std::fflush(stdout);
        }
        break;
      case FocusOut:
        std::printf("focus lost\n");
        std::fflush(stdout);
        break;
      case KeyPress:
      case KeyRelease: {
        const KeySym sym = XLookupKeysym(&event.xkey, 0);
        const char* name = sym == NoSymbol ? nullptr : XKeysymToString(sym);
        std::printf("%s ", event.type == KeyPress ? "press" : "release");
        if (name)
          std::printf("%s\n", name);
        else
          std::printf("keycode %u\n", event.xkey.keycode);
        std::fflush(stdout);
        break;
      }
      default:
        break;
    }
  }
}
