#pragma once
// Limits shared by the fuzz targets: every target includes this once, which gives it
// libFuzzer's start-up hook.

#include "platform/MemoryBudget.h"

#include <cstdint>

// Under the sanitizers, a picture of hundreds of megapixels costs a second to allocate and
// clear without reaching any path that a few megapixels cannot reach. With this limit a
// declared size beyond it fails at once, as it would when memory runs out.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kapto::SetPixelBufferLimit(uint64_t(4) << 20);
    return 0;
}
