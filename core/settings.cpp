#include "core/settings.h"

#include <algorithm>

namespace kestrane {

std::string_view Settings::Sequence() const {
  return std::string_view(SYM_SEQUENCE.data());  // always zero-terminated
}

void Settings::SetSequence(std::string_view text) {
  SYM_SEQUENCE.fill('\0');
  const std::size_t n = std::min<std::size_t>({text.size(), 9, text.find('\0')});
  std::copy_n(text.begin(), n, SYM_SEQUENCE.begin());
}

void ApplyForceFeedbackSwitch(Settings& s) {
  if (!s.FORCE_FEEDBACK) {
    s.DAMPER_ENABLED = s.CROSS_ENABLED = s.HOLE_ENABLED = s.CENTER_ENABLED = false;
  }
}

}  // namespace kestrane
