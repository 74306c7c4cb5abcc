// PNG writing after ISO/IEC 15948: the signature, chunks framed with length and CRC-32, the
// encoding of every chunk class, and the image data: rows converted to PNG samples, filtered,
// deflated and cut into IDAT chunks while they are produced.
#include "png/Chunks.h"
#include "png/Deflater.h"
#include "png/PNGErrors.h"
#include "png/PNGObject.h"
#include "png/PNGRows.h"
#include "png/Zlib.h"
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

void PutUInt32BE(uint8_t* out, uint32_t value)
{
    out[0] = uint8_t(value >> 24);
    out[1] = uint8_t(value >> 16);
    out[2] = uint8_t(value >> 8);
    out[3] = uint8_t(value);
}

// Length, type, data and the CRC over type and data.
void WriteFramedChunk(TStream& stream, const TChunkType& type, const uint8_t* data, uint32_t size)
{
    uint8_t prefix[8];
    PutUInt32BE(prefix, size);
    std::memcpy(prefix + 4, type.data(), type.size());
    stream.WriteBuffer(prefix, sizeof(prefix));
    if (size > 0) {
        stream.WriteBuffer(data, size);
    }
    uint8_t crc[4];
    PutUInt32BE(crc, Crc32(Crc32(0, type.data(), type.size()), data, size));
    stream.WriteBuffer(crc, sizeof(crc));
}

// The header's bit depth as written: 2-bit pictures are held in 4-bit rows.
uint8_t WrittenBitDepth(const TChunkIHDR& header)
{
    return header.BitDepth == 2 ? 4 : header.BitDepth;
}

// The colour type and bit depth pairs the row converters handle.
bool IsWritable(uint8_t colorType, uint8_t bitDepth)
{
    switch (colorType) {
    case COLOR_GRAYSCALE:
        return bitDepth == 1 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case COLOR_PALETTE:
        return bitDepth == 1 || bitDepth == 4 || bitDepth == 8;
    case COLOR_RGB:
    case COLOR_GRAYSCALEALPHA:
    case COLOR_RGBALPHA:
        return bitDepth == 8 || bitDepth == 16;
    default:
        return false;
    }
}

