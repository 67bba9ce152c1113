#pragma once

// What every system keyboard has in common: real waits, the keys it holds down (released when it
// goes away), and saying once about a key it cannot type.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/settings.h"

namespace kestrane {

// Blocks the calling thread for `ms` milliseconds (nothing for 0 or less).
void SleepMs(std::int32_t ms);

// "33#73 (Page Up)": a key as the settings show it, with its name when known.
std::string KeyDescription(KeyCode key);

// The backend codes of the keys a sink has pressed and not yet released.
class PressedKeys {
 public:
  void Note(int code, bool down) {
    const auto at = std::find(codes_.begin(), codes_.end(), code);
    if (down && at == codes_.end()) codes_.push_back(code);
    if (!down && at != codes_.end()) codes_.erase(at);
  }
  // The keys still down, latest first; forgets them.
  std::vector<int> TakeAll() {
    std::vector<int> out(codes_.rbegin(), codes_.rend());
    codes_.clear();
    return out;
  }
  bool empty() const { return codes_.empty(); }

 private:
  std::vector<int> codes_;
};

// Says a thing once per key.
class OncePerKey {
 public:
  bool First(KeyCode key) {
    if (std::find(seen_.begin(), seen_.end(), key) != seen_.end()) return false;
    seen_.push_back(key);
    return true;
  }

 private:
  std::vector<KeyCode> seen_;
};

}  // namespace kestrane
