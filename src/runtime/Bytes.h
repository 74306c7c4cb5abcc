#pragma once
// Multi-byte values assembled from and spread into bytes in a stated byte order, so that no
// code casts a byte buffer to a wider type: BMP fields are little-endian, PNG fields big-endian.

#include <cstdint>

namespace kapto {

inline uint16_t GetUInt16LE(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

inline uint32_t GetUInt32LE(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint32_t GetUInt32BE(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Stores the low 16 bits of the value.
inline void PutUInt16LE(uint8_t* p, uint32_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

inline void PutUInt32LE(uint8_t* p, uint32_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
    p[3] = uint8_t(value >> 24);
}

inline void PutUInt32BE(uint8_t* p, uint32_t value)
{
    p[0] = uint8_t(value >> 24);
    p[1] = uint8_t(value >> 16);
    p[2] = uint8_t(value >> 8);
    p[3] = uint8_t(value);
}

} // namespace kapto
