// Decoding of PNG image data after ISO/IEC 15948 clauses 8 to 10: the zlib stream fetched
// across a run of IDAT chunks with their CRCs, inflated row by row, unfiltered and converted
// into the header's picture, sequentially or in the seven Adam7 passes.
#include "png/Chunks.h"
#include "png/PNGErrors.h"
#include "png/PNGInput.h"
#include "png/PNGObject.h"
#include "png/PNGRows.h"
#include "png/Zlib.h"
#include "runtime/Assert.h"
#include "runtime/SourceWarnings.h"
#include "runtime/Stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace kapto {

namespace {

// Compressed data is read in blocks of at most this size and never held whole.
constexpr size_t kInputBlockSize = 65535;

[[noreturn]] void RaiseZlibError(int code)
{
    throw EPNGZLIBError(FormatZlibMessage(TPNGMessage::ZlibError, code));
}

// The decompressed bytes of a run of IDAT chunks, starting with the chunk whose data the
// stream stands at. Each chunk's CRC is checked when the data moves past it.
class TImageDataSource
{
public:
    TImageDataSource(TStream& stream, const TChunkType& type, uint32_t size)
        : m_stream(stream), m_input(kInputBlockSize), m_crc(TypeCRC(type)), m_left(size)
    {}

    // Delivers up to count bytes into out and returns how many: fewer only when the data ends
    // first, by the end of the file or of the zlib stream. Raises EPNGMissingMultipleIDAT when
    // another chunk follows the run while rows remain, EPNGZLIBError for broken data,
    // EPngInvalidCRC.
    size_t Fetch(uint8_t* out, size_t count)
    {
        size_t delivered = 0;
        while (delivered < count) {
            if (m_ended) {
                PassOverRun();
                break;
            }
            if (m_inflate.InputLeft() == 0 && !Refill(true)) {
                break;
            }
            size_t produced = 0;
            const int code = m_inflate.Inflate(out + delivered, count - delivered, produced);
            delivered += produced;
            Settle(code);
        }
        return delivered;
    }

    // Called after the last row. Runs the zlib stream to its end where the data holds it, so
    // that its checksum is verified, then checks the CRC of the chunk being read. The stream is
    // left after that chunk. Decompressed data beyond the picture raises EPNGZLIBError.
    void Finish()
    {
        uint8_t spare = 0;
        while (!m_ended) {
            if (m_inflate.InputLeft() == 0 && !Refill(false)) {
                break;
            }
            size_t produced = 0;
            const int code = m_inflate.Inflate(&spare, sizeof(spare), produced);
            if (produced > 0) {
                RaiseZlibError(kZlibBufferError);
            }
            Settle(code);
        }
        if (m_crcPending) {
            // Bytes after the end of the zlib stream still belong to the chunk's CRC.
            SkipChunkData();
            if (!Truncated()) {
                CheckChunkCRC(m_stream, m_crc);
            }
        }
    }

    // The file ended inside the zlib stream. Like a download that stopped early, such a file
    // keeps the rows it holds, and has no CRC or chunk after that to read. A file that ends
    // after a complete stream but before the chunk's declared end has a wrong length instead,
    // and fails its CRC check.
    bool Truncated() const { return m_fileEnded && !m_ended; }

private:
    enum class TNextChunk
    {
        IDAT,
        Other, // left unread for the chunk loop
        EndOfFile
    };

    void Settle(int code)
    {
        if (code == kZlibStreamEnd) {
            m_ended = true;
        } else if (code != kZlibOK) {
            // Negative codes, and a preset dictionary, which PNG data never uses and which
            // would stop inflate from making progress.
            RaiseZlibError(code);
        }
    }

    // The zlib stream ended while rows remain. What is left of the run cannot hold them, and
    // inflate would make no progress on it: the rest of this chunk and any further IDAT chunks
    // are passed over, their CRCs checked. The chunk after the run shows that the picture
    // misses parts; the end of the file is left to the chunk loop.
    void PassOverRun()
    {
        while (!m_runPassed) {
            SkipChunkData();
            switch (NextChunk()) {
            case TNextChunk::IDAT:
                break;
            case TNextChunk::Other:
                RaisePNG<EPNGMissingMultipleIDAT>(TPNGMessage::MissingMultipleIDAT);
            case TNextChunk::EndOfFile:
                m_runPassed = true;
                break;
            }
        }
    }

