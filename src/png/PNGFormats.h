#pragma once
// What Kapto does with each PNG colour type and bit depth, in one table.

#include <cstdint>

namespace kapto {

struct TPNGFormat
{
    bool Readable = false; // a pair the PNG standard allows, which the reader decodes
    bool Writable = false; // a pair the writer's row converters encode (2 bits is written as 4)
    // Bits per pixel of the in-memory picture (gray and palette indexed, colour at 24 bits,
    // alpha in its own plane); 0 where no picture can hold the pair.
    uint16_t PictureBitCount = 0;
};

TPNGFormat PNGFormat(uint8_t colorType, uint8_t bitDepth);

} // namespace kapto
