// LZW decoding of GIF image data (GIF89a, appendix F): codes of 3 to 12 bits packed least
// significant bit first into data sub-blocks, and the interlaced row order of section 20.

#include "gif/LZWDecoder.h"

#include "runtime/Assert.h"
#include "runtime/SourceWarnings.h"

#include <algorithm>

namespace kapto {

namespace {

constexpr uint32_t kCodeMask[16] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F,
                                    0x00FF, 0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF};

} // namespace

TLZWDecoder::TLZWDecoder(TStream& stream, TWarningHandler warning)
    : m_stream(stream), m_warning(std::move(warning))
{}

void TLZWDecoder::Reset(int minimumCodeSize)
{
    m_minimumCodeSize = minimumCodeSize;
    m_clearCode = 1 << minimumCodeSize;
    m_endCode = m_clearCode + 1;
    m_codeSize = minimumCodeSize + 1;
    m_codeLimit = 2 * m_clearCode;
    m_nextFreeCode = m_clearCode + 2;
    m_bitPosition = 0;
    m_bitCount = 0;
    m_validBytes = 2;
    m_isDone = false;
    m_zeroBlockRead = false;
    m_isFresh = true;
    m_isEndCodeRead = false;
    m_stackPointer = 0;
}

void TLZWDecoder::ReadImageData(uint8_t* data, uint32_t width, uint32_t height, bool isInterlaced)
{
    uint8_t minimumCodeSize = 0;
    if (m_stream.Read(&minimumCodeSize, 1) != 1) {
        if (height > 0) {
            ReportRowsMissing(height, height);
        }
        return;
    }
    // With a larger minimum code size the clear code would lie outside the 4096-entry table
    // and codes would outgrow 12 bits; such data cannot come from a GIF encoder.
    if (minimumCodeSize > kMaxLZWMinimumCodeSize) {
        RaiseGIF(TGIFMessage::CodeSizeTooLarge);
    }
    Reset(minimumCodeSize);
    try {
        const uint32_t filled = FillPixels(data, width, height, isInterlaced);
        if (filled < height && m_isFileEnded) {
            ReportRowsMissing(height - filled, height);
        }
    } catch (...) {
        // The code after the image is read even when decoding failed, as after a clean end.
        try {
            NextPixel();
        } catch (const GIFException&) {
        }
        throw;
    }
    // Reads the end code that follows a complete image, which skips the remaining sub-blocks.
    // After an end code before the last pixel the sub-blocks are skipped already: another
    // code would be taken from the blocks that follow the image data.
    if (!m_isEndCodeRead) {
        NextPixel();
    }
}

uint32_t TLZWDecoder::FillPixels(uint8_t* data, uint32_t width, uint32_t height, bool isInterlaced)
{
    if (!isInterlaced) {
        for (uint32_t row = 0; row < height; ++row) {
            if (!FillRow(data + uint64_t(row) * width, width)) {
                return row;
            }
        }
        return height;
    }
    // Passes start at rows 0, 4, 2, 1 with steps 8, 8, 4, 2; a pass whose first row lies
    // below the image is skipped.
    uint32_t row = 0;
    uint32_t step = 8;
    int pass = 0;
    for (uint32_t filled = 0; filled < height; ++filled) {
        KAPTO_ASSERT(row < height);
        if (!FillRow(data + uint64_t(row) * width, width)) {
            return filled;
        }
        row += step;
        while (row >= height) {
            if (pass > 0) {
                step /= 2;
            }
            ++pass;
            row = step / 2;
        }
    }
    return height;
}

bool TLZWDecoder::FillRow(uint8_t* line, uint32_t width)
{
    uint32_t x = 0;
    while (x < width) {
        if (m_stackPointer == 0) {
            const int pixel = DecodeStep();
            if (pixel < 0) {
                return false;
            }
            line[x++] = uint8_t(pixel);
            continue;
        }
        // The rest of the last code's string lies on the stack, its first pixel on top.
        const uint32_t count = std::min(uint32_t(m_stackPointer), width - x);
        const uint16_t* top = m_stack + m_stackPointer;
        for (uint32_t i = 0; i < count; ++i) {
            line[x + i] = uint8_t(top[-1 - int(i)]);
        }
        m_stackPointer -= int(count);
        x += count;
    }
    return true;
}

int TLZWDecoder::NextPixel()
{
    if (m_stackPointer > 0) {
        return m_stack[--m_stackPointer];
    }
    return DecodeStep();
}