    // Gives inflate the next block of compressed data, moving to the next chunk of the run
    // when the current one is used up. False when there is none: with required, only because
    // the file ends within the data; otherwise also when a chunk other than IDAT follows.
    bool Refill(bool required)
    {
        while (m_left == 0) {
            if (m_fileEnded) {
                return false;
            }
            if (NextChunk() != TNextChunk::IDAT) {
                if (required) {
                    RaisePNG<EPNGMissingMultipleIDAT>(TPNGMessage::MissingMultipleIDAT);
                }
                return false;
            }
        }
        const size_t got = ReadBlock();
        m_inflate.SetInput(m_input.data(), got);
        return got > 0;
    }

    // Reads up to one block of the current chunk's data into the input buffer.
    size_t ReadBlock()
    {
        const size_t want = size_t(std::min<uint64_t>(m_left, m_input.size()));
        const size_t got = m_stream.Read(m_input.data(), want);
        m_crc = Crc32(m_crc, m_input.data(), got);
        m_left -= got;
        if (got < want) {
            m_left = 0;
            m_fileEnded = true;
        }
        return got;
    }

    // Reads what is left of the current chunk's data into its CRC, unused.
    void SkipChunkData()
    {
        m_inflate.SetInput(nullptr, 0);
        while (m_left > 0 && ReadBlock() > 0) {
        }
    }

    // Checks the CRC of the current chunk and reads the next chunk head. An IDAT chunk
    // continues the data; anything else is left unread.
    TNextChunk NextChunk()
    {
        CheckChunkCRC(m_stream, m_crc);
        m_crcPending = false;
        TChunkHead head;
        if (!TryReadChunkHead(m_stream, head)) {
            return TNextChunk::EndOfFile;
        }
        if (head.Type != MakeChunkType("IDAT")) {
            m_stream.Seek(-8, TSeekOrigin::Current);
            return TNextChunk::Other;
        }
        m_crc = TypeCRC(head.Type);
        m_left = head.Length;
        m_crcPending = true;
        return TNextChunk::IDAT;
    }

