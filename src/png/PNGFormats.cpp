#include "png/PNGFormats.h"

#include "png/PNGRows.h"

namespace kapto {

namespace {

struct TRow
{
    uint8_t ColorType;
    uint8_t BitDepth;
    TPNGFormat Format;
};

// Pairs missing here are neither read nor written and have no picture. Gray and alpha at 1, 2
// and 4 bits and a 16-bit palette are not PNG, but the picture's layout would hold them.
constexpr TRow kFormats[] = {
    {COLOR_GRAYSCALE, 1, {true, true, 1}},
    {COLOR_GRAYSCALE, 2, {true, false, 4}},
    {COLOR_GRAYSCALE, 4, {true, true, 4}},
    {COLOR_GRAYSCALE, 8, {true, true, 8}},
    {COLOR_GRAYSCALE, 16, {true, true, 8}},
    {COLOR_RGB, 8, {true, true, 24}},
    {COLOR_RGB, 16, {true, true, 24}},
    {COLOR_PALETTE, 1, {true, true, 1}},
    {COLOR_PALETTE, 2, {true, false, 4}},
    {COLOR_PALETTE, 4, {true, true, 4}},
    {COLOR_PALETTE, 8, {true, true, 8}},
    {COLOR_PALETTE, 16, {false, false, 8}},
    {COLOR_GRAYSCALEALPHA, 1, {false, false, 1}},
    {COLOR_GRAYSCALEALPHA, 2, {false, false, 4}},
    {COLOR_GRAYSCALEALPHA, 4, {false, false, 4}},
    {COLOR_GRAYSCALEALPHA, 8, {true, true, 8}},
    {COLOR_GRAYSCALEALPHA, 16, {true, true, 8}},
    {COLOR_RGBALPHA, 8, {true, true, 24}},
    {COLOR_RGBALPHA, 16, {true, true, 24}},
};

} // namespace

TPNGFormat PNGFormat(uint8_t colorType, uint8_t bitDepth)
{
    for (const TRow& row : kFormats) {
        if (row.ColorType == colorType && row.BitDepth == bitDepth) {
            return row.Format;
        }
    }
    return {};
}

} // namespace kapto
