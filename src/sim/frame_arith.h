// Chooses the arithmetic of one compiled copy of the frame step. The frame
// step is built three times from the same source: with the exact model
// (namespace frame_exact), with the fast binary64 path on a fused
// multiply-add (frame_fast) and on split products without one
// (frame_split); frame_dispatch.cpp picks one at run time.
#pragma once

#include "sim/extended.h"

#ifdef RUNAUDIT_FRAME_FAST
#include "sim/fast_extended.h"

#if defined(RUNAUDIT_FAST_WITHOUT_FMA)
#define RUNAUDIT_FRAME_NS frame_split
#elif defined(RUNAUDIT_COUNT_FAST_OPS)
#define RUNAUDIT_FRAME_NS frame_fast_counted
#else
#define RUNAUDIT_FRAME_NS frame_fast
#endif

namespace RUNAUDIT_FRAME_NS {
// These hide the exact model's operations of the same names.
using RUNAUDIT_FASTEXT_NS::extAdd;
using RUNAUDIT_FASTEXT_NS::extMul;
using RUNAUDIT_FASTEXT_NS::extNeg;
using RUNAUDIT_FASTEXT_NS::extSub;
using RUNAUDIT_FASTEXT_NS::store;
using RUNAUDIT_FASTEXT_NS::truncLow32;
using RUNAUDIT_FASTEXT_NS::widen;
using RUNAUDIT_FASTEXT_NS::operator<;
using RUNAUDIT_FASTEXT_NS::operator>;
}  // namespace RUNAUDIT_FRAME_NS

// Only the frame functions are compiled for the FMA unit: inline helpers
// from headers keep the baseline instruction set wherever the linker keeps
// their out-of-line copies.
#if defined(__x86_64__) && !defined(__FMA__) && !defined(RUNAUDIT_FAST_WITHOUT_FMA)
#define RUNAUDIT_FRAME_TARGET [[gnu::target("fma")]]
#else
#define RUNAUDIT_FRAME_TARGET
#endif

#else
#define RUNAUDIT_FRAME_NS frame_exact
#define RUNAUDIT_FRAME_TARGET
#endif
