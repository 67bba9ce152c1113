#include "core/gear.h"

namespace kestrane {

char GearLetter(Gear gear) {
  if (gear == kNeutral) return 'N';
  if (gear == kReverse) return 'R';
  if (gear >= 1 && gear <= 7) return static_cast<char>('0' + gear);
  return '?';
}

}  // namespace kestrane
