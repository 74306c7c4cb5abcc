#pragma once
// Limits shared by the fuzz targets: every target includes this once, which gives it
// libFuzzer's start-up hook.

#include "platform/MemoryBudget.h"

#include <cstdint>

// Under the sanitizers and coverage counters every pixel costs, and a picture of hundreds of
// megapixels takes a second without reaching any path that a small one cannot reach. With
// this limit (a megapixel at 8 bits) a declared size beyond it fails at once, as it would
// when memory runs out, and each target runs about a thousand inputs a second.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kapto::SetPixelBufferLimit(uint64_t(1) << 20);
    return 0;
}
