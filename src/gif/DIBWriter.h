#pragma once
// Device-independent bitmaps that the GIF renderer writes row by row and hands to a TBitmap
// through the bitmap's BMP reader.

#include "graphics/Bitmap.h"
#include "platform/Color.h"

#include <cstdint>
#include <vector>

namespace kapto {

// A DIB bound to the bitmap it is made for.
class TDIB
{
public:
    TDIB(TBitmap& bitmap, TPixelFormat pixelFormat) : m_bitmap(bitmap), m_pixelFormat(pixelFormat)
    {}
    virtual ~TDIB() = default;
    TDIB(const TDIB&) = delete;
    TDIB& operator=(const TDIB&) = delete;

    // The first byte of a pixel row, row 0 at the top.
    virtual uint8_t* RowPointer(int32_t row) = 0;

protected:
    TBitmap& m_bitmap;
    TPixelFormat m_pixelFormat;
};

// An 8- or 24-bit DIB written row by row; Finish loads it into the bitmap.
class TDIBWriter : public TDIB
{
public:
    // Raises GIFException "Unsupported PixelFormat" for formats other than fmt8Bit and
    // fmt24Bit and "Invalid image dimensions" for a zero or negative size. The DIB itself
    // is made by the first RowPointer.
    TDIBWriter(TBitmap& bitmap, TPixelFormat pixelFormat, int32_t width, int32_t height,
               HPALETTE palette);

    // Raises EOutOfMemory "Failed to allocate memory for GIF DIB" when the pixels cannot be
    // allocated, EInvalidGraphicOperation for a row outside the DIB.
    uint8_t* RowPointer(int32_t row) override;
    // Loads the DIB, when one was made, into the bitmap through its BMP reader and releases
    // it. Pixels of rows never written are 0.
    void Finish();

private:
    void CreateDIB();

    int32_t m_width;
    int32_t m_height;
    HPALETTE m_palette;
    uint16_t m_bitCount;
    size_t m_rowSize = 0;
    size_t m_pixelOffset = 0;
    // The whole BMP file: file header, info header, colour table and pixel rows bottom-up.
    std::vector<uint8_t> m_file;
};

} // namespace kapto
