// PNG writing after ISO/IEC 15948: the signature, chunks framed with length and CRC-32, the
// encoding of every chunk class, and the image data: rows converted to PNG samples, filtered,
// deflated and cut into IDAT chunks while they are produced.
#include "png/Chunks.h"
#include "png/Deflater.h"
#include "png/ImageDataSinks.h"
#include "png/PNGErrors.h"
#include "png/PNGFormats.h"
#include "png/PNGObject.h"
#include "png/PNGRows.h"
#include "png/Zlib.h"
#include "runtime/Bytes.h"
#include "runtime/Stream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace kapto {

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// The header's bit depth as written: 2-bit pictures are held in 4-bit rows.
uint8_t WrittenBitDepth(const TChunkIHDR& header)
{
    return header.BitDepth == 2 ? 4 : header.BitDepth;
}

// Refuses, before anything is written, an image whose rows cannot be encoded or whose picture
// does not match its header (which would make the converters read outside the rows).
void CheckWritable(const TPNGObject& png, const TChunkIHDR& header)
{
    const uint8_t bitDepth = WrittenBitDepth(header);
    if (!PNGFormat(header.ColorType, bitDepth).Writable || png.WriteInterlace() > 1) {
        RaisePNG<EPngError>(TPNGMessage::UnsupportedFormat);
    }
    const bool needsAlpha =
        header.ColorType == COLOR_GRAYSCALEALPHA || header.ColorType == COLOR_RGBALPHA;
    const HBITMAP& image = header.ImageHandle();
    if (image == nullptr || uint32_t(image->Width()) != header.Width ||
        uint32_t(image->Height()) != header.Height ||
        image->BitCount() != PictureBitCount(header.ColorType, bitDepth) ||
        (needsAlpha && header.AlphaBits() == nullptr)) {
        RaisePNG<EPNGHeaderNotPresent>(TPNGMessage::HeaderNotPresent);
    }
}

// Turns picture rows into raw PNG rows. The columns x0, x0 + step, ... are taken, so one
// converter serves whole rows and Adam7 passes. Colour samples go through InverseGammaLUT, gray
// levels, palette indices and alpha never do; 16-bit samples are the picture byte followed by 0.
class TRowConverter
{
public:
    TRowConverter(const TPNGObject& png, const TChunkIHDR& header)
        : m_header(header), m_gamma(png.InverseGammaLUT()), m_colorType(header.ColorType),
          m_bitDepth(WrittenBitDepth(header))
    {}

    void Convert(uint32_t y, uint32_t x0, uint32_t step, uint32_t count, size_t rowBytes,
                 uint8_t* out) const
    {
        const uint8_t* pixels = m_header.PixelRow(y);
        const uint8_t* alpha = m_header.AlphaRow(y);
        const TGammaTable& g = m_gamma;
        const bool wide = m_bitDepth == 16;
        switch (m_colorType) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE:
            if (m_bitDepth < 8) {
                ConvertPacked(pixels, x0, step, count, rowBytes, out);
            } else if (wide) {
                for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                    out[2 * i] = pixels[x];
                    out[2 * i + 1] = 0;
                }
            } else {
                for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                    out[i] = pixels[x];
                }
            }
            break;
        case COLOR_RGB:
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                const uint8_t* p = pixels + size_t(x) * 3;
                uint8_t* o = out + size_t(i) * (wide ? 6 : 3);
                PutSample(o, 0, wide, g[p[2]]);
                PutSample(o, 1, wide, g[p[1]]);
                PutSample(o, 2, wide, g[p[0]]);
            }
            break;
        case COLOR_GRAYSCALEALPHA:
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                uint8_t* o = out + size_t(i) * (wide ? 4 : 2);
                PutSample(o, 0, wide, pixels[x]);
                PutSample(o, 1, wide, alpha[x]);
            }
            break;
        case COLOR_RGBALPHA:
            // Colour goes through the gamma table in Adam7 passes too, so interlaced and
            // sequential files of one image hold the same samples.
            for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
                const uint8_t* p = pixels + size_t(x) * 3;
                uint8_t* o = out + size_t(i) * (wide ? 8 : 4);
                PutSample(o, 0, wide, g[p[2]]);
                PutSample(o, 1, wide, g[p[1]]);
                PutSample(o, 2, wide, g[p[0]]);
                PutSample(o, 3, wide, alpha[x]);
            }
            break;
        default:
            break;
        }
    }

