#pragma once
// Limits shared by the fuzz targets: every target includes this once, which gives it
// libFuzzer's start-up hook.

#include "platform/MemoryBudget.h"

#include <cstdint>

// Under the sanitizers and coverage counters every pixel costs, and a picture of hundreds of
// megapixels takes a second without reaching any path that a small one cannot reach. With
// this limit (128 KiB, about 360 x 360 at 8 bits) a declared size beyond it fails at once, as
// it would when memory runs out. It is also the largest block the address sanitizer keeps in
// its size classes: a larger buffer is mapped and faulted in afresh on every run, which alone
// took most of the GIF target's time. Each target runs several thousand inputs a second.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kapto::SetPixelBufferLimit(uint64_t(1) << 17);
    return 0;
}
