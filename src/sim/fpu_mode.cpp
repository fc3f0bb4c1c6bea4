#include "sim/fpu_mode.h"

void resetFloatingPointUnit() {
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
  // Whatever precision the process started with (53 bits is common), the
  // initialised x87 state is extended precision, round to nearest.
  __asm__ volatile("fninit");
#endif
}