private:
    static void PutSample(uint8_t* out, size_t index, bool wide, uint8_t value)
    {
        if (wide) {
            out[2 * index] = value;
            out[2 * index + 1] = 0;
        } else {
            out[index] = value;
        }
    }

    // Sub-byte samples: the picture packs them as PNG does (leftmost pixel in the most
    // significant bits), so whole rows are copied and pass pixels are repacked.
    void ConvertPacked(const uint8_t* pixels, uint32_t x0, uint32_t step, uint32_t count,
                       size_t rowBytes, uint8_t* out) const
    {
        if (x0 == 0 && step == 1) {
            std::memcpy(out, pixels, rowBytes);
            return;
        }
        std::memset(out, 0, rowBytes);
        const unsigned depth = m_bitDepth;
        const unsigned mask = (1u << depth) - 1;
        for (uint32_t i = 0, x = x0; i < count; ++i, x += step) {
            const size_t sourceBit = size_t(x) * depth;
            const unsigned value = (pixels[sourceBit / 8] >> (8 - depth - sourceBit % 8)) & mask;
            const size_t targetBit = size_t(i) * depth;
            out[targetBit / 8] |= uint8_t(value << (8 - depth - targetBit % 8));
        }
    }

    const TChunkIHDR& m_header;
    const TGammaTable& m_gamma;
    uint8_t m_colorType;
    uint8_t m_bitDepth;
};

void EncodeImageData(const TPNGObject& png, const TChunkIHDR& header, TStream& stream)
{
    CheckWritable(png, header);
    const uint8_t bitDepth = WrittenBitDepth(header);
    const TRowGeometry full = PNGRowGeometry(header.ColorType, bitDepth, header.Width);
    const TRowConverter converter(png, header);
    TRowFilter filter(png.FilterSet(), full.RowBytes, full.PixelStride);
    std::vector<uint8_t> raw(full.RowBytes);
    const std::unique_ptr<TImageDataSink> sinkOwner =
        MakeImageDataSink(stream, size_t(png.IdatSplitSize()), png.DeflateProfile(),
                          png.DeflateLevel(), png.DeflateThreads());
    TImageDataSink& sink = *sinkOwner;

    if (png.WriteInterlace() == 0) {
        for (uint32_t y = 0; y < header.Height; ++y) {
            converter.Convert(y, 0, 1, header.Width, full.RowBytes, raw.data());
            sink.Feed(filter.Filter(raw.data(), full.RowBytes), full.RowBytes + 1);
        }
    } else {
        for (const TAdam7Pass& pass : kAdam7Passes) {
            const uint32_t passWidth = Adam7PassWidth(header.Width, pass);
            const size_t rowBytes = PNGRowGeometry(header.ColorType, bitDepth, passWidth).RowBytes;
            filter.Restart();
            if (rowBytes == 0) {
                continue;
            }
            for (uint32_t y = pass.StartRow; y < header.Height; y += pass.RowStep) {
                converter.Convert(y, pass.StartColumn, pass.ColumnStep, passWidth, rowBytes,
                                  raw.data());
                sink.Feed(filter.Filter(raw.data(), rowBytes), rowBytes + 1);
            }
        }
    }
    sink.Finish();
}

// One zlib stream of the whole text.
std::vector<uint8_t> CompressText(const std::string& text, int level)
{
    TDeflateStream deflate(level);
    deflate.SetInput(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::vector<uint8_t> compressed(text.size() / 2 + 64);
    size_t filled = 0;
    bool ended = false;
    while (!ended) {
        if (filled == compressed.size()) {
            compressed.resize(compressed.size() * 2);
        }
        filled +=
            deflate.Deflate(compressed.data() + filled, compressed.size() - filled, true, ended);
    }
    compressed.resize(filled);
    return compressed;
}

} // namespace

