// Fuzz target for the GIF reader: any input either loads or raises one of the system's named
// exceptions; when the first frame and the screen are small, a bitmap takes the image and
// is converted to 24 bits, as source loading does.

#include "FuzzLimits.h"
#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"
#include "graphics/Bitmap.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Inputs beyond this add nothing a smaller file cannot reach and slow the search down: a few
// kilobytes of LZW codes already decode to every frame size the buffer limit lets through,
// and every pixel decoded costs under the coverage counters.
constexpr size_t kMaxInputBytes = size_t(1) << 16;
// Rendering touches every pixel of the frame and of the screen; larger images only cost time.
constexpr int64_t kMaxRenderedPixels = int64_t(1) << 18;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInputBytes) {
        return 0;
    }
    try {
        kapto::TBitmap bitmap;
        {
            // The image is released before the conversion, as source loading does, so that
            // the bitmap's pixels are no longer shared when it converts them.
            kapto::TGIFImage image;
            kapto::TMemoryStream input(std::vector<uint8_t>(data, data + size));
            image.LoadFromStream(input);
            if (image.Empty()) {
                return 0;
            }
            const kapto::TGIFSubImage& first = image.Images()[0];
            if (int64_t(first.Width()) * first.Height() > kMaxRenderedPixels ||
                int64_t(image.Width()) * image.Height() > kMaxRenderedPixels) {
                return 0;
            }
            bitmap.AssignFrom(&image);
        }
        // The 24-bit picture may pass the fuzz build's buffer limit: out of resources.
        if (!bitmap.Empty()) {
            bitmap.SetPixelFormat(kapto::fmt24Bit);
        }
    } catch (const kapto::Exception&) {
        // GIFException and the other named exceptions are the expected answers to bad input.
        return 0;
    }
    return 0;
}