    TStream& m_stream;
    TInflateStream m_inflate;
    std::vector<uint8_t> m_input;
    uint32_t m_crc;
    uint64_t m_left;          // data bytes of the current chunk not yet read
    bool m_crcPending = true; // the current chunk's CRC is still to be checked
    bool m_ended = false;     // the zlib stream is complete
    bool m_fileEnded = false; // the file ended inside a chunk's data
    bool m_runPassed = false; // the run after the end of the zlib stream has been passed over
};

// The sample of depth bits (1, 2 or 4) at index i of a packed row.
inline unsigned PackedSample(const uint8_t* row, size_t i, unsigned depth)
{
    const size_t bit = i * depth;
    return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

// Stores value in the depth-bit field of pixel x, leaving the other pixels of the byte.
inline void PutPacked(uint8_t* row, size_t x, unsigned depth, unsigned value)
{
    const size_t bit = x * depth;
    const unsigned shift = 8 - depth - unsigned(bit % 8);
    const unsigned mask = ((1u << depth) - 1) << shift;
    row[bit / 8] = uint8_t((row[bit / 8] & ~mask) | ((value << shift) & mask));
}

// Writes unfiltered PNG rows into the picture at the columns x0, x0 + step, ...: pixel rows
// (colour through GammaLUT; gray levels and indices as they are, their palette carries the
// gamma), the low bytes of 16-bit samples, and the alpha plane (never through gamma).
class TRowPlacer
{
public:
    TRowPlacer(const TPNGObject& png, const TChunkIHDR& header)
        : m_header(header), m_gamma(png.GammaLUT()), m_colorType(header.ColorType),
          m_bitDepth(header.BitDepth)
    {}

    // Marks in keyPixels the pixels whose samples equal the key's (gray, or red, green and
    // blue), compared in every bit before gamma and before 16 bits are cut to 8. Samples
    // below 16 bits compare with the key's low bits, as other decoders do.
    void MarkKey(TPixelMask& keyPixels, const std::array<unsigned, 3>& key)
    {
        m_keyPixels = &keyPixels;
        const unsigned mask = m_bitDepth == 16 ? 0xFFFF : (1u << m_bitDepth) - 1;
        for (size_t i = 0; i < key.size(); ++i) {
            m_key[i] = key[i] & mask;
        }
    }

    void Place(const uint8_t* raw, size_t rowBytes, uint32_t y, uint32_t x0, uint32_t step,
               uint32_t count) const
    {
        uint8_t* pixels = m_header.PixelRow(y);
        uint8_t* low = m_header.LowByteRow(y);
        uint8_t* alpha = m_header.AlphaRow(y);
        KAPTO_ASSERT(m_bitDepth != 16 || low != nullptr);
        const TGammaTable& g = m_gamma;
        switch (m_colorType) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE:
            PlaceIndexed(raw, rowBytes, pixels, low, x0, step, count);
            break;
        case COLOR_RGB:
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                uint8_t* p = pixels + size_t(x) * 3;
                if (m_bitDepth == 8) {
                    const uint8_t* s = raw + size_t(i) * 3;
                    p[0] = g[s[2]];
                    p[1] = g[s[1]];
                    p[2] = g[s[0]];
                } else {
                    PlaceWideColor(raw + size_t(i) * 6, p, low + size_t(x) * 3);
                }
            }
            break;
        case COLOR_GRAYSCALEALPHA:
            KAPTO_ASSERT(alpha != nullptr);
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                if (m_bitDepth == 8) {
                    pixels[x] = raw[2 * size_t(i)];
                    alpha[x] = raw[2 * size_t(i) + 1];
                } else {
                    const uint8_t* s = raw + size_t(i) * 4;
                    pixels[x] = s[0];
                    low[x] = s[1];
                    alpha[x] = s[2];
                }
            }
            break;
        case COLOR_RGBALPHA:
            KAPTO_ASSERT(alpha != nullptr);
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                uint8_t* p = pixels + size_t(x) * 3;
                if (m_bitDepth == 8) {
                    const uint8_t* s = raw + size_t(i) * 4;
                    p[0] = g[s[2]];
                    p[1] = g[s[1]];
                    p[2] = g[s[0]];
                    alpha[x] = s[3];
                } else {
                    const uint8_t* s = raw + size_t(i) * 8;
                    PlaceWideColor(s, p, low + size_t(x) * 3);
                    alpha[x] = s[6]; // the alpha low byte has no place in the picture
                }
            }
            break;
        default:
            break;
        }
        if (m_keyPixels != nullptr) {
            MarkKeyPixels(raw, y, x0, step, count);
        }
    }

