// A Windows test helper that sees the keys other programs type, through a low-level keyboard hook
// (which sees SendInput's events the way a game's input layer does), and ends a program the way
// the end of a Windows session does.
//
//   key_hook_logger                 one line per key event on standard output, flushed at once:
//                                   "press NAME vk=0x.. scan=0x.. ext=0|1 injected=0|1" (or
//                                   "release ..."), after a first line "ready"; runs until killed
//   key_hook_logger --end-session TITLE
//                                   sends WM_QUERYENDSESSION and WM_ENDSESSION to the visible
//                                   top-level window titled TITLE, then ends its process as
//                                   Windows does after a logoff; status 0 when all three happened
//
// NAME: the digit or lower-case letter, Prior/Next for Page Up/Down, or the code ("vk0x..").

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string KeyName(DWORD vk) {
  if ((vk >= '0' && vk <= '9')) return std::string(1, static_cast<char>(vk));
  if (vk >= 'A' && vk <= 'Z') return std::string(1, static_cast<char>(vk - 'A' + 'a'));
  switch (vk) {
    case VK_PRIOR: return "Prior";
    case VK_NEXT: return "Next";
    case VK_RETURN: return "Return";
    case VK_SPACE: return "space";
    default: break;
  }
  char code[16];
  std::snprintf(code, sizeof code, "vk0x%02lx", static_cast<unsigned long>(vk));
  return code;
}

LRESULT CALLBACK OnKey(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION) {
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
    const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
    std::printf("%s %s vk=0x%02lx scan=0x%02lx ext=%d injected=%d\n", up ? "release" : "press",
                KeyName(key->vkCode).c_str(), static_cast<unsigned long>(key->vkCode),
                static_cast<unsigned long>(key->scanCode), (key->flags & LLKHF_EXTENDED) ? 1 : 0,
                (key->flags & LLKHF_INJECTED) ? 1 : 0);
    std::fflush(stdout);
  }
  return CallNextHookEx(nullptr, code, message, data);
}

int LogKeys() {
  HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, OnKey, GetModuleHandleW(nullptr), 0);
  if (!hook) {
    std::fprintf(stderr, "key_hook_logger: SetWindowsHookEx failed (%lu)\n", GetLastError());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  UnhookWindowsHookEx(hook);
  return 0;
}

struct Search {
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK OnWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  if (IsWindowVisible(window) && std::wcscmp(text, search->title) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

int EndSession(const wchar_t* title) {
  Search search{title, nullptr};
  EnumWindows(OnWindow, reinterpret_cast<LPARAM>(&search));
  if (!search.found) {
    std::fprintf(stderr, "key_hook_logger: no visible window titled %ls\n", title);
    return 1;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(search.found, &pid);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  DWORD_PTR answer = 0;
  const bool asked = SendMessageTimeoutW(search.found, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                         SMTO_ABORTIFHUNG, 5000, &answer) != 0;
  std::printf("query end session: %s, answer %lu\n", asked ? "sent" : "failed",
              static_cast<unsigned long>(answer));
  // A program may close already at the question: then there is no window left to tell.
  const bool ended = SendMessageTimeoutW(search.found, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF,
                                         SMTO_ABORTIFHUNG, 5000, nullptr) != 0 ||
                     !IsWindow(search.found);
  std::printf("end session: %s\n", ended ? "sent" : "failed");
  // Windows ends the process once WM_ENDSESSION returns: whatever was not done by then is lost.
  const bool terminated =
      process && (TerminateProcess(process, 0) || WaitForSingleObject(process, 0) == WAIT_OBJECT_0);
  if (process) {
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
  std::printf("terminated: %s\n", terminated ? "yes" : "no");
  std::fflush(stdout);
  return asked && ended && terminated ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"--end-session") == 0) return EndSession(argv[2]);
  if (argc == 1) return LogKeys();
  std::fprintf(stderr, "usage: key_hook_logger [--end-session TITLE]\n");
  return 2;
}
