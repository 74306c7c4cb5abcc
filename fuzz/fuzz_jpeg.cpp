// Fuzz target: JPEG loading and decoding into a bitmap.

#include "FuzzLimits.h"
#include "graphics/Bitmap.h"
#include "jpeg/JPEGImage.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1 << 20)) {
        return 0;
    }
    try {
        kapto::TJPEGImage jpeg;
        kapto::TMemoryStream stream(std::vector<uint8_t>(data, data + size));
        jpeg.LoadFromStream(stream);
        // Large pictures decode correctly but slowly; the fuzzer looks for faults, not time.
        if (int64_t(jpeg.Width()) * jpeg.Height() > (1 << 22)) {
            return 0;
        }
        kapto::TBitmap bitmap;
        bitmap.AssignFrom(&jpeg);
        bitmap.SetPixelFormat(kapto::fmt24Bit);
    } catch (const kapto::Exception&) {
        // Named exceptions are the expected answer to malformed input.
    }
    return 0;
}
