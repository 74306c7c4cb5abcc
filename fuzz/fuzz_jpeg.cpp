// Fuzz target: JPEG loading and decoding into a bitmap.

#include "FuzzLimits.h"
#include "graphics/Bitmap.h"
#include "jpeg/JPEGImage.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"

#include <cstddef>
#include <cstdint>

namespace {

// Inputs beyond this add nothing a smaller file cannot reach and slow the search down.
constexpr size_t kMaxInputBytes = size_t(1) << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInputBytes) {
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
