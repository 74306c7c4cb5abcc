// Writes the rows of an 8- or 24-bit DIB (rows bottom-up, padded to 4 bytes, a 256-entry colour
// table for 8 bits) and hands it to a bitmap as a BMP file held in memory.

#include "gif/DIBWriter.h"

#include "gif/GIFErrors.h"
#include "runtime/Bytes.h"
#include "runtime/Checked.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/Stream.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace kapto {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kColorTableEntries = 256;

} // namespace

TDIBWriter::TDIBWriter(TBitmap& bitmap, TPixelFormat pixelFormat, int32_t width, int32_t height,
                       HPALETTE palette)
    : TDIB(bitmap, pixelFormat), m_width(width), m_height(height), m_palette(std::move(palette)),
      m_bitCount(pixelFormat == fmt8Bit ? 8 : 24)
{
    if (pixelFormat != fmt8Bit && pixelFormat != fmt24Bit) {
        RaiseGIF(TGIFMessage::UnsupportedPixelFormat);
    }
    if (width <= 0 || height <= 0) {
        RaiseGIF(TGIFMessage::InvalidDimensions);
    }
}

void TDIBWriter::CreateDIB()
{
    const size_t tableSize = m_bitCount == 8 ? kColorTableEntries * 4 : 0;
    const size_t headerSize = kInfoHeaderSize + tableSize;
    uint64_t pixelBytes = 0;
    uint64_t fileSize = 0;
    if (!ImageBufferSize(m_width, m_height, m_bitCount, pixelBytes) ||
        !CheckedAdd(pixelBytes, kFileHeaderSize + headerSize, fileSize) || fileSize > UINT32_MAX) {
        throw EOutOfMemory(GIFMessageText(TGIFMessage::DIBAllocation));
    }
    try {
        m_file.assign(size_t(fileSize), 0);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(GIFMessageText(TGIFMessage::DIBAllocation));
    }
    m_rowSize = size_t(DIBStride(uint64_t(m_width), m_bitCount));
    m_pixelOffset = kFileHeaderSize + headerSize;

    m_file[0] = 'B';
    m_file[1] = 'M';
    PutUInt32LE(m_file.data() + 2, uint32_t(fileSize));
    PutUInt32LE(m_file.data() + 10, uint32_t(m_pixelOffset));

    uint8_t* const info = m_file.data() + kFileHeaderSize;
    const size_t paletteCount = m_palette != nullptr ? m_palette->Count() : 0;
    PutUInt32LE(info, kInfoHeaderSize);
    PutUInt32LE(info + 4, uint32_t(m_width));
    PutUInt32LE(info + 8, uint32_t(m_height)); // positive: rows stored bottom-up
    PutUInt16LE(info + 12, 1);
    PutUInt16LE(info + 14, m_bitCount);
    if (m_bitCount == 8) {
        PutUInt32LE(info + 32, kColorTableEntries);
        PutUInt32LE(info + 36, uint32_t(std::min(paletteCount, kColorTableEntries)));
        uint8_t* const table = info + kInfoHeaderSize;
        for (size_t i = 0; i < paletteCount && i < kColorTableEntries; ++i) {
            const TPaletteEntry& entry = m_palette->Entries()[i];
            table[4 * i] = entry.Blue;
            table[4 * i + 1] = entry.Green;
            table[4 * i + 2] = entry.Red;
        }
    }
}

uint8_t* TDIBWriter::RowPointer(int32_t row)
{
    if (m_file.empty()) {
        CreateDIB();
    }
    if (m_file.empty()) {
        RaiseGIF(TGIFMessage::NoDIB);
    }
    if (row < 0 || row >= m_height) {
        throw EInvalidGraphicOperation(FormatMessage(TMessage::ScanLineOutOfRange));
    }
    return m_file.data() + m_pixelOffset + size_t(m_height - row - 1) * m_rowSize;
}

void TDIBWriter::Finish()
{
    if (m_file.empty()) {
        return;
    }
    TMemoryStream stream(std::move(m_file));
    m_file.clear();
    m_bitmap.LoadFromStream(stream);
}

} // namespace kapto
