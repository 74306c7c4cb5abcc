#pragma once
// Raster operations on platform images: row conversion between formats, bulk conversion,
// 1:1 copy, fills, pixel reads and writes, stretch copy and masked copy. Every operation
// keeps each pixel's colour; formats of 8 bits or fewer take the nearest colour-table entry.

#include "platform/DIB.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace kapto {

struct TRect
{
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
};

// Decodes rows of an image into blue, green, red, 0 quads.
class TRowReader
{
public:
    explicit TRowReader(const TPlatformImage& image);
    // Pixels x0 .. x0 + count - 1 of row y (all inside the image) into out.
    void Read(int32_t y, int32_t x0, int32_t count, TRGBQuad* out) const;

private:
    struct TChannel
    {
        uint32_t Mask = 0;
        unsigned Shift = 0;
        uint32_t Max = 0;
        std::vector<uint8_t> Widened; // 8-bit value of each channel value, for narrow masks
    };
    static TChannel MakeChannel(uint32_t mask);
    static uint8_t Extract(const TChannel& channel, uint32_t pixel);

    const TPlatformImage& m_image;
    TRGBQuad m_table[256];
    TChannel m_channels[3];
    bool m_useMasks = false;
};

// Encodes blue, green, red quads into rows of an image.
class TRowWriter
{
public:
    explicit TRowWriter(TPlatformImage& image);
    void Write(int32_t y, int32_t x0, int32_t count, const TRGBQuad* in);

private:
    uint32_t IndexFor(const TRGBQuad& color);
    uint32_t Pack(const TRGBQuad& color) const;

    TPlatformImage& m_image;
    std::unordered_map<uint32_t, uint32_t> m_indexCache;
    unsigned m_shifts[3] = {0, 0, 0};
    unsigned m_widths[3] = {0, 0, 0};
};

// Converts every pixel of source into target of the same width and height (GetDIBits).
void ConvertImage(const TPlatformImage& source, TPlatformImage& target);
// Copies source onto target 1:1 at (0, 0) over the overlapping area (BitBlt).
void CopyImage(const TPlatformImage& source, TPlatformImage& target);
// Fills a rectangle (clipped) of the image with a colour.
void FillImage(TPlatformImage& image, const TRect& rect, TColor color);
void FillImage(TPlatformImage& image, TColor color);
// The colour of a pixel as $00BBGGRR, or $FFFFFFFF outside the image.
TColor ReadPixel(const TPlatformImage& image, int32_t x, int32_t y);
// Sets a pixel to the nearest colour the image can hold; outside the image nothing happens.
void WritePixel(TPlatformImage& image, int32_t x, int32_t y, TColor color);
// Copies the source rectangle onto the target rectangle, scaled by nearest neighbour and
// clipped to the target. With a transparent colour, source pixels of that colour are left out.
void StretchCopy(TPlatformImage& target, const TRect& targetRect, const TPlatformImage& source,
                 const TRect& sourceRect, TColor transparentColor = clInvalid);

// Decodes RLE8 (compression 1) or RLE4 (2) data into a device image. It stands in for the
// platform's creation of a device bitmap from a compressed DIB, to which the BMP reader hands
// such data; that is why it lives here and yields a device image. Runs and deltas that
// leave the image are cut off, never written outside it; pixels the data does not reach are
// black. None for other compressions or bad sizes. rowsUnreached, when given, takes the rows
// the data ran out before finishing, without an end-of-bitmap code; 0 when it has one.
HBITMAP DecodeRLE(const TBitmapInfoHeader& header, const std::vector<TRGBQuad>& colors,
                  const uint8_t* data, size_t size, int64_t* rowsUnreached = nullptr);

} // namespace kapto
