#pragma once
// A test-side GIF writer with its own LZW encoder: builds valid files and files with exactly
// one defect, block by block.

#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

using TBytes = std::vector<uint8_t>;

// Packs codes of varying width least significant bit first, as GIF image data is packed.
class TCodePacker
{
public:
    void Put(int code, int bits);
    // The packed bytes, the last one padded with zero bits.
    TBytes Bytes() const;

private:
    TBytes m_bytes;
    uint32_t m_accumulator = 0;
    int m_bitCount = 0;
};

struct TLZWOptions
{
    bool leadingClear = true;  // begin with a clear code
    bool endCode = true;       // finish with the end code
    bool resetWhenFull = true; // a clear code when the table is full, else keep coding
};

// LZW codes for the pixels (each below 2^minimumCodeSize), as they would be packed.
TBytes EncodeLZW(const TBytes& pixels, int minimumCodeSize, const TLZWOptions& options = {});

// Data split into sub-blocks of at most blockSize bytes, with a zero terminator if asked.
TBytes SubBlocks(const TBytes& data, int blockSize = 255, bool terminator = true);

// A colour table of 2 << sizeCode entries; entry i is (i, 255 - i, i * 7) unless given.
TBytes ColorTable(int sizeCode);

class TGIFBuilder
{
public:
    // Signature and version, screen descriptor and, for globalSizeCode >= 0, a global table.
    TGIFBuilder& Header(int width, int height, int globalSizeCode = 1,
                        const std::string& signature = "GIF89a");
    TGIFBuilder& Raw(const TBytes& bytes);
    TGIFBuilder& GraphicControl(bool transparent, int transparentIndex, int delay = 0);
    TGIFBuilder& Comment(const std::vector<std::string>& texts);
    // An application extension with the given block size byte and identifier bytes (as many
    // as given), then the data sub-blocks and a terminator.
    TGIFBuilder& Application(int blockSize, const std::string& identifier,
                             const std::vector<TBytes>& subBlocks);
    // Image descriptor, optional local table (localSizeCode >= 0), and image data.
    TGIFBuilder& Descriptor(int left, int top, int width, int height, bool interlaced = false,
                            int localSizeCode = -1);
    // Minimum code size byte and the sub-blocks of the codes.
    TGIFBuilder& ImageData(int minimumCodeSize, const TBytes& codes, int blockSize = 255,
                           bool terminator = true);
    // Descriptor and LZW data of the pixels (rows top to bottom; interlaced files store them
    // in interlaced order).
    TGIFBuilder& Image(int left, int top, int width, int height, const TBytes& pixels,
                       bool interlaced = false, int localSizeCode = -1, int minimumCodeSize = 2);
    TGIFBuilder& Trailer();
    const TBytes& Bytes() const { return m_bytes; }

private:
    TBytes m_bytes;
};

// The rows of an image in the order an interlaced file stores them.
TBytes InterlaceRows(const TBytes& pixels, int width, int height);

// Pixels of a pattern: (x * 3 + y * 5 + x * y) mod colors.
TBytes PatternPixels(int width, int height, int colors);

} // namespace giftest
