#include "support/GIFTestWriter.h"

#include <map>
#include <utility>

namespace giftest {

void TCodePacker::Put(int code, int bits)
{
    m_accumulator |= uint32_t(code) << m_bitCount;
    m_bitCount += bits;
    while (m_bitCount >= 8) {
        m_bytes.push_back(uint8_t(m_accumulator));
        m_accumulator >>= 8;
        m_bitCount -= 8;
    }
}

TBytes TCodePacker::Bytes() const
{
    TBytes bytes = m_bytes;
    if (m_bitCount > 0) {
        bytes.push_back(uint8_t(m_accumulator));
    }
    return bytes;
}

TBytes EncodeLZW(const TBytes& pixels, int minimumCodeSize, const TLZWOptions& options)
{
    const int clearCode = 1 << minimumCodeSize;
    const int endCode = clearCode + 1;
    TCodePacker packer;
    std::map<std::pair<int, int>, int> table;
    int nextCode = 0;
    // The code width follows the decoder, which adds its entry one code later than we do.
    int codeSize = 0;
    int decoderNext = 0;
    int limit = 0;
    bool firstAfterClear = true;
    const auto reset = [&]() {
        table.clear();
        nextCode = clearCode + 2;
        codeSize = minimumCodeSize + 1;
        decoderNext = clearCode + 2;
        limit = 2 * clearCode;
        firstAfterClear = true;
    };
    const auto emit = [&](int code) {
        packer.Put(code, codeSize);
        if (firstAfterClear) {
            firstAfterClear = false;
            return;
        }
        if (decoderNext < 4096) {
            ++decoderNext;
            if (decoderNext >= limit && limit < 4096) {
                limit *= 2;
                ++codeSize;
            }
        }
    };
    reset();
    if (options.leadingClear) {
        packer.Put(clearCode, codeSize);
    }
    if (pixels.empty()) {
        if (options.endCode) {
            packer.Put(endCode, codeSize);
        }
        return packer.Bytes();
    }
    int current = pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
        const int k = pixels[i];
        const auto found = table.find({current, k});
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        emit(current);
        if (nextCode < 4096) {
            table[{current, k}] = nextCode++;
        }
        if (nextCode == 4096 && options.resetWhenFull) {
            packer.Put(clearCode, codeSize);
            reset();
        }
        current = k;
    }
    emit(current);
    if (options.endCode) {
        packer.Put(endCode, codeSize);
    }
    return packer.Bytes();
}

TBytes SubBlocks(const TBytes& data, int blockSize, bool terminator)
{
    TBytes out;
    for (size_t i = 0; i < data.size(); i += size_t(blockSize)) {
        const size_t n = std::min(data.size() - i, size_t(blockSize));
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
    }
    if (terminator) {
        out.push_back(0);
    }
    return out;
}

TBytes ColorTable(int sizeCode)
{
    TBytes table;
    for (int i = 0; i < (2 << sizeCode); ++i) {
        table.push_back(uint8_t(i));
        table.push_back(uint8_t(255 - i));
        table.push_back(uint8_t(i * 7));
    }
    return table;
}

namespace {

void PutUInt16(TBytes& bytes, int value)
{
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(value >> 8));
}

} // namespace

TGIFBuilder& TGIFBuilder::Header(int width, int height, int globalSizeCode,
                                 const std::string& signature)
{
    m_bytes.insert(m_bytes.end(), signature.begin(), signature.end());
    PutUInt16(m_bytes, width);
    PutUInt16(m_bytes, height);
    m_bytes.push_back(globalSizeCode >= 0 ? uint8_t(0x80 | 0x70 | globalSizeCode) : 0x70);
    m_bytes.push_back(0);
    m_bytes.push_back(0);
    if (globalSizeCode >= 0) {
        Raw(ColorTable(globalSizeCode));
    }
    return *this;
}

TGIFBuilder& TGIFBuilder::Raw(const TBytes& bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

TGIFBuilder& TGIFBuilder::GraphicControl(bool transparent, int transparentIndex, int delay)
{
    Raw({0x21, 0xF9, 4, uint8_t(transparent ? 1 : 0)});
    PutUInt16(m_bytes, delay);
    return Raw({uint8_t(transparentIndex), 0});
}

TGIFBuilder& TGIFBuilder::Comment(const std::vector<std::string>& texts)
{
    Raw({0x21, 0xFE});
    for (const std::string& text : texts) {
        m_bytes.push_back(uint8_t(text.size()));
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    }
    return Raw({0});
}

TGIFBuilder& TGIFBuilder::Application(int blockSize, const std::string& identifier,
                                      const std::vector<TBytes>& subBlocks)
{
    Raw({0x21, 0xFF, uint8_t(blockSize)});
    m_bytes.insert(m_bytes.end(), identifier.begin(), identifier.end());
    for (const TBytes& block : subBlocks) {
        m_bytes.push_back(uint8_t(block.size()));
        Raw(block);
    }
    return Raw({0});
}

TGIFBuilder& TGIFBuilder::Descriptor(int left, int top, int width, int height, bool interlaced,
                                     int localSizeCode)
{
    m_bytes.push_back(0x2C);
    PutUInt16(m_bytes, left);
    PutUInt16(m_bytes, top);
    PutUInt16(m_bytes, width);
    PutUInt16(m_bytes, height);
    uint8_t packed = interlaced ? 0x40 : 0;
    if (localSizeCode >= 0) {
        packed |= uint8_t(0x80 | localSizeCode);
    }
    m_bytes.push_back(packed);
    if (localSizeCode >= 0) {
        Raw(ColorTable(localSizeCode));
    }
    return *this;
}

TGIFBuilder& TGIFBuilder::ImageData(int minimumCodeSize, const TBytes& codes, int blockSize,
                                    bool terminator)
{
    m_bytes.push_back(uint8_t(minimumCodeSize));
    return Raw(SubBlocks(codes, blockSize, terminator));
}

TGIFBuilder& TGIFBuilder::Image(int left, int top, int width, int height, const TBytes& pixels,
                                bool interlaced, int localSizeCode, int minimumCodeSize)
{
    Descriptor(left, top, width, height, interlaced, localSizeCode);
    const TBytes stored = interlaced ? InterlaceRows(pixels, width, height) : pixels;
    return ImageData(minimumCodeSize, EncodeLZW(stored, minimumCodeSize));
}

TGIFBuilder& TGIFBuilder::Trailer()
{
    return Raw({0x3B});
}

TBytes InterlaceRows(const TBytes& pixels, int width, int height)
{
    TBytes out;
    const int starts[4] = {0, 4, 2, 1};
    const int steps[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int row = starts[pass]; row < height; row += steps[pass]) {
            out.insert(out.end(), pixels.begin() + long(row) * width,
                       pixels.begin() + long(row + 1) * width);
        }
    }
    return out;
}

TBytes PatternPixels(int width, int height, int colors)
{
    TBytes pixels(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[size_t(y) * size_t(width) + size_t(x)] =
                uint8_t((x * 3 + y * 5 + x * y) % colors);
        }
    }
    return pixels;
}

} // namespace giftest
