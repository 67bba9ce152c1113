#pragma once

// The operating system's services that the settings file needs. One implementation per system,
// in platform/posix/ and platform/windows/; platform/CMakeLists.txt links the one that fits.

#include <ctime>
#include <string>
#include <string_view>

namespace kestrane {

// Replaces the whole file so that a crash or a full disk never leaves it half-written (a temporary
// file beside it, then a rename). A file read-only for every user is refused. False when refused.
bool WriteFileAtomically(const std::string& path, std::string_view content);

// True when `path` could be written: it exists and is writable, or it does not exist and its
// directory is writable.
bool IsWritablePath(const std::string& path);

// The running program's file; the working folder's "kestrane" when the system cannot tell.
std::string ExecutablePath();

// `when` as calendar time in UTC.
std::tm UtcTime(std::time_t when);

}  // namespace kestrane
