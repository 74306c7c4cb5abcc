#pragma once
// Keying with a colour tolerance: which pixels of a row count as the key colour, and the soft
// edge that reads the pixels near the key as blends of the key colour and an opaque colour.

#include "platform/Color.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kapto {

// The largest channel distance a key pixel may have from the key colour for a tolerance in
// percent (0 to 100): round(percent × 255 / 100), so 0 is exact keying and 100 keys everything.
int KeyThreshold(int tolerancePercent);

// The key colour and threshold of one image, with the tables the soft edge works from.
class TKeyTolerance
{
public:
    // A key that is no plain RGB colour (-1 when no key is chosen) matches no pixel.
    TKeyTolerance(TColor key, int threshold);

    // Sets flags[x] to 1 where pixel x of a 24-bit row (blue, green, red) is a key pixel, at
    // distance at most the threshold from the key colour, and to 0 elsewhere.
    void MarkKeyPixels(const uint8_t* bgr, size_t width, uint8_t* flags) const;

    // The soft edge for the pixels of a row that are not key pixels (flags[x] 0): writes their
    // alpha (0 to 255) into alpha[x] and their colour, blue, green, red, into out, which may
    // be the source row itself. Key pixels are left as they are in both.
    void SoftEdgeRow(const uint8_t* bgr, const uint8_t* flags, size_t width, uint8_t* out,
                     uint8_t* alpha) const;

private:
    bool m_matchesAny = false;
    int m_threshold = 0;
    std::array<int, 3> m_key{}; // blue, green, red
    // Per channel and sample value: the smallest alpha (0 to 255, rounded up) for which the
    // sample is a blend of the key sample and one in 0..255.
    std::array<std::array<uint8_t, 256>, 3> m_leastAlpha{};
    // Per distance from the key: the alpha of the ramp from the threshold to full opacity.
    std::array<uint8_t, 256> m_ramp{};
};

} // namespace kapto
