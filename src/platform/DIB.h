#pragma once
// In-memory stand-ins for the platform's images: device-independent bitmaps (a header, a
// colour table or masks and zero-padded rows) and device images in the display's format
// (32 bits per pixel, or monochrome), with their descriptions.

#include "platform/Color.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace kapto {

// BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS.
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRLE8 = 1;
constexpr uint32_t kCompressionRLE4 = 2;
constexpr uint32_t kCompressionBitFields = 3;

// The channel masks of a bit-field image that names none: red, green, blue in 5-6-5 for 16
// bits per pixel and in 8-8-8 for 32.
constexpr uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr uint32_t kMasks888[3] = {0xFF0000, 0x00FF00, 0x0000FF};

inline const uint32_t* DefaultBitFieldMasks(unsigned bitCount)
{
    return bitCount == 16 ? kMasks565 : kMasks888;
}

struct TBitmapInfoHeader
{
    uint32_t Size = 0; // 0: no header, the image is device-dependent
    int32_t Width = 0;
    int32_t Height = 0; // positive: bottom-up rows; negative: top-down
    uint16_t Planes = 0;
    uint16_t BitCount = 0;
    uint32_t Compression = 0;
    uint32_t SizeImage = 0;
    int32_t XPelsPerMeter = 0;
    int32_t YPelsPerMeter = 0;
    uint32_t ClrUsed = 0;
    uint32_t ClrImportant = 0;
};

struct TBitmapPart
{
    int32_t Type = 0;
    int32_t Width = 0;
    int32_t Height = 0; // always positive
    int32_t WidthBytes = 0;
    uint16_t Planes = 0;
    uint16_t BitsPixel = 0;
    uint8_t* Bits = nullptr; // the pixel buffer of a DIB, none otherwise
};

// The description every image carries: bitmap part, header part and colour masks.
struct TDIBSection
{
    TBitmapPart Bm;
    TBitmapInfoHeader Bmih;
    uint32_t Bitfields[3] = {0, 0, 0};
};

enum class TImageKind
{
    DIB,    // device-independent: any supported bit count, colour table or masks
    Device, // the display's format: 32 bits per pixel top-down, or monochrome
};

// Zero-filled pixel memory. Large buffers are mapped from the system directly, so untouched
// pages of an image that a short file only partly fills cost nothing until they are read, and
// are asked for in huge pages where the system offers them: filling a 24-megapixel picture in
// 4 KiB pages takes tens of thousands of page faults, which cost more than the copying itself.
// Hands a pixel buffer back to where it came from.
struct TPixelRelease
{
    size_t Mapped = 0; // bytes mapped from the system; 0 for heap memory
    void operator()(uint8_t* p) const;
};

class TPixelBuffer
{
public:
    TPixelBuffer() = default;
    bool Allocate(size_t size);
    uint8_t* Data() const { return m_data.get(); }
    size_t Size() const { return m_size; }

private:
    std::unique_ptr<uint8_t[], TPixelRelease> m_data;
    size_t m_size = 0;
};

// One platform image. Rows are addressed from the top of the picture.
class TPlatformImage
{
public:
    TImageKind Kind() const { return m_kind; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; } // |height|
    bool IsTopDown() const { return m_topDown; }
    uint16_t BitCount() const { return m_bitCount; }
    uint32_t Compression() const { return m_compression; }
    const uint32_t* Masks() const { return m_masks; }
    size_t Stride() const { return m_stride; }
    uint8_t* Bits() const { return m_pixels.Data(); }
    size_t BufferSize() const { return m_pixels.Size(); }

    // The colour table of an indexed DIB (as many entries as it was made with).
    const std::vector<TRGBQuad>& ColorTable() const { return m_colorTable; }
    void SetColorTable(const std::vector<TRGBQuad>& table);

    // Row y of the picture, y counted from the top.
    uint8_t* Row(int32_t y) const
    {
        const int32_t stored = m_topDown ? y : m_height - 1 - y;
        return m_pixels.Data() + size_t(stored) * m_stride;
    }

    // The header this image was made with (device images: none, size 0).
    const TBitmapInfoHeader& Header() const { return m_header; }

private:
    friend std::shared_ptr<TPlatformImage>
    CreateDIBSection(const TBitmapInfoHeader&, const std::vector<TRGBQuad>&, const uint32_t*);
    friend std::shared_ptr<TPlatformImage> CreateDeviceImage(int32_t, int32_t, bool);

    TImageKind m_kind = TImageKind::DIB;
    int32_t m_width = 0;
    int32_t m_height = 0;
    bool m_topDown = false;
    uint16_t m_bitCount = 0;
    uint32_t m_compression = 0;
    uint32_t m_masks[3] = {0, 0, 0};
    size_t m_stride = 0;
    std::vector<TRGBQuad> m_colorTable;
    TBitmapInfoHeader m_header;
    TPixelBuffer m_pixels;
};

using HBITMAP = std::shared_ptr<TPlatformImage>;

// A DIB from a header (width > 0, height != 0, bit count 1, 4, 8, 16, 24 or 32; compression
// 0, or 3 with 16 or 32 bits), an optional colour table (at most 256 entries) and masks (for
// compression 3). The pixels are zero. None when the platform refuses: bad fields, a size
// beyond the image limits, or no memory.
HBITMAP CreateDIBSection(const TBitmapInfoHeader& header, const std::vector<TRGBQuad>& colors,
                         const uint32_t* masks);
// A device image of the display's format (32 bits, top-down), or a monochrome one (1 bit,
// black then white). The pixels start black. None when refused.
HBITMAP CreateDeviceImage(int32_t width, int32_t height, bool monochrome);

// The platform's description of an image (GetObject): for a DIB the bitmap part with its
// pixel address and the header with the image size filled in; for a device image the
// bitmap part only.
TDIBSection DescribeImage(const TPlatformImage& image);

} // namespace kapto