// Refuses, before anything is written, an image whose rows cannot be encoded or whose picture
// does not match its header (which would make the converters read outside the rows).
void CheckWritable(const TPNGObject& png, const TChunkIHDR& header)
{
    const uint8_t bitDepth = WrittenBitDepth(header);
    if (!IsWritable(header.ColorType, bitDepth) || png.WriteInterlace() > 1) {
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

// Deflates the filtered rows and writes the compressed stream as IDAT chunks of exactly
// splitSize data bytes, but the last, which holds the rest. Only one chunk's worth of
// compressed data is held at a time.
// Where the filtered rows go: a zlib stream cut into IDAT chunks.
class TImageDataSink
{
public:
    virtual ~TImageDataSink() = default;
    virtual void Feed(const uint8_t* data, size_t size) = 0;
    virtual void Finish() = 0;
};

class TIdatSink : public TImageDataSink
{
public:
    TIdatSink(TStream& stream, size_t splitSize, int level)
        : m_stream(stream), m_splitSize(splitSize), m_deflate(level)
    {}

    void Feed(const uint8_t* data, size_t size) override
    {
        m_deflate.SetInput(data, size);
        while (m_deflate.InputLeft() > 0) {
            Step(false);
        }
    }

    void Finish() override
    {
        while (!Step(true)) {
        }
        if (m_filled > 0) {
            EmitChunk();
        }
    }

private:
    // Room to grow into before the first chunk is full: a split size far above the default
    // must not reserve memory the image's compressed data never fills.
    static constexpr size_t kFirstBufferSize = size_t(1) << 20;

    bool Step(bool finish)
    {
        if (m_filled == m_splitSize) {
            EmitChunk();
        }
        if (m_filled == m_buffer.size()) {
            const size_t grown = std::max(kFirstBufferSize, m_buffer.size() * 2);
            m_buffer.resize(std::min(m_splitSize, grown));
        }
        bool ended = false;
        m_filled += m_deflate.Deflate(m_buffer.data() + m_filled, m_buffer.size() - m_filled,
                                      finish, ended);
        return ended;
    }

    void EmitChunk()
    {
        WriteFramedChunk(m_stream, MakeChunkType("IDAT"), m_buffer.data(), uint32_t(m_filled));
        m_filled = 0;
    }

    TStream& m_stream;
    size_t m_splitSize;
    TDeflateStream m_deflate;
    std::vector<uint8_t> m_buffer;
    size_t m_filled = 0;
};

// The same zlib stream contents deflated on several threads: the filtered data is cut into
// segments compressed side by side, each primed with the 32 KiB before it and ended on a
// byte boundary, then joined behind one zlib header and closed with the Adler-32 of all the
// data. A batch of one segment per thread is held at a time, so memory stays bounded. The
// bytes differ from a single deflate stream's; the data they inflate to does not.
class TParallelIdatSink : public TImageDataSink
{
public:
    TParallelIdatSink(TStream& stream, size_t splitSize, int level, int threads)
        : m_stream(stream), m_splitSize(splitSize), m_level(level), m_threads(size_t(threads))
    {
        const uint16_t header = ZlibHeader(level);
        const uint8_t bytes[2] = {uint8_t(header >> 8), uint8_t(header)};
        Emit(bytes, 2);
    }

    void Feed(const uint8_t* data, size_t size) override
    {
        m_adler = Adler32(m_adler, data, size);
        m_pending.insert(m_pending.end(), data, data + size);
        while (m_pending.size() >= kSegmentSize * m_threads + kSegmentSize) {
            CompressBatch(kSegmentSize * m_threads, false);
        }
    }

    void Finish() override
    {
        CompressBatch(m_pending.size(), true);
        const uint8_t trailer[4] = {uint8_t(m_adler >> 24), uint8_t(m_adler >> 16),
                                    uint8_t(m_adler >> 8), uint8_t(m_adler)};
        Emit(trailer, 4);
        if (!m_chunk.empty()) {
            WriteFramedChunk(m_stream, MakeChunkType("IDAT"), m_chunk.data(),
                             uint32_t(m_chunk.size()));
            m_chunk.clear();
        }
    }

private:
    static constexpr size_t kSegmentSize = size_t(1) << 20;
    static constexpr size_t kWindow = 32768;

    // Compresses the first `size` pending bytes in segments, one per thread.
    void CompressBatch(size_t size, bool last)
    {
        const size_t count = std::max<size_t>(1, (size + kSegmentSize - 1) / kSegmentSize);
        std::vector<std::vector<uint8_t>> outputs(count);
        std::vector<std::exception_ptr> errors(count);
        auto compress = [&](size_t i) {
            const size_t begin = i * kSegmentSize;
            const size_t length = std::min(kSegmentSize, size - std::min(size, begin));
            // The dictionary: the bytes before the segment, from this batch or the last one.
            std::vector<uint8_t> dictionary;
            if (begin >= kWindow) {
                dictionary.assign(m_pending.begin() + ptrdiff_t(begin - kWindow),
                                  m_pending.begin() + ptrdiff_t(begin));
            } else {
                const size_t fromWindow = std::min(m_window.size(), kWindow - begin);
                dictionary.assign(m_window.end() - ptrdiff_t(fromWindow), m_window.end());
                dictionary.insert(dictionary.end(), m_pending.begin(),
                                  m_pending.begin() + ptrdiff_t(begin));
            }
            try {
                outputs[i] = DeflateSegment(m_pending.data() + begin, length, dictionary.data(),
                                            dictionary.size(), m_level, last && i + 1 == count);
            } catch (...) {
                errors[i] = std::current_exception();
            }
        };
        std::vector<std::thread> workers;
        for (size_t i = 1; i < count; ++i) {
            workers.emplace_back(compress, i);
        }
        compress(0);
        for (std::thread& worker : workers) {
            worker.join();
        }
        for (size_t i = 0; i < count; ++i) {
            if (errors[i]) {
                std::rethrow_exception(errors[i]);
            }
            Emit(outputs[i].data(), outputs[i].size());
        }
        // Keep the last 32 KiB of data as the next batch's dictionary.
        std::vector<uint8_t> window;
        const size_t fromPending = std::min(size, kWindow);
        const size_t fromOld = std::min(m_window.size(), kWindow - fromPending);
        window.assign(m_window.end() - ptrdiff_t(fromOld), m_window.end());
        window.insert(window.end(), m_pending.begin() + ptrdiff_t(size - fromPending),
                      m_pending.begin() + ptrdiff_t(size));
        m_window.swap(window);
        m_pending.erase(m_pending.begin(), m_pending.begin() + ptrdiff_t(size));
    }

    // Appends compressed bytes, writing every full IDAT chunk.
    void Emit(const uint8_t* data, size_t size)
    {
        while (size > 0) {
            const size_t room = m_splitSize - m_chunk.size();
            const size_t take = std::min(room, size);
            m_chunk.insert(m_chunk.end(), data, data + take);
            data += take;
            size -= take;
            if (m_chunk.size() == m_splitSize) {
                WriteFramedChunk(m_stream, MakeChunkType("IDAT"), m_chunk.data(),
                                 uint32_t(m_chunk.size()));
                m_chunk.clear();
            }
        }
    }

    TStream& m_stream;
    size_t m_splitSize;
    int m_level;
    size_t m_threads;
    uint32_t m_adler = 1;
    std::vector<uint8_t> m_pending;
    std::vector<uint8_t> m_window;
    std::vector<uint8_t> m_chunk;
};

// The fast profile: libdeflate on fixed 256 KiB segments of the filtered data, each on a
// thread of its own while the caller filters the rows of the next, joined behind one zlib
// header and closed with the Adler-32 of all the data. Segments start at fixed offsets, so the
// bytes do not depend on the number of threads. Memory: threads + 1 slots, each one segment,
// its compressed copy and a compressor (about 330 KiB): about 1 MiB per thread. A 24-megapixel
// RGB conversion then peaks at 2.11 times its 24-bit image on 2 threads and 2.41 on 24; with
// an alpha plane, which alone brings the default run to 2.40, at 2.45 and 2.80.
//
// libdeflate cannot be primed with the 32 KiB before a segment, as the zlib segments are: a
// segment's first matches cannot reach into the one before. That costs about 0.25 % of the
// size on a photo (level 6 on a 24-megapixel picture's rows: 25 225 950 bytes in segments
// against 25 163 826 in one call; 1 MiB segments would save 0.2 % of that, at four times
// the memory per thread), where zlib's primed 1 MiB segments lose under 0.01 %.
class TFastIdatSink : public TImageDataSink
{
public:
    TFastIdatSink(TStream& stream, size_t splitSize, int threads)
        : m_stream(stream), m_splitSize(splitSize), m_slots(size_t(threads) + 1)
    {
        const uint16_t header = ZlibHeader(kFastDeflateLevel);
        const uint8_t bytes[2] = {uint8_t(header >> 8), uint8_t(header)};
        Emit(bytes, 2);
    }

    ~TFastIdatSink() override
    {
        // Only an exception on the way leaves segments in flight.
        for (TSlot& slot : m_slots) {
            if (slot.Worker.joinable()) {
                slot.Worker.join();
            }
        }
    }
    TFastIdatSink(const TFastIdatSink&) = delete;
    TFastIdatSink& operator=(const TFastIdatSink&) = delete;

    void Feed(const uint8_t* data, size_t size) override
    {
        m_adler = Adler32(m_adler, data, size);
        while (size > 0) {
            TSlot& slot = m_slots[m_current];
            const size_t take = std::min(size, kSegmentSize - slot.Input.size());
            slot.Input.insert(slot.Input.end(), data, data + take);
            data += take;
            size -= take;
            if (slot.Input.size() == kSegmentSize) {
                Launch(slot, false);
                m_current = (m_current + 1) % m_slots.size();
                Retire(m_slots[m_current]);
            }
        }
    }

    void Finish() override
    {
        // The last segment ends the stream; when the data filled the one before exactly, it
        // is empty and holds only the final block.
        Launch(m_slots[m_current], true);
        for (size_t k = 1; k <= m_slots.size(); ++k) {
            Retire(m_slots[(m_current + k) % m_slots.size()]);
        }
        const uint8_t trailer[4] = {uint8_t(m_adler >> 24), uint8_t(m_adler >> 16),
                                    uint8_t(m_adler >> 8), uint8_t(m_adler)};
        Emit(trailer, 4);
        if (!m_chunk.empty()) {
            WriteFramedChunk(m_stream, MakeChunkType("IDAT"), m_chunk.data(),
                             uint32_t(m_chunk.size()));
            m_chunk.clear();
        }
    }

private:
    static constexpr size_t kSegmentSize = size_t(1) << 18;

    // One segment: filled by the caller, compressed by its worker, written by Retire.
    struct TSlot
    {
        std::vector<uint8_t> Input;
        std::vector<uint8_t> Output;
        std::optional<TDeflater> Deflater;
        std::thread Worker;
        std::exception_ptr Error;
    };

    void Launch(TSlot& slot, bool last)
    {
        if (!slot.Deflater) {
            slot.Deflater.emplace(kFastDeflateLevel);
        }
        slot.Worker = std::thread([&slot, last] {
            try {
                slot.Deflater->Compress(slot.Input.data(), slot.Input.size(), slot.Output);
                if (!last) {
                    ReopenRawDeflate(slot.Output, slot.Input.size());
                }
            } catch (...) {
                slot.Error = std::current_exception();
            }
        });
    }

    // Waits for the slot's segment, if any, writes it and empties the slot for the next.
    void Retire(TSlot& slot)
    {
        if (!slot.Worker.joinable()) {
            return;
        }
        slot.Worker.join();
        if (slot.Error) {
            std::rethrow_exception(slot.Error);
        }
        Emit(slot.Output.data(), slot.Output.size());
        slot.Input.clear();
    }

    // Appends compressed bytes, writing every full IDAT chunk.
    void Emit(const uint8_t* data, size_t size)
    {
        while (size > 0) {
            const size_t take = std::min(m_splitSize - m_chunk.size(), size);
            m_chunk.insert(m_chunk.end(), data, data + take);
            data += take;
            size -= take;
            if (m_chunk.size() == m_splitSize) {
                WriteFramedChunk(m_stream, MakeChunkType("IDAT"), m_chunk.data(),
                                 uint32_t(m_chunk.size()));
                m_chunk.clear();
            }
        }
    }

    TStream& m_stream;
    size_t m_splitSize;
    std::vector<TSlot> m_slots;
    size_t m_current = 0; // the slot being filled; the next ones hold the oldest segments
    uint32_t m_adler = 1;
    std::vector<uint8_t> m_chunk;
};

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
    std::unique_ptr<TImageDataSink> sinkOwner;
    if (png.DeflateProfile() == TDeflateProfile::Fast) {
        sinkOwner = std::make_unique<TFastIdatSink>(stream, size_t(png.IdatSplitSize()),
                                                    png.DeflateThreads());
    } else if (png.DeflateThreads() > 1) {
        sinkOwner = std::make_unique<TParallelIdatSink>(stream, size_t(png.IdatSplitSize()),
                                                        png.DeflateLevel(), png.DeflateThreads());
    } else {
        sinkOwner =
            std::make_unique<TIdatSink>(stream, size_t(png.IdatSplitSize()), png.DeflateLevel());
    }
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
