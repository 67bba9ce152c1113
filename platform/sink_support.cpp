#include "platform/sink_support.h"

#include <chrono>
#include <iostream>
#include <thread>

#include "platform/key_table.h"

namespace kestrane {

void SleepMs(std::int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string KeyDescription(KeyCode key) {
  std::string out = std::to_string(key.vk) + "#" + std::to_string(key.scan);
  if (const KeyInfo* info = KeyByVk(key.vk)) out += std::string(" (") + info->name + ")";
  return out;
}

}  // namespace kestrane
