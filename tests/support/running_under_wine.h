#pragma once

// Whether a Windows test program runs under Wine (which exports wine_get_version from ntdll).
// For the few checks that depend on Windows' own fonts, which Wine does not have.

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kestrane::testing_support {

inline bool RunningUnderWine() {
#if defined(_WIN32)
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace kestrane::testing_support
