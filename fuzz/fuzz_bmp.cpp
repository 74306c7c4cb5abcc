// Fuzz target for the BMP reader: any input either loads or raises one of the reader's named
// exceptions; small images that load are also converted to 24 bits and written back.

#include "FuzzLimits.h"
#include "graphics/Bitmap.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Inputs beyond this add nothing a smaller file cannot reach and slow the search down.
constexpr size_t kMaxInputBytes = size_t(1) << 20;
// Conversion touches every pixel; larger images only cost time.
constexpr int64_t kMaxConvertedPixels = int64_t(4) << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInputBytes) {
        return 0;
    }
    kapto::TBitmap bitmap;
    try {
        kapto::TMemoryStream input(std::vector<uint8_t>(data, data + size));
        bitmap.LoadFromStream(input);
    } catch (const kapto::Exception&) {
        // Named exceptions are the expected answer to malformed input.
        return 0;
    }
    if (bitmap.Empty() || int64_t(bitmap.Width()) * bitmap.Height() > kMaxConvertedPixels) {
        return 0;
    }
    // A picture that loaded at a few bits per pixel may need a 24-bit buffer beyond the fuzz
    // build's buffer limit: EOutOfResources is then the right answer, not a finding.
    try {
        bitmap.SetPixelFormat(kapto::fmt24Bit);
        kapto::TMemoryStream output;
        bitmap.SaveToStream(output);
    } catch (const kapto::Exception&) {
    }
    return 0;
}
