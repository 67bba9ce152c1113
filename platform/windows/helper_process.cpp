// Windows starts no helper process: the key guard is for XTest, and the force guard's device
// handle of its own is a Linux evdev node. Start says so with ENOSYS.
#include "platform/helper_process.h"

#include <cerrno>

namespace kestrane {

HelperStart HelperProcess::Start(const std::vector<std::string>&) {
  return {nullptr, ENOSYS};
}

HelperProcess::~HelperProcess() = default;

HelperSend HelperProcess::Flush() {
  return HelperSend::Gone;
}

HelperSend HelperProcess::Send(std::string_view, Delivery) {
  return HelperSend::Gone;
}

HelperReadiness HelperProcess::Readiness() {
  return HelperReadiness::Failed;
}

}  // namespace kestrane
