#include "sim/fpu_mode.h"

#include "sim/extended.h"

void resetFloatingPointUnit() {
#if !RUNAUDIT_EXTENDED_IS_SOFTWARE
  // Whatever precision the process started with (53 bits is common), the
  // initialised x87 state is extended precision, round to nearest.
  __asm__ volatile("fninit");
#endif
}
