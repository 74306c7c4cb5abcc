// Reading and writing BMP files: the 12-byte core header and the 40-byte info header with
// its later, longer versions; 1, 4, 8, 16, 24 and 32 bits per pixel, bit-field masks and
// RLE8/RLE4 data, whose bytes are kept so that an unchanged image is written back as read.

#include "graphics/Bitmap.h"

#include "runtime/Bytes.h"
#include "runtime/Checked.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/SourceWarnings.h"

#include <algorithm>
#include <cstring>

namespace kapto {

namespace {

constexpr uint16_t kBitmapType = 0x4D42; // "BM"
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
// The longest header version known (BITMAPV5HEADER); longer headers carry nothing we read.
constexpr uint32_t kLongestHeaderSize = 124;

[[noreturn]] void RaiseInvalidBitmap()
{
    throw EInvalidGraphic(FormatMessage(TMessage::InvalidBitmap));
}

[[noreturn]] void RaiseReadError()
{
    throw EReadError(FormatMessage(TMessage::ReadError));
}

// A reader that never passes the end of the BMP: a read beyond it is a short read.
class TBoundedReader
{
public:
    TBoundedReader(TStream& stream, uint64_t length) : m_stream(&stream), m_remaining(length) {}

    uint64_t Remaining() const { return m_remaining; }
    void Read(void* buffer, uint64_t count)
    {
        if (count > m_remaining) {
            RaiseReadError();
        }
        m_stream->ReadBuffer(buffer, size_t(count));
        m_remaining -= count;
    }

private:
    TStream* m_stream;
    uint64_t m_remaining;
};

struct THeaderRead
{
    TBitmapInfoHeader Header;
    uint32_t Masks[3] = {0, 0, 0};
    bool HasMasks = false;
    bool IsCore = false;
    std::vector<uint8_t> Raw; // the header as read, after its size field
};

THeaderRead ReadInfoHeader(TBoundedReader& reader)
{
    THeaderRead result;
    uint8_t sizeBytes[4];
    reader.Read(sizeBytes, 4);
    const uint32_t size = GetUInt32LE(sizeBytes);
    TBitmapInfoHeader& h = result.Header;
    if (size == kCoreHeaderSize) {
        uint8_t core[8];
        reader.Read(core, 8);
        h.Size = kInfoHeaderSize;
        h.Width = GetUInt16LE(core);
        h.Height = GetUInt16LE(core + 2);
        h.Planes = GetUInt16LE(core + 4);
        h.BitCount = GetUInt16LE(core + 6);
        result.IsCore = true;
        return result;
    }
    // Header sizes between the two known forms, and headers longer than what remains of
    // the file, are malformed; no buffer is ever sized from the field.
    if (size < kInfoHeaderSize) {
        RaiseInvalidBitmap();
    }
    if (size - 4 > reader.Remaining()) {
        RaiseReadError();
    }
    // The whole header is kept (it is real data, no longer than the file); the fields are
    // taken from its first bytes.
    result.Raw.resize(size - 4);
    reader.Read(result.Raw.data(), result.Raw.size());
    uint8_t fields[kLongestHeaderSize] = {};
    std::memcpy(fields + 4, result.Raw.data(),
                std::min<size_t>(result.Raw.size(), sizeof fields - 4));
    const uint8_t* p = fields;
    h.Size = size;
    h.Width = int32_t(GetUInt32LE(p + 4));
    h.Height = int32_t(GetUInt32LE(p + 8));
    h.Planes = GetUInt16LE(p + 12);
    h.BitCount = GetUInt16LE(p + 14);
    h.Compression = GetUInt32LE(p + 16);
    h.SizeImage = GetUInt32LE(p + 20);
    h.XPelsPerMeter = int32_t(GetUInt32LE(p + 24));
    h.YPelsPerMeter = int32_t(GetUInt32LE(p + 28));
    h.ClrUsed = GetUInt32LE(p + 32);
    h.ClrImportant = GetUInt32LE(p + 36);
    if (size >= 52) {
        // Version 2 and later headers carry the colour masks inside.
        for (int i = 0; i < 3; ++i) {
            result.Masks[i] = GetUInt32LE(p + 40 + 4 * i);
        }
        result.HasMasks = true;
    }
    return result;
}

// Rejects what no image can be made from, before any buffer is sized from the header.
void ValidateHeader(const TBitmapInfoHeader& h)
{
    if (h.Planes != 1 || h.Width <= 0 || h.Height == 0 || h.Height == INT32_MIN ||
        h.ClrUsed > 256) {
        RaiseInvalidBitmap();
    }
    const int64_t height = h.Height < 0 ? -int64_t(h.Height) : int64_t(h.Height);
    uint64_t bytes = 0;
    switch (h.Compression) {
    case kCompressionNone:
        if (!(h.BitCount == 1 || h.BitCount == 4 || h.BitCount == 8 || h.BitCount == 16 ||
              h.BitCount == 24 || h.BitCount == 32)) {
            RaiseInvalidBitmap();
        }
        break;
    case kCompressionBitFields:
        if (h.BitCount != 16 && h.BitCount != 32) {
            RaiseInvalidBitmap();
        }
        break;
    case kCompressionRLE8:
    case kCompressionRLE4:
        if (h.BitCount != (h.Compression == kCompressionRLE8 ? 8 : 4)) {
            RaiseInvalidBitmap();
        }
        // Decoded into a device image of the display's depth.
        if (!ImageBufferSize(h.Width, height, unsigned(kDisplayBitsPerPixel), bytes)) {
            RaiseInvalidBitmap();
        }
        break;
    default:
        // Embedded JPEG or PNG data and other compressions are not decoded here.
        RaiseInvalidBitmap();
    }
    if (!ImageBufferSize(h.Width, height, h.BitCount, bytes)) {
        RaiseInvalidBitmap();
    }
}

// Returns the offset of the pixel data from the start of the file header.
uint32_t ReadFileHeader(TBoundedReader& reader)
{
    uint8_t fileHeader[14];
    reader.Read(fileHeader, sizeof fileHeader);
    if (GetUInt16LE(fileHeader) != kBitmapType) {
        RaiseInvalidBitmap();
    }
    return GetUInt32LE(fileHeader + 10);
}

// Writers may leave a gap between the colour table and the pixels (alignment, a profile, an
// unused table), which the file header's offset passes over. An offset inside the headers or
// the table, or at or past the end, is wrong too often to trust: the pixels then follow the
// table, as most files have them. Returns the gap's size.
uint64_t SkipToPixelData(TBoundedReader& reader, uint64_t length, uint32_t offset)
{
    const uint64_t consumed = length - reader.Remaining();
    if (offset <= consumed || offset >= length) {
        return 0;
    }
    uint64_t gap = offset - consumed;
    std::vector<uint8_t> scratch(size_t(std::min<uint64_t>(gap, 4096)));
    for (uint64_t left = gap; left > 0;) {
        const uint64_t chunk = std::min<uint64_t>(left, scratch.size());
        reader.Read(scratch.data(), chunk);
        left -= chunk;
    }
    return gap;
}

// Once the header is validated, every compression but none and bit fields is RLE8 or RLE4.
bool IsRunLengthEncoded(const TBitmapInfoHeader& header)
{
    return header.Compression != kCompressionNone && header.Compression != kCompressionBitFields;
}

// Compressed data is kept as read, header and everything after it, so that an unchanged
// image is written back byte for byte; the rest of the file is then read from that copy.
std::unique_ptr<TMemoryStream> PreserveCompressedData(TStream& stream, const THeaderRead& info,
                                                      TBoundedReader& reader)
{
    if (info.IsCore || !IsRunLengthEncoded(info.Header)) {
        return nullptr;
    }
    auto preserved = std::make_unique<TMemoryStream>();
    preserved->WriteUInt32LE(info.Header.Size);
    preserved->WriteBuffer(info.Raw.data(), info.Raw.size());
    const int64_t afterHeader = preserved->Position();
    const uint64_t rest = reader.Remaining();
    preserved->CopyFrom(stream, int64_t(rest));
    preserved->SetPosition(afterHeader);
    reader = TBoundedReader(*preserved, rest);
    return preserved;
}

// A 40-byte header with bit fields is followed by its three masks; longer headers hold them.
void ReadMasks(TBoundedReader& reader, THeaderRead& info)
{
    const TBitmapInfoHeader& header = info.Header;
    if (header.Size == kInfoHeaderSize && (header.BitCount == 16 || header.BitCount == 32) &&
        header.Compression == kCompressionBitFields) {
        uint8_t masks[12];
        reader.Read(masks, sizeof masks);
        for (int i = 0; i < 3; ++i) {
            info.Masks[i] = GetUInt32LE(masks + 4 * i);
        }
        info.HasMasks = true;
    }
    if (header.Compression == kCompressionBitFields && !info.HasMasks) {
        RaiseInvalidBitmap();
    }
}

// The colour table: three bytes an entry after a core header, four after the others. An
// indexed image that gives no count has the full table.
std::vector<TRGBQuad> ReadColorTable(TBoundedReader& reader, THeaderRead& info)
{
    TBitmapInfoHeader& header = info.Header;
    if (header.ClrUsed == 0 && header.BitCount <= 8) {
        header.ClrUsed = 1u << header.BitCount;
    }
    const unsigned entrySize = info.IsCore ? 3 : 4;
    std::vector<uint8_t> rawColors(size_t(header.ClrUsed) * entrySize);
    reader.Read(rawColors.data(), rawColors.size());
    std::vector<TRGBQuad> colors(header.ClrUsed);
    for (size_t i = 0; i < colors.size(); ++i) {
        const uint8_t* e = rawColors.data() + i * entrySize;
        colors[i] = {e[0], e[1], e[2], 0};
    }
    return colors;
}

// The bytes of pixel data to read: the image size the header states (computed when it
// states none), but no more than the file holds.
uint64_t PixelDataSize(TBitmapInfoHeader& header, const TBoundedReader& reader)
{
    const int64_t rows = header.Height < 0 ? -int64_t(header.Height) : int64_t(header.Height);
    if (header.SizeImage == 0) {
        header.SizeImage =
            uint32_t(DIBStride(uint64_t(header.Width), header.BitCount) * uint64_t(rows));
    }
    return std::min<uint64_t>(header.SizeImage, reader.Remaining());
}

// Uncompressed and bit-field pixels go straight into a DIB; none when the platform refuses
// it. A file shorter than its image leaves the rest of the rows zero.
HBITMAP ReadUncompressedPixels(TBoundedReader& reader, const THeaderRead& info,
                               const std::vector<TRGBQuad>& colors, uint64_t pixelBytes)
{
    TBitmapInfoHeader dibHeader = info.Header;
    dibHeader.Size = kInfoHeaderSize;
    HBITMAP dib = CreateDIBSection(dibHeader, colors, info.Masks);
    if (dib != nullptr) {
        const uint64_t fileEnd = reader.Remaining();
        const uint64_t count = std::min<uint64_t>(pixelBytes, dib->BufferSize());
        reader.Read(dib->Bits(), count);
        // Only the end of the file is reported: a size field that states less than the
        // image is an old writer's habit, not a loss.
        if (count == fileEnd && count < dib->BufferSize()) {
            const uint64_t rows = uint64_t(dib->Height());
            const uint64_t whole = std::min<uint64_t>(count / dib->Stride(), rows);
            ReportRowsMissing(rows - whole, rows);
        }
    }
    return dib;
}

HBITMAP ReadRunLengthPixels(TBoundedReader& reader, const TBitmapInfoHeader& header,
                            const std::vector<TRGBQuad>& colors, uint64_t pixelBytes)
{
    const bool toFileEnd = pixelBytes == reader.Remaining();
    std::vector<uint8_t> data(static_cast<size_t>(pixelBytes));
    reader.Read(data.data(), data.size());
    int64_t unreached = 0;
    HBITMAP device = DecodeRLE(header, colors, data.data(), data.size(), &unreached);
    if (device == nullptr) {
        RaiseInvalidBitmap();
    }
    // As for uncompressed pixels, only data cut by the end of the file is reported.
    if (toFileEnd && unreached > 0) {
        ReportRowsMissing(uint64_t(unreached), uint64_t(device->Height()));
    }
    return device;
}

// What a preserved compressed BMP needs around its kept bytes: the file header, whose pixel
// offset follows the header size and the colour count the kept header states.
void WritePreservedBitmap(TStream& stream, const std::vector<uint8_t>& bytes, bool withLengthPrefix)
{
    uint8_t fileHeader[14] = {'B', 'M'};
    uint32_t headerSize = bytes.size() >= 4 ? GetUInt32LE(bytes.data()) : 0;
    uint32_t colorCount = 0;
    if (bytes.size() >= 36) {
        const uint16_t bitCount = GetUInt16LE(bytes.data() + 14);
        colorCount = GetUInt32LE(bytes.data() + 32);
        if (colorCount == 0 && bitCount <= 8) {
            colorCount = 1u << bitCount;
        }
    }
    const uint32_t fileSize = uint32_t(14 + bytes.size());
    PutUInt32LE(fileHeader + 2, fileSize);
    PutUInt32LE(fileHeader + 10, 14 + headerSize + 4 * colorCount);
    if (withLengthPrefix) {
        stream.WriteUInt32LE(fileSize);
    }
    stream.WriteBuffer(fileHeader, sizeof fileHeader);
    stream.WriteBuffer(bytes.data(), bytes.size());
}

// How an image is laid out in the BMP written from it.
struct TBitmapFileLayout
{
    TDIBSection Description; // masks and colour count as written
    unsigned BitCount = 0;
    bool HasMasks = false;
    bool IsCore = false;
    uint64_t ImageSize = 0;
    uint64_t HeaderSize = 0; // header, masks and colour table
    std::vector<TRGBQuad> Colors;
};

TBitmapFileLayout PlanBitmapFile(const TBitmapImage& image, const TPlatformImage& dib)
{
    TBitmapFileLayout layout;
    TDIBSection& d = layout.Description;
    d = image.Description;
    const unsigned bitCount = d.Bmih.BitCount;
    layout.BitCount = bitCount;
    layout.HasMasks = bitCount > 8 && d.Bmih.Compression >= 1 && d.Bmih.Compression <= 3;
    layout.ImageSize =
        d.Bmih.SizeImage != 0 ? d.Bmih.SizeImage : dib.Stride() * uint64_t(dib.Height());

    std::vector<TRGBQuad>& colors = layout.Colors;
    colors = dib.ColorTable();
    if (d.Bmih.ClrUsed != 0 && d.Bmih.ClrUsed < colors.size()) {
        colors.resize(d.Bmih.ClrUsed);
    }
    // The core header holds 16-bit unsigned sizes, bottom-up rows and no colour masks; an
    // image that no longer fits it is written with the info header rather than misread.
    layout.IsCore = image.CoreHeader && !layout.HasMasks && d.Bmih.Width <= 0xFFFF &&
                    d.Bmih.Height > 0 && d.Bmih.Height <= 0xFFFF;
    if (colors.empty() && !layout.IsCore && image.Palette != nullptr && !image.Halftone) {
        colors = ColorTableFromPalette(*image.Palette);
    }
    if (layout.IsCore) {
        layout.HeaderSize = kCoreHeaderSize + (bitCount <= 8 ? 3 * (uint64_t(1) << bitCount) : 0);
    } else {
        // The offset follows the colour table actually written, also when it is shorter
        // than the bit count allows.
        layout.HeaderSize =
            kInfoHeaderSize + (layout.HasMasks ? 12 : 0) + 4 * uint64_t(colors.size());
    }
    if (layout.HasMasks && d.Bitfields[0] == 0) {
        const uint32_t* fallback = DefaultBitFieldMasks(bitCount);
        std::copy(fallback, fallback + 3, d.Bitfields);
    }
    if (!colors.empty()) {
        d.Bmih.ClrUsed = uint32_t(colors.size());
    }
    return layout;
}

// The 12-byte core header and its full colour table of three-byte entries.
std::vector<uint8_t> CoreHeaderBytes(TBitmapFileLayout& layout)
{
    const TDIBSection& d = layout.Description;
    std::vector<uint8_t> out(kCoreHeaderSize);
    PutUInt32LE(out.data(), kCoreHeaderSize);
    PutUInt16LE(out.data() + 4, uint32_t(d.Bmih.Width));
    PutUInt16LE(out.data() + 6, uint32_t(d.Bmih.Height));
    PutUInt16LE(out.data() + 8, 1);
    PutUInt16LE(out.data() + 10, layout.BitCount);
    if (layout.BitCount <= 8) {
        layout.Colors.resize(size_t(1) << layout.BitCount);
        for (const TRGBQuad& c : layout.Colors) {
            out.insert(out.end(), {c.Blue, c.Green, c.Red});
        }
    }
    return out;
}

// The 40-byte info header, the masks when the image has them, and the colour table.
std::vector<uint8_t> InfoHeaderBytes(const TBitmapFileLayout& layout)
{
    const TDIBSection& d = layout.Description;
    std::vector<uint8_t> out(kInfoHeaderSize + (layout.HasMasks ? 12 : 0));
    uint8_t* p = out.data();
    PutUInt32LE(p, kInfoHeaderSize);
    PutUInt32LE(p + 4, uint32_t(d.Bmih.Width));
    PutUInt32LE(p + 8, uint32_t(d.Bmih.Height));
    PutUInt16LE(p + 12, 1);
    PutUInt16LE(p + 14, layout.BitCount);
    PutUInt32LE(p + 16, d.Bmih.Compression);
    PutUInt32LE(p + 20, uint32_t(layout.ImageSize));
    PutUInt32LE(p + 24, uint32_t(d.Bmih.XPelsPerMeter));
    PutUInt32LE(p + 28, uint32_t(d.Bmih.YPelsPerMeter));
    PutUInt32LE(p + 32, d.Bmih.ClrUsed);
    PutUInt32LE(p + 36, d.Bmih.ClrImportant);
    if (layout.HasMasks) {
        for (int i = 0; i < 3; ++i) {
            PutUInt32LE(p + 40 + 4 * i, d.Bitfields[i]);
        }
    }
    for (const TRGBQuad& c : layout.Colors) {
        out.insert(out.end(), {c.Blue, c.Green, c.Red, 0});
    }
    return out;
}

void WritePixels(TStream& stream, const TPlatformImage& dib, uint64_t imageSize)
{
    const uint64_t fromBuffer = std::min<uint64_t>(imageSize, dib.BufferSize());
    stream.WriteBuffer(dib.Bits(), size_t(fromBuffer));
    // An image size larger than the pixel buffer is made up with zero bytes.
    std::vector<uint8_t> zeros(4096);
    for (uint64_t left = imageSize - fromBuffer; left > 0;) {
        const size_t chunk = size_t(std::min<uint64_t>(left, zeros.size()));
        stream.WriteBuffer(zeros.data(), chunk);
        left -= chunk;
    }
}

} // namespace

void TBitmap::LoadFromStream(TStream& stream)
{
    ReadBitmapData(stream, stream.Remaining());
}

void TBitmap::ReadEmbedded(TStream& stream)
{
    const uint32_t length = stream.ReadUInt32LE();
    ReadBitmapData(stream, length);
}

void TBitmap::SaveToStream(TStream& stream)
{
    WriteBitmapData(stream, false);
}

void TBitmap::WriteEmbedded(TStream& stream)
{
    WriteBitmapData(stream, true);
}

void TBitmap::ReadBitmapData(TStream& stream, uint64_t length)
{
    if (length == 0) {
        InstallImage(std::make_shared<TBitmapImage>());
        return;
    }
    const uint64_t fileLength = std::min(length, stream.Remaining());
    TBoundedReader reader(stream, fileLength);
    const uint32_t pixelOffset = ReadFileHeader(reader);
    THeaderRead info = ReadInfoHeader(reader);
    TBitmapInfoHeader& header = info.Header;
    ValidateHeader(header);
    std::unique_ptr<TMemoryStream> preserved = PreserveCompressedData(stream, info, reader);
    ReadMasks(reader, info);
    const std::vector<TRGBQuad> colors = ReadColorTable(reader, info);
    // Kept compressed bytes are written back with the pixels right after the table, so a file
    // with a gap is not kept; the reader may still read from the kept copy until the end.
    const bool keepCompressed = SkipToPixelData(reader, fileLength, pixelOffset) == 0;
    const uint64_t pixelBytes = PixelDataSize(header, reader);

    auto image = std::make_shared<TBitmapImage>();
    if (IsRunLengthEncoded(header)) {
        image->Handle = ReadRunLengthPixels(reader, header, colors, pixelBytes);
        image->Palette = PaletteFromColorTable(colors);
    } else {
        image->Handle = ReadUncompressedPixels(reader, info, colors, pixelBytes);
        if (image->Handle == nullptr) {
            RaiseOutOfResources();
        }
        image->DIBHandle = image->Handle;
    }
    if (header.BitCount > 8 && header.ClrUsed > 0 && image->Palette == nullptr) {
        image->Palette = PaletteFromColorTable(colors);
    }
    image->Description = DescribeImage(*image->Handle);
    image->Description.Bmih.XPelsPerMeter = header.XPelsPerMeter;
    image->Description.Bmih.YPelsPerMeter = header.YPelsPerMeter;
    image->Description.Bmih.ClrUsed = header.ClrUsed;
    image->Description.Bmih.ClrImportant = header.ClrImportant;
    if (keepCompressed) {
        image->PreservedStream = std::move(preserved);
    }
    image->CoreHeader = info.IsCore;
    InstallImage(std::move(image));
    SetPaletteModified(GetPalette() != nullptr);
    Changed();
}

void TBitmap::WriteBitmapData(TStream& stream, bool withLengthPrefix)
{
    if (m_image->PreservedStream != nullptr) {
        WritePreservedBitmap(stream, m_image->PreservedStream->Bytes(), withLengthPrefix);
        return;
    }
    EnsureHandle();
    EnsureDIB();
    const HBITMAP dib = m_image->DIBHandle;
    if (dib == nullptr) {
        if (withLengthPrefix) {
            stream.WriteUInt32LE(0);
        }
        return;
    }
    TBitmapFileLayout layout = PlanBitmapFile(*m_image, *dib);
    const uint64_t fileSize = 14 + layout.HeaderSize + layout.ImageSize;
    uint8_t fileHeader[14] = {'B', 'M'};
    PutUInt32LE(fileHeader + 2, uint32_t(fileSize));
    PutUInt32LE(fileHeader + 10, uint32_t(14 + layout.HeaderSize));
    if (withLengthPrefix) {
        stream.WriteUInt32LE(uint32_t(fileSize));
    }
    stream.WriteBuffer(fileHeader, sizeof fileHeader);
    const std::vector<uint8_t> header =
        layout.IsCore ? CoreHeaderBytes(layout) : InfoHeaderBytes(layout);
    stream.WriteBuffer(header.data(), header.size());
    WritePixels(stream, *dib, layout.ImageSize);
}

} // namespace kapto