private:
    void MarkKeyPixels(const uint8_t* raw, uint32_t y, uint32_t x0, uint32_t step,
                       uint32_t count) const
    {
        const unsigned channels = m_colorType == COLOR_RGB ? 3 : 1;
        for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
            bool equal = true;
            for (unsigned c = 0; c < channels && equal; ++c) {
                const size_t n = size_t(i) * channels + c;
                unsigned sample = 0;
                if (m_bitDepth == 16) {
                    sample = unsigned(raw[2 * n]) << 8 | raw[2 * n + 1];
                } else if (m_bitDepth == 8) {
                    sample = raw[n];
                } else {
                    sample = PackedSample(raw, n, m_bitDepth);
                }
                equal = sample == m_key[c];
            }
            if (equal) {
                m_keyPixels->Add(x, y);
            }
        }
    }

    // Red, green and blue of 16 bits: high bytes to the pixel, low bytes to the low-byte row,
    // both through the gamma table, in blue, green, red order.
    void PlaceWideColor(const uint8_t* s, uint8_t* pixel, uint8_t* low) const
    {
        const TGammaTable& g = m_gamma;
        pixel[0] = g[s[4]];
        pixel[1] = g[s[2]];
        pixel[2] = g[s[0]];
        low[0] = g[s[5]];
        low[1] = g[s[3]];
        low[2] = g[s[1]];
    }

    // Gray levels and palette indices. Bit depths 1, 4 and 8 are packed in the picture as in
    // the file; 2-bit samples become 4-bit indices (gray sample s is level 5s of the 16-level
    // gray palette, so 0, 85, 170, 255); 16-bit gray splits into high and low bytes.
    void PlaceIndexed(const uint8_t* raw, size_t rowBytes, uint8_t* pixels, uint8_t* low,
                      uint32_t x0, uint32_t step, uint32_t count) const
    {
        switch (m_bitDepth) {
        case 16:
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                pixels[x] = raw[2 * size_t(i)];
                low[x] = raw[2 * size_t(i) + 1];
            }
            break;
        case 8:
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                pixels[x] = raw[i];
            }
            break;
        case 2: {
            const unsigned scale = m_colorType == COLOR_GRAYSCALE ? 5 : 1;
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                PutPacked(pixels, x, 4, PackedSample(raw, i, 2) * scale);
            }
            break;
        }
        default: // 1 and 4
            if (x0 == 0 && step == 1) {
                std::memcpy(pixels, raw, rowBytes);
                break;
            }
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                PutPacked(pixels, x, m_bitDepth, PackedSample(raw, i, m_bitDepth));
            }
            break;
        }
    }

    const TChunkIHDR& m_header;
    const TGammaTable& m_gamma;
    uint8_t m_colorType;
    uint8_t m_bitDepth;
    TPixelMask* m_keyPixels = nullptr;
    std::array<unsigned, 3> m_key{};
};

// The key of a gray or RGB picture's tRNS chunk as its 16-bit samples; false without one.
bool KeySamples(const TPNGObject& png, const TChunkIHDR& header, std::array<unsigned, 3>& key)
{
    const auto* transparency = png.Chunks().FindChunk<TChunktRNS>();
    const uint32_t size = header.ColorType == COLOR_RGB ? 6 : 2;
    if (transparency == nullptr || !transparency->SingleKey || transparency->PayloadSize() < size ||
        (header.ColorType != COLOR_GRAYSCALE && header.ColorType != COLOR_RGB)) {
        return false;
    }
    const auto& values = transparency->AlphaValues;
    for (uint32_t c = 0; c < size / 2; ++c) {
        key[c] = unsigned(values[2 * c]) << 8 | values[2 * c + 1];
    }
    return true;
}

// Refuses a picture that does not match its header, which would make the rows written
// outside it.
void RequireMatchingPicture(const TChunkIHDR& header)
{
    const HBITMAP& image = header.ImageHandle();
    const bool hasAlpha =
        header.ColorType == COLOR_GRAYSCALEALPHA || header.ColorType == COLOR_RGBALPHA;
    if (image == nullptr || !IsStandardFormat(header.ColorType, header.BitDepth) ||
        uint32_t(image->Width()) != header.Width || uint32_t(image->Height()) != header.Height ||
        image->BitCount() != PictureBitCount(header.ColorType, header.BitDepth) ||
        (hasAlpha && header.AlphaBits() == nullptr) ||
        (header.BitDepth == 16 && header.LowBytes() == nullptr)) {
        RaisePNG<EPNGHeaderNotPresent>(TPNGMessage::HeaderNotPresent);
    }
}

// The gray palette of an indexed gray picture: 2^bits levels through the gamma table.
void InstallGrayPalette(TChunkIHDR& header, const TGammaTable& gamma)
{
    const unsigned levels = 1u << header.DIBBitCount();
    std::vector<TPaletteEntry> entries(levels);
    for (unsigned i = 0; i < levels; ++i) {
        const uint8_t gray = gamma[(i * 255 + (levels - 1) / 2) / (levels - 1)];
        entries[i] = {gray, gray, gray, 0};
    }
    header.ApplyPalette(std::make_shared<const TPalette>(std::move(entries)), true);
}

// Two row buffers of a filter type byte and the row: one receives, the other holds the
// previous unfiltered row.
class TRowPair
{
public:
    explicit TRowPair(size_t maxRowBytes)
        : m_rows{std::vector<uint8_t>(maxRowBytes + 1), std::vector<uint8_t>(maxRowBytes + 1)}
    {}