void TLZWDecoder::Push(int value)
{
    // A chain in a sound table is at most 4096 entries long; corrupt data can link entries
    // into a loop through codes that were not yet defined, which would run on forever.
    if (m_stackPointer >= kStackSize) {
        RaiseGIF(TGIFMessage::CircularTableEntry);
    }
    m_stack[m_stackPointer++] = uint16_t(value);
}

int TLZWDecoder::DecodeStep()
{
    int code = ReadCode(m_codeSize);
    if (code < 0) {
        return code;
    }
    if (code == m_clearCode) {
        for (int i = 0; i < m_clearCode; ++i) {
            m_prefix[i] = 0;
            m_suffix[i] = uint16_t(i);
        }
        std::fill(m_prefix + m_clearCode, m_prefix + kTableSize, uint16_t(0));
        std::fill(m_suffix + m_clearCode, m_suffix + kTableSize, uint16_t(0));
        m_codeSize = m_minimumCodeSize + 1;
        m_codeLimit = 2 * m_clearCode;
        m_nextFreeCode = m_clearCode + 2;
        m_stackPointer = 0;
        do {
            code = ReadCode(m_codeSize);
        } while (code == m_clearCode);
        m_firstCode = code;
        m_oldCode = code;
        return code;
    }
    if (code == m_endCode) {
        if (!m_zeroBlockRead) {
            uint8_t size = 0;
            while (m_stream.Read(&size, 1) == 1 && size != 0) {
                m_stream.Seek(int64_t(std::min<uint64_t>(size, m_stream.Remaining())),
                              TSeekOrigin::Current);
            }
        }
        m_isEndCodeRead = true;
        return kEndCodeRead;
    }
    const int inCode = code;
    if (code >= m_nextFreeCode) {
        Push(m_firstCode);
        code = m_oldCode;
    }
    while (code >= m_clearCode) {
        Push(m_suffix[code]);
        if (m_prefix[code] == code) {
            RaiseGIF(TGIFMessage::CircularTableEntry);
        }
        code = m_prefix[code];
    }
    m_firstCode = m_suffix[code];
    Push(m_firstCode);
    if (m_nextFreeCode < kTableSize) {
        m_prefix[m_nextFreeCode] = uint16_t(m_oldCode);
        m_suffix[m_nextFreeCode] = uint16_t(m_firstCode);
        ++m_nextFreeCode;
        if (m_nextFreeCode >= m_codeLimit && m_codeLimit < kTableSize) {
            m_codeLimit *= 2;
            ++m_codeSize;
        }
    }
    m_oldCode = inCode;
    return m_stack[--m_stackPointer];
}

int TLZWDecoder::ReadCode(int bits)
{
    if (m_isFresh) {
        m_isFresh = false;
        return m_clearCode;
    }
    if (m_bitPosition + bits >= m_bitCount) {
        if (m_isDone) {
            if (m_bitPosition >= m_bitCount) {
                m_warning(TGIFMessage::BitBufferUnderrun);
            }
            return kNoMoreData;
        }
        m_buffer[0] = m_buffer[m_validBytes - 2];
        m_buffer[1] = m_buffer[m_validBytes - 1];
        uint8_t count = 0;
        if (m_stream.Read(&count, 1) != 1) {
            m_isFileEnded = true;
            return kNoMoreData;
        }
        if (count == 0) {
            m_zeroBlockRead = true;
            m_isDone = true;
        } else {
            const uint64_t remaining = m_stream.Remaining();
            if (remaining < count) {
                m_isFileEnded = true;
                m_warning(TGIFMessage::PrematureEnd);
                count = uint8_t(remaining);
            }
            if (count != 0 && m_stream.Read(m_buffer + 2, count) != count) {
                RaiseGIF(TGIFMessage::PrematureEnd);
            }
        }
        m_validBytes = count + 2;
        m_bitPosition = m_bitPosition - m_bitCount + 16;
        m_bitCount = 8 * (count + 2);
    }
    // A code taken right after a short refill may reach past the valid bytes into what the
    // buffer held before; it never reaches past the buffer itself.
    const int first = m_bitPosition / 8;
    const int last = (m_bitPosition + bits) / 8;
    KAPTO_ASSERT(first >= 0 && last < kBufferSize);
    uint32_t value = m_buffer[first];
    if (last >= first + 1) {
        value |= uint32_t(m_buffer[first + 1]) << 8;
    }
    if (last >= first + 2) {
        value |= uint32_t(m_buffer[first + 2]) << 16;
    }
    value >>= m_bitPosition % 8;
    m_bitPosition += bits;
    return int(value & kCodeMask[bits]);
}

} // namespace kapto
