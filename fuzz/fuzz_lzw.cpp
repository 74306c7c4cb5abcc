// Fuzz target for the LZW decoder alone. Input: width - 1, height - 1 (one byte each), a flag
// byte (bit 0: interlaced), then the image data: minimum code size and data sub-blocks.

#include "FuzzLimits.h"
#include "gif/GIFErrors.h"
#include "gif/LZWDecoder.h"
#include "runtime/Assert.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr size_t kMaxInputBytes = size_t(1) << 18;
// Marks pixels the decoder never wrote; indices it writes come from 8-bit values too, so the
// check is only that nothing lands outside the buffer (the guard bytes).
constexpr uint8_t kGuard = 0xA7;
constexpr size_t kGuardBytes = 64;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3 || size > kMaxInputBytes) {
        return 0;
    }
    const uint32_t width = uint32_t(data[0]) + 1;
    const uint32_t height = uint32_t(data[1]) + 1;
    const bool isInterlaced = (data[2] & 1) != 0;
    std::vector<uint8_t> pixels(size_t(width) * height + 2 * kGuardBytes, kGuard);
    try {
        kapto::TMemoryStream input(std::vector<uint8_t>(data + 3, data + size));
        kapto::TLZWDecoder decoder(input, [](kapto::TGIFMessage) {});
        decoder.ReadImageData(pixels.data() + kGuardBytes, width, height, isInterlaced);
    } catch (const kapto::Exception&) {
        // Named exceptions are the expected answer to malformed input.
    }
    for (size_t i = 0; i < kGuardBytes; ++i) {
        KAPTO_ASSERT(pixels[i] == kGuard && pixels[pixels.size() - 1 - i] == kGuard);
    }
    return 0;
}
