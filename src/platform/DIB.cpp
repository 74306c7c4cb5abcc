#include "platform/DIB.h"

#include "platform/MemoryBudget.h"
#include "runtime/Checked.h"

#include <algorithm>
#include <new>

namespace kapto {

bool TPixelBuffer::Allocate(size_t size)
{
    if (size > PixelBufferLimit()) {
        return false;
    }
    ChargePixelMemory(size);
    uint8_t* data = static_cast<uint8_t*>(std::calloc(std::max<size_t>(size, 1), 1));
    if (data == nullptr) {
        return false;
    }
    m_data.reset(data);
    m_size = size;
    return true;
}

void TPlatformImage::SetColorTable(const std::vector<TRGBQuad>& table)
{
    m_colorTable.assign(table.begin(), table.begin() + std::min<size_t>(table.size(), 256));
}

namespace {

bool IsSupportedBitCount(unsigned bitCount)
{
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
           bitCount == 32;
}

} // namespace

HBITMAP CreateDIBSection(const TBitmapInfoHeader& header, const std::vector<TRGBQuad>& colors,
                         const uint32_t* masks)
{
    const int64_t height = header.Height < 0 ? -int64_t(header.Height) : int64_t(header.Height);
    if (header.Width <= 0 || height == 0 || !IsSupportedBitCount(header.BitCount)) {
        return nullptr;
    }
    const bool bitFields = header.Compression == kCompressionBitFields;
    if (header.Compression != kCompressionNone &&
        !(bitFields && (header.BitCount == 16 || header.BitCount == 32))) {
        return nullptr;
    }
    uint64_t bytes = 0;
    if (!ImageBufferSize(header.Width, height, header.BitCount, bytes)) {
        return nullptr;
    }
    auto image = std::make_shared<TPlatformImage>();
    if (!image->m_pixels.Allocate(size_t(bytes))) {
        return nullptr;
    }
    image->m_kind = TImageKind::DIB;
    image->m_width = header.Width;
    image->m_height = int32_t(height);
    image->m_topDown = header.Height < 0;
    image->m_bitCount = header.BitCount;
    image->m_compression = header.Compression;
    image->m_stride = size_t(DIBStride(uint64_t(header.Width), header.BitCount));
    if (bitFields) {
        for (int i = 0; i < 3; ++i) {
            image->m_masks[i] = masks != nullptr ? masks[i] : 0;
        }
    }
    if (header.BitCount <= 8) {
        image->SetColorTable(colors);
    }
    image->m_header = header;
    image->m_header.Size = 40;
    image->m_header.Planes = 1;
    image->m_header.SizeImage = uint32_t(bytes);
    return image;
}

HBITMAP CreateDeviceImage(int32_t width, int32_t height, bool monochrome)
{
    const unsigned bitCount = monochrome ? 1 : unsigned(kDisplayBitsPerPixel);
    uint64_t bytes = 0;
    if (width <= 0 || height <= 0 || !ImageBufferSize(width, height, bitCount, bytes)) {
        return nullptr;
    }
    auto image = std::make_shared<TPlatformImage>();
    if (!image->m_pixels.Allocate(size_t(bytes))) {
        return nullptr;
    }
    image->m_kind = TImageKind::Device;
    image->m_width = width;
    image->m_height = height;
    image->m_topDown = true;
    image->m_bitCount = uint16_t(bitCount);
    image->m_stride = size_t(DIBStride(uint64_t(width), bitCount));
    if (monochrome) {
        image->m_colorTable = {{0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0}};
    }
    return image;
}

TDIBSection DescribeImage(const TPlatformImage& image)
{
    TDIBSection description;
    description.Bm.Type = 0;
    description.Bm.Width = image.Width();
    description.Bm.Height = image.Height();
    description.Bm.Planes = 1;
    description.Bm.BitsPixel = image.BitCount();
    if (image.Kind() == TImageKind::Device) {
        // Device images report word-aligned rows and no pixel address, as a display driver's
        // images do.
        description.Bm.WidthBytes =
            int32_t(((int64_t(image.Width()) * image.BitCount() + 15) / 16) * 2);
        return description;
    }
    description.Bm.WidthBytes = int32_t(image.Stride());
    description.Bm.Bits = image.Bits();
    description.Bmih = image.Header();
    if (image.Compression() == kCompressionBitFields) {
        std::copy(image.Masks(), image.Masks() + 3, description.Bitfields);
    }
    return description;
}

} // namespace kapto