void TPNGObject::SaveToStream(TStream& stream)
{
    if (m_chunks.FindChunk<TChunkIDAT>() != nullptr) {
        CheckWritable(*this, Header());
    }
    stream.WriteBuffer(kSignature, sizeof(kSignature));
    for (const auto& chunk : m_chunks) {
        chunk->WriteChunk(stream);
    }
}

bool TChunk::WriteFramed(TStream& stream) const
{
    WriteFramedChunk(stream, m_chunkType, m_payload.data(), PayloadSize());
    return true;
}

bool TChunk::WriteChunk(TStream& stream)
{
    return WriteFramed(stream);
}

bool TChunkIHDR::WriteChunk(TStream& stream)
{
    BitDepth = WrittenBitDepth(*this);
    ResizePayload(13);
    uint8_t* data = Payload();
    PutUInt32BE(data, Width);
    PutUInt32BE(data + 4, Height);
    data[8] = BitDepth;
    data[9] = ColorType;
    data[10] = CompressionMethod;
    data[11] = FilterMethod;
    data[12] = Owner().WriteInterlace();
    return WriteFramed(stream);
}

bool TChunkPLTE::WriteChunk(TStream& stream)
{
    const TChunkIHDR& header = HeaderChunk();
    if (EntryCount == 0) {
        EntryCount = header.PaletteCount();
    }
    const uint32_t count = std::min<uint32_t>(EntryCount, 256);
    const TGammaTable& gamma = Owner().InverseGammaLUT();
    const HPALETTE& palette = header.PaletteHandle();
    const size_t known = palette != nullptr ? palette->Count() : 0;
    ResizePayload(count * 3);
    uint8_t* data = Payload();
    for (uint32_t i = 0; i < count && i < known; ++i) {
        const TPaletteEntry& entry = palette->Entries()[i];
        data[3 * i] = gamma[entry.Red];
        data[3 * i + 1] = gamma[entry.Green];
        data[3 * i + 2] = gamma[entry.Blue];
    }
    return WriteFramed(stream);
}

bool TChunktRNS::WriteChunk(TStream& stream)
{
    if (PayloadSize() <= AlphaValues.size()) {
        std::copy(AlphaValues.begin(), AlphaValues.begin() + PayloadSize(), Payload());
    }
    return WriteFramed(stream);
}

bool TChunkIDAT::WriteChunk(TStream& stream)
{
    EncodeImageData(Owner(), HeaderChunk(), stream);
    return true;
}

bool TChunkpHYs::WriteChunk(TStream& stream)
{
    ResizePayload(9);
    uint8_t* data = Payload();
    PutUInt32BE(data, PixelsPerUnitX);
    PutUInt32BE(data + 4, PixelsPerUnitY);
    data[8] = UnitSpecifier;
    return WriteFramed(stream);
}

bool TChunktIME::WriteChunk(TStream& stream)
{
    ResizePayload(7);
    uint8_t* data = Payload();
    data[0] = uint8_t(Year >> 8);
    data[1] = uint8_t(Year);
    data[2] = Month;
    data[3] = Day;
    data[4] = Hour;
    data[5] = Minute;
    data[6] = Second;
    return WriteFramed(stream);
}

bool TChunktEXt::WriteChunk(TStream& stream)
{
    ResizePayload(uint32_t(Keyword.size() + 1 + Text.size()));
    uint8_t* data = Payload();
    std::memcpy(data, Keyword.data(), Keyword.size());
    data[Keyword.size()] = 0;
    std::memcpy(data + Keyword.size() + 1, Text.data(), Text.size());
    return WriteFramed(stream);
}

bool TChunkzTXt::WriteChunk(TStream& stream)
{
    if (Text.empty()) {
        Text = " ";
    }
    const std::vector<uint8_t> compressed = CompressText(Text, Owner().DeflateLevel());
    // Keyword, its 0 terminator, compression method 0 (deflate), the zlib stream.
    ResizePayload(uint32_t(Keyword.size() + 2 + compressed.size()));
    uint8_t* data = Payload();
    std::memcpy(data, Keyword.data(), Keyword.size());
    data[Keyword.size()] = 0;
    data[Keyword.size() + 1] = 0;
    std::memcpy(data + Keyword.size() + 2, compressed.data(), compressed.size());
    return WriteFramed(stream);
}

} // namespace kapto
