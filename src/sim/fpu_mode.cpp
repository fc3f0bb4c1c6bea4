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

FloatingPointMode enterGameMode() {
  FloatingPointMode saved;
#if defined(__x86_64__) || defined(__i386__)
  unsigned short control = 0;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  saved.x87Control = control;
#endif
#if defined(__x86_64__)
  unsigned int sse = 0;
  __asm__ volatile("stmxcsr %0" : "=m"(sse));
  saved.vectorControl = sse;
#elif defined(__aarch64__)
  unsigned long long fpcr = 0;
  __asm__ volatile("mrs %0, fpcr" : "=r"(fpcr));
  saved.vectorControl = fpcr;
#endif
  resetFloatingPointUnit();
  return saved;
}

void leaveGameMode(const FloatingPointMode& saved) {
#if defined(__x86_64__) || defined(__i386__)
  const auto control = static_cast<unsigned short>(saved.x87Control);
  __asm__ volatile("fldcw %0" : : "m"(control));
#endif
#if defined(__x86_64__)
  const auto sse = static_cast<unsigned int>(saved.vectorControl);
  __asm__ volatile("ldmxcsr %0" : : "m"(sse));
#elif defined(__aarch64__)
  __asm__ volatile("msr fpcr, %0" : : "r"(saved.vectorControl));
#endif
  (void)saved;
}
