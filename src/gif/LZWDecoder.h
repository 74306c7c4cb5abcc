#pragma once
// The variable-length-code LZW decoder of GIF image data (GIF89a, appendix F), with the
// four-pass interlaced row order.

#include "gif/GIFErrors.h"
#include "runtime/Stream.h"

#include <cstdint>
#include <functional>

namespace kapto {

// Largest LZW minimum code size whose codes fit the 4096-entry table and 12-bit codes.
constexpr int kMaxLZWMinimumCodeSize = 11;

// One decode of one frame's image data. The decoder state lives in the object, which is meant
// to live on the stack for a single ReadImageData call.
class TLZWDecoder
{
public:
    using TWarningHandler = std::function<void(TGIFMessage)>;

    // Warnings ("Decoder bit buffer under-run", "Premature end of data") go to the handler.
    TLZWDecoder(TStream& stream, TWarningHandler warning);

    // Reads the minimum code size byte and the data sub-blocks from the stream and stores the
    // decoded indices into data (width x height bytes, rows top to bottom). Pixels the data
    // does not reach are left as they are. Raises GIFException "Circular decoder table entry"
    // for a looping code table and "Invalid LZW code size" for a minimum code size above 11;
    // a short or unterminated stream only ends decoding.
    void ReadImageData(uint8_t* data, uint32_t width, uint32_t height, bool isInterlaced);

private:
    static constexpr int kTableSize = 4096;
    static constexpr int kStackSize = 8192;
    static constexpr int kBufferSize = 2 + 255;
    // Returned by ReadCode, DecodeStep and NextPixel in place of a code or a pixel: the data
    // ran out, or the end code was read. Both are negative, so below every code and pixel.
    static constexpr int kNoMoreData = -1;
    static constexpr int kEndCodeRead = -2;

    int NextPixel();
    int DecodeStep();
    int ReadCode(int bits);
    void Reset(int minimumCodeSize);
    // The rows filled whole, in the order they are stored.
    uint32_t FillPixels(uint8_t* data, uint32_t width, uint32_t height, bool isInterlaced);
    // Fills one row; false when the data ends or the end code comes first.
    bool FillRow(uint8_t* line, uint32_t width);
    void Push(int value);

    TStream& m_stream;
    TWarningHandler m_warning;

    bool m_isFileEnded = false; // the stream ended inside the data sub-blocks
    int m_minimumCodeSize = 0;
    int m_clearCode = 0;
    int m_endCode = 0;
    int m_codeSize = 0;
    int m_codeLimit = 0;
    int m_nextFreeCode = 0;
    int m_firstCode = 0;
    int m_oldCode = 0;

    uint16_t m_prefix[kTableSize] = {};
    uint16_t m_suffix[kTableSize] = {};
    uint16_t m_stack[kStackSize] = {};
    int m_stackPointer = 0;

    uint8_t m_buffer[kBufferSize] = {};
    int m_validBytes = 2;
    int m_bitPosition = 0;
    int m_bitCount = 0;

    bool m_isFresh = true;
    bool m_isDone = false;
    bool m_zeroBlockRead = false;
    bool m_isEndCodeRead = false;
};

} // namespace kapto