    // Forgets the previous row, as at the start of an image or a pass.
    void Restart() { std::fill(Previous().begin(), Previous().end(), uint8_t(0)); }

    // Fetches and unfilters the next row; false when the data ends before it is complete.
    bool Next(TImageDataSource& source, size_t rowBytes, size_t pixelStride)
    {
        uint8_t* row = m_rows[m_current].data();
        if (source.Fetch(row, rowBytes + 1) != rowBytes + 1) {
            return false;
        }
        UnfilterRow(row[0], row + 1, Previous().data() + 1, rowBytes, pixelStride);
        m_current ^= 1;
        return true;
    }

    // The row Next completed.
    const uint8_t* Row() const { return Previous().data() + 1; }

private:
    std::vector<uint8_t>& Previous() { return m_rows[m_current ^ 1]; }
    const std::vector<uint8_t>& Previous() const { return m_rows[m_current ^ 1]; }

    std::vector<uint8_t> m_rows[2];
    size_t m_current = 0;
};

} // namespace

bool TChunkIDAT::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    ResizePayload(0);
    TChunkIHDR& header = HeaderChunk();
    RequireMatchingPicture(header);
    TPNGObject& png = Owner();
    if (header.HasIndexedDib() &&
        (header.ColorType == COLOR_GRAYSCALE || header.ColorType == COLOR_GRAYSCALEALPHA)) {
        InstallGrayPalette(header, png.GammaLUT());
    }

    TImageDataSource source(stream, type, size);
    TRowPlacer placer(png, header);
    std::array<unsigned, 3> key{};
    if (KeySamples(png, header, key)) {
        auto keyPixels = std::make_shared<TPixelMask>(header.Width, header.Height);
        placer.MarkKey(*keyPixels, key);
        header.SetKeyPixels(std::move(keyPixels));
    }
    const TRowGeometry full = PNGRowGeometry(header.ColorType, header.BitDepth, header.Width);
    TRowPair rows(full.RowBytes);

    // Rows the data does not reach stay zero. A row is whole once its last pass is placed.
    uint64_t wholeRows = 0;
    if (png.WriteInterlace() != 1) {
        for (uint32_t y = 0; y < header.Height; ++y) {
            if (!rows.Next(source, full.RowBytes, full.PixelStride)) {
                break;
            }
            placer.Place(rows.Row(), full.RowBytes, y, 0, 1, header.Width);
            ++wholeRows;
        }
    } else {
        std::vector<uint8_t> passesDue(header.Height, 0);
        std::vector<uint8_t> passesPlaced(header.Height, 0);
        for (const TAdam7Pass& pass : kAdam7Passes) {
            if (PNGRowGeometry(header.ColorType, header.BitDepth,
                               Adam7PassWidth(header.Width, pass))
                    .RowBytes != 0) {
                for (uint32_t y = pass.StartRow; y < header.Height; y += pass.RowStep) {
                    ++passesDue[y];
                }
            }
        }
        for (const TAdam7Pass& pass : kAdam7Passes) {
            const uint32_t passWidth = Adam7PassWidth(header.Width, pass);
            const TRowGeometry geometry =
                PNGRowGeometry(header.ColorType, header.BitDepth, passWidth);
            rows.Restart();
            if (geometry.RowBytes == 0) {
                continue;
            }
            for (uint32_t y = pass.StartRow; y < header.Height; y += pass.RowStep) {
                if (!rows.Next(source, geometry.RowBytes, geometry.PixelStride)) {
                    break;
                }
                placer.Place(rows.Row(), geometry.RowBytes, y, pass.StartColumn, pass.ColumnStep,
                             passWidth);
                ++passesPlaced[y];
            }
        }
        for (uint32_t y = 0; y < header.Height; ++y) {
            wholeRows += passesPlaced[y] == passesDue[y] ? 1 : 0;
        }
    }
    source.Finish();
    if (source.Truncated()) {
        ReportRowsMissing(header.Height - wholeRows, header.Height);
    }
    // Nothing follows data that the file cut short: the chunk loop ends here.
    return !source.Truncated();
}

} // namespace kapto
