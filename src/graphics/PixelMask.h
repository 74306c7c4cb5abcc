#pragma once
// A set of pixels of a picture, one bit each: which pixels a keyed source left transparent.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kapto {

class TPixelMask
{
public:
    // An empty set for a picture of width x height pixels (both at least 0).
    TPixelMask(uint32_t width, uint32_t height)
        : m_width(width), m_height(height), m_rowBytes((size_t(width) + 7) / 8),
          m_bits(m_rowBytes * height)
    {}

    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }

    // x and y must lie inside the picture.
    bool Contains(uint32_t x, uint32_t y) const
    {
        return (m_bits[size_t(y) * m_rowBytes + x / 8] >> (7 - x % 8)) & 1;
    }
    void Add(uint32_t x, uint32_t y)
    {
        m_bits[size_t(y) * m_rowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
    }

private:
    uint32_t m_width;
    uint32_t m_height;
    size_t m_rowBytes;
    std::vector<uint8_t> m_bits;
};

} // namespace kapto
