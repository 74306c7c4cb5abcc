#include "platform/DIB.h"

#include "platform/MemoryBudget.h"
#include "runtime/Checked.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include <sys/mman.h>
#include <unistd.h>

namespace kapto {

namespace {

// Buffers from this size on are mapped in whole huge pages (2 MiB on x86-64 and most ARM
// systems); smaller ones come from the heap.
constexpr size_t kHugePage = size_t(2) << 20;

// Under the address sanitizer (which the build announces) every buffer comes from the heap,
// where overruns are caught.
#ifdef KAPTO_ADDRESS_SANITIZER
constexpr bool kMapLargeBuffers = false;
#else
constexpr bool kMapLargeBuffers = true;
#endif

// Anonymous memory, zero-filled by the system, starting on a huge page so that every whole huge
// page of it can be backed by one. It ends at the first small page boundary after the buffer:
// the part past the last whole huge page stays in small pages and takes no more memory than a
// heap buffer would. Null when the system refuses.
uint8_t* MapHugeAligned(size_t size, size_t& mapped)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t rounded = (size + page - 1) / page * page;
    const size_t span = rounded + kHugePage;
    void* base = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        return nullptr;
    }
    // Only whole pages are handed back: the unaligned head and what lies past the buffer.
    const uintptr_t start = reinterpret_cast<uintptr_t>(base);
    const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start) {
        munmap(base, aligned - start);
    }
    const size_t tail = span - (aligned - start) - rounded;
    if (tail > 0) {
        munmap(reinterpret_cast<void*>(aligned + rounded), tail);
    }
    auto* data = reinterpret_cast<uint8_t*>(aligned);
    // Advice only: without it (or without huge pages) the buffer works the same.
    madvise(data, rounded, MADV_HUGEPAGE);
    mapped = rounded;
    return data;
}

} // namespace

void TPixelRelease::operator()(uint8_t* p) const
{
    if (Mapped != 0) {
        munmap(p, Mapped);
    } else {
        std::free(p);
    }
}

bool TPixelBuffer::Allocate(size_t size)
{
    if (size > PixelBufferLimit()) {
        return false;
    }
    ChargePixelMemory(size);
    size_t mapped = 0;
    uint8_t* data = kMapLargeBuffers && size >= kHugePage
                        ? MapHugeAligned(size, mapped)
                        : static_cast<uint8_t*>(std::calloc(std::max<size_t>(size, 1), 1));
    if (data == nullptr) {
        return false;
    }
    m_data = std::unique_ptr<uint8_t[], TPixelRelease>(data, TPixelRelease{mapped});
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
