#include "sim/fpu_mode.h"

#include "sim/extended.h"

void resetFloatingPointUnit() {
#if !RUNAUDIT_EXTENDED_IS_SOFTWARE
  // Whatever precision the process started with (53 bits is common), the
  // initialised x87 state is extended precision, round to nearest.
  __asm__ volatile("fninit");
#endif
#if defined(__x86_64__)
  // The fast binary64 path needs round to nearest and subnormals kept (no
  // flush to zero, no denormals read as zero): the SSE unit's reset state.
  const unsigned int sseDefault = 0x1F80;
  __asm__ volatile("ldmxcsr %0" : : "m"(sseDefault));
#elif defined(__aarch64__)
  // Round to nearest, no flush to zero.
  __asm__ volatile("msr fpcr, xzr");
#endif
}
