// Fuzz target: PNG reading and drawing into a bitmap. Chunk CRCs are recomputed here before
// the data is handed over, so that mutations reach the decoding of every chunk instead of
// stopping at the CRC check; the codec itself has no switch for it.

#include "FuzzLimits.h"
#include "graphics/Bitmap.h"
#include "png/PNGObject.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Inputs beyond this add nothing a smaller file cannot reach and slow the search down.
constexpr size_t kMaxInputBytes = size_t(1) << 20;

uint32_t BigEndian(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Gives every chunk that lies wholly inside the data the CRC of its type and data.
void RecomputeCrcs(std::vector<uint8_t>& bytes)
{
    size_t position = 8;
    while (position + 12 <= bytes.size()) {
        const uint64_t length = BigEndian(bytes.data() + position);
        if (length > bytes.size() - position - 12) {
            break;
        }
        const uLong crc = crc32(0, bytes.data() + position + 4, uInt(length + 4));
        uint8_t* out = bytes.data() + position + 8 + length;
        out[0] = uint8_t(crc >> 24);
        out[1] = uint8_t(crc >> 16);
        out[2] = uint8_t(crc >> 8);
        out[3] = uint8_t(crc);
        position += 12 + size_t(length);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInputBytes) {
        return 0;
    }
    std::vector<uint8_t> bytes(data, data + size);
    RecomputeCrcs(bytes);
    try {
        kapto::TPNGObject png;
        kapto::TMemoryStream stream(std::move(bytes));
        png.LoadFromStream(stream);
        // Large pictures draw correctly but slowly; the fuzzer looks for faults, not time.
        if (int64_t(png.Width()) * png.Height() > (1 << 20)) {
            return 0;
        }
        kapto::TBitmap bitmap;
        bitmap.AssignFrom(&png);
    } catch (const kapto::Exception&) {
        // Named exceptions are the expected answer to malformed input.
    }
    return 0;
}
