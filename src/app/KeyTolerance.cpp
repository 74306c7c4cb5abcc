#include "app/KeyTolerance.h"

#include "runtime/Assert.h"

#include <algorithm>
#include <cstdlib>

namespace kapto {

int KeyThreshold(int tolerancePercent)
{
    const int percent = std::clamp(tolerancePercent, 0, 100);
    return (percent * 255 + 50) / 100;
}

TKeyTolerance::TKeyTolerance(TColor key, int threshold)
    : m_matchesAny((uint32_t(key) >> 24) == 0),
      m_threshold(std::clamp(threshold, 0, 255)), m_key{BlueOf(key), GreenOf(key), RedOf(key)}
{
    for (size_t c = 0; c < 3; ++c) {
        const int k = m_key[c];
        for (int v = 0; v < 256; ++v) {
            const int range = v > k ? 255 - k : k;
            const int diff = std::abs(v - k);
            m_leastAlpha[c][size_t(v)] = uint8_t(diff == 0 ? 0 : (255 * diff + range - 1) / range);
        }
    }
    // Full opacity from three times the threshold on: a band twice the threshold wide fades in
    // the compression noise and anti-aliasing around the keyed area, while shapes whose colour
    // lies farther from the key (pale grey on white at 10 %, say) stay fully opaque.
    const int t = m_threshold;
    const int opaque = std::min(255, 3 * t);
    for (int d = 0; d < 256; ++d) {
        m_ramp[size_t(d)] =
            uint8_t(d <= t        ? 0
                    : d >= opaque ? 255
                                  : (255 * (d - t) + (opaque - t) / 2) / (opaque - t));
    }
}

void TKeyTolerance::MarkKeyPixels(const uint8_t* bgr, size_t width, uint8_t* flags) const
{
    if (!m_matchesAny) {
        std::fill(flags, flags + width, uint8_t(0));
        return;
    }
    const int t = m_threshold;
    const int kb = m_key[0];
    const int kg = m_key[1];
    const int kr = m_key[2];
    for (size_t x = 0; x < width; ++x) {
        const uint8_t* p = bgr + 3 * x;
        const int d = std::max({std::abs(p[0] - kb), std::abs(p[1] - kg), std::abs(p[2] - kr)});
        flags[x] = d <= t ? 1 : 0;
    }
}

void TKeyTolerance::SoftEdgeRow(const uint8_t* bgr, const uint8_t* flags, size_t width,
                                uint8_t* out, uint8_t* alpha) const
{
    // Each pixel p that is no key pixel is read as a blend of the key colour k and an opaque
    // colour c with alpha a, so that a·c + (1 − a)·k = p in each channel (blue, green, red):
    //   d  = max over the channels of |p − k|, the distance from the key (d > t here);
    //   a₀ = max over the channels of |p − k| / (p > k ? 255 − k : k), the smallest a that
    //        keeps c in 0..255;
    //   a  = min(1, max(a₀, (d − t) / (o − t))), with o = min(255, 3t);
    //   c  = k + (p − k) / a.
    // With A = 255·a in bytes, a₀ is rounded up and the ramp to nearest, and each channel of c
    // is k + round((p − k)·255 / A). Composited over the key, c gives back p within half a
    // level before the viewer's rounding. a grows with the distance along any line from the
    // key colour, and pixels at o or beyond keep their colour, fully opaque.
    if (!m_matchesAny) {
        // No key colour, nothing to blend with: every pixel stays as it is, opaque.
        std::fill(alpha, alpha + width, uint8_t(255));
        if (out != bgr) {
            std::copy(bgr, bgr + 3 * width, out);
        }
        return;
    }
    for (size_t x = 0; x < width; ++x) {
        if (flags[x] != 0) {
            continue;
        }
        const uint8_t* p = bgr + 3 * x;
        uint8_t* c = out + 3 * x;
        const int d = std::max(
            {std::abs(p[0] - m_key[0]), std::abs(p[1] - m_key[1]), std::abs(p[2] - m_key[2])});
        const int a = std::max({int(m_ramp[size_t(d)]), int(m_leastAlpha[0][p[0]]),
                                int(m_leastAlpha[1][p[1]]), int(m_leastAlpha[2][p[2]])});
        KAPTO_ASSERT(a > 0);
        alpha[x] = uint8_t(a);
        if (a == 255) {
            if (c != p) {
                c[0] = p[0];
                c[1] = p[1];
                c[2] = p[2];
            }
            continue;
        }
        for (size_t i = 0; i < 3; ++i) {
            const int diff = p[i] - m_key[i];
            const int step = (std::abs(diff) * 255 + a / 2) / a;
            const int value = diff < 0 ? m_key[i] - step : m_key[i] + step;
            KAPTO_ASSERT(value >= 0 && value <= 255);
            c[i] = uint8_t(value);
        }
    }
}

} // namespace kapto
