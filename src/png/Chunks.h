#pragma once
// The chunk classes of a PNG image (one object per chunk, ISO/IEC 15948 clause 11), their
// class registry, and the in-memory picture that the header chunk owns.

#include "graphics/PixelMask.h"
#include "platform/Color.h"
#include "platform/DIB.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kapto {

class TChunk;
class TChunkIHDR;
class TPNGObject;
class TStream;

// The four type bytes of a chunk.
using TChunkType = std::array<uint8_t, 4>;

// The type bytes of a four-letter name such as "IHDR".
TChunkType MakeChunkType(const char (&name)[5]);

// A chunk class as a value: what the registry holds and what chunks are looked up and added
// by. Classes form the same tree as the C++ classes they describe.
struct TChunkClass
{
    const char* Name;          // the class name, "TChunkIHDR"
    const TChunkClass* Parent; // none for TChunk
    std::unique_ptr<TChunk> (*Create)(TPNGObject& owner);

    // The class name without its "TChunk" prefix: the chunk type, empty for TChunk.
    const char* TypeName() const;
    bool InheritsFrom(const TChunkClass& other) const;
};

// Declares the class value of a chunk class.
#define KAPTO_CHUNK_CLASS                                                                          \
    static const TChunkClass& Class();                                                             \
    const TChunkClass& ChunkClass() const override                                                 \
    {                                                                                              \
        return Class();                                                                            \
    }

// A chunk. Also the class of every chunk type without a class of its own, which keeps its
// type and payload unchanged.
class TChunk
{
public:
    explicit TChunk(TPNGObject& owner);
    virtual ~TChunk() = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    static const TChunkClass& Class();
    virtual const TChunkClass& ChunkClass() const { return Class(); }
    const char* TypeName() const { return ChunkClass().TypeName(); }

    // Copies type and payload; the classes with fields copy those too. Raises EPngError
    // "The chunks must be compatible to be assigned." for a source of another class.
    virtual void CopyChunk(const TChunk& source);
    // Reads size payload bytes and the CRC from the stream, positioned at the chunk's data,
    // and decodes the class's fields from them. Raises EPngInvalidCRC when the CRC differs or
    // the chunk runs past the end of the stream (nothing is reserved for it then), and the
    // class's own exceptions for fields it refuses.
    virtual bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size);
    // Encodes the fields into the payload and writes the framed chunk (length, type, data,
    // CRC). Raises EWriteError when the stream takes fewer bytes.
    virtual bool WriteChunk(TStream& stream);

    TPNGObject& Owner() const { return m_owner; }
    const TChunkType& ChunkType() const { return m_chunkType; }
    void SetChunkType(const TChunkType& type) { m_chunkType = type; }

    uint32_t PayloadSize() const { return uint32_t(m_payload.size()); }
    uint8_t* Payload() { return m_payload.data(); }
    const uint8_t* Payload() const { return m_payload.data(); }
    // Sets the payload size, keeping the bytes that stay and zero-filling new ones.
    void ResizePayload(uint32_t size) { m_payload.resize(size); }

    // Position in the owner's chunk list, -1 when absent.
    int IndexInList() const;
    // The owner's first chunk as a header; raises EPNGHeaderNotPresent when it is not one.
    TChunkIHDR& HeaderChunk() const;

protected:
    TChunk(TPNGObject& owner, const TChunkClass& chunkClass);
    // Raises EPngError (65291) unless source is of this chunk's class or derived from it.
    void RequireCompatible(const TChunk& source) const;
    // Writes the payload framed as a chunk.
    bool WriteFramed(TStream& stream) const;

private:
    TPNGObject& m_owner;
    TChunkType m_chunkType{};
    std::vector<uint8_t> m_payload;
};

// The colour table that travels with a DIB: a 40-byte header and 256 entries of blue, green,
// red, 0. The header's colours-used field is the palette count.
struct TDibInfo
{
    TBitmapInfoHeader Header;
    std::array<TRGBQuad, 256> Colors{};
};

// The header chunk. Owns the decoded picture: a bottom-up DIB (24 bits for colour types 2 and
// 6, indexed 1, 4 or 8 bits otherwise), an alpha plane for colour types 4 and 6, and the low
// bytes of 16-bit samples.
class TChunkIHDR : public TChunk
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunkIHDR(TPNGObject& owner) : TChunk(owner, Class()) {}

    void CopyChunk(const TChunk& source) override;
    // Raises EPngInvalidIHDR (short payload, empty size, a colour type and bit depth pair the
    // PNG standard does not allow), EPNGSizeExceeds, EPNGUnknownCompression,
    // EPNGUnknownInterlace, and what AllocateImage raises.
    bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size) override;
    bool WriteChunk(TStream& stream) override;

    // The header fields. AllocateImage builds the picture from them; they describe the
    // picture only as long as they are left alone afterwards (ResizeImage keeps both in step).
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 0;
    uint8_t ColorType = 0;
    uint8_t CompressionMethod = 0;
    uint8_t FilterMethod = 0;
    uint8_t InterlaceMethod = 0;

    // Frees the picture and allocates a zeroed one for the header fields: indexed DIBs start
    // with the halftone palette (colour type 3) or a gray ramp through the owner's GammaLUT.
    // Raises EPngInvalidIHDR for an empty size or a colour type and bit depth pair without a
    // picture layout, EPNGOutMemory when the size exceeds the image limits or memory is short.
    // On failure the previous picture stays.
    void AllocateImage();
    // Replaces the picture by one of the new size holding the rows and columns both sizes
    // share; the alpha plane gets 255 elsewhere. Raises EPNGInvalidNewSize below 1 pixel.
    void ResizeImage(int32_t width, int32_t height);
    // Gives the picture an opaque alpha plane (every byte 255) of Width x Height bytes.
    void AllocateAlphaPlane();

    // Whether a picture has been allocated.
    bool HasImage() const { return m_image != nullptr; }
    const HBITMAP& ImageHandle() const { return m_image; }
    const HPALETTE& PaletteHandle() const { return m_palette; }
    bool HasIndexedDib() const { return m_hasIndexedDib; }
    const TDibInfo& DibInfo() const { return m_dibInfo; }
    uint32_t PaletteCount() const { return m_dibInfo.Header.ClrUsed; }
    uint16_t DIBBitCount() const { return m_dibInfo.Header.BitCount; }
    uint32_t RowStride() const { return m_rowStride; }

    // Sets the colour table (at most 256 entries) and the palette count to its size.
    void SetColorTable(const std::vector<TRGBQuad>& colors);
    // For an indexed DIB only: optionally copies the palette's entries into the colour table,
    // then keeps the palette as the picture's own.
    void ApplyPalette(HPALETTE palette, bool copyEntries);

    // Row y (0 = top) of the pixels, of the low bytes (none below bit depth 16) and of the
    // alpha plane (none without one). y must lie inside the picture.
    uint8_t* PixelRow(uint32_t y) const;
    uint8_t* LowByteRow(uint32_t y) const;
    uint8_t* AlphaRow(uint32_t y) const;
    uint8_t* PixelBits() const { return m_image != nullptr ? m_image->Bits() : nullptr; }
    uint8_t* AlphaBits() const { return m_alpha.Data(); }
    uint8_t* LowBytes() const { return m_lowBytes.Data(); }

    // The pixels of a gray or RGB picture whose samples equal the tRNS key in every bit, as
    // the image data was read; the 8-bit picture alone cannot tell (16-bit samples, gamma).
    // None for other pictures and once the picture or the key has changed.
    const TPixelMask* KeyPixels() const { return m_keyPixels.get(); }
    void SetKeyPixels(std::shared_ptr<TPixelMask> pixels) { m_keyPixels = std::move(pixels); }

private:
    HBITMAP m_image;
    HPALETTE m_palette;
    bool m_hasIndexedDib = false;
    TDibInfo m_dibInfo;
    TPixelBuffer m_lowBytes;
    TPixelBuffer m_alpha;
    std::shared_ptr<TPixelMask> m_keyPixels;
    uint32_t m_rowStride = 0;
};

// The palette chunk. Its entries are the header's colour table.
class TChunkPLTE : public TChunk
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunkPLTE(TPNGObject& owner) : TChunk(owner, Class()) {}

    void CopyChunk(const TChunk& source) override;
    // Raises EPNGInvalidPalette for a size that is not a multiple of 3 or above 256 entries.
    bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size) override;
    bool WriteChunk(TStream& stream) override;

    // Entry index of the palette; raises EPngError "There is no such palette entry." from
    // EntryCount on.
    TRGBQuad Item(uint32_t index) const;

    uint32_t EntryCount = 0; // 0: the header's palette count when written
};

// Simple transparency: one key colour (colour types 0 and 2) or one alpha per palette entry.
class TChunktRNS : public TChunk
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunktRNS(TPNGObject& owner) : TChunk(owner, Class()) {}

    void CopyChunk(const TChunk& source) override;
    // Raises EPNGInvalidPalette above 256 bytes.
    bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size) override;
    bool WriteChunk(TStream& stream) override;

    // The key colour this chunk makes transparent: the gray key's colour-table entry, the RGB
    // key through GammaLUT, or the first palette entry with alpha 0; 0 when there is none.
    TColor KeyColor() const;
    // Makes the colour the one transparent colour for the header's colour type: a gray or RGB
    // key, or alpha 0 for the first palette entry of that colour. A colour the palette lacks
    // leaves every entry opaque, with no more alpha values than the palette has entries.
    void SetKeyColor(TColor color);

    bool SingleKey = false;
    // The payload's bytes: for colour types 0 and 2 the key samples as big-endian 16-bit values.
    std::array<uint8_t, 256> AlphaValues{};
};

// Image gamma: the payload holds the 4-byte big-endian gamma value times 100000.
class TChunkgAMA : public TChunk
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunkgAMA(TPNGObject& owner);

    void CopyChunk(const TChunk& source) override;
    // Builds the owner's gamma tables from the value.
    bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size) override;

    uint32_t Gamma() const;
    void SetGamma(uint32_t value);
};

// Image data. Holds no pixels: writing encodes the header's picture into as many IDAT chunks
// as the owner's IdatSplitSize asks for.
class TChunkIDAT : public TChunk
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunkIDAT(TPNGObject& owner) : TChunk(owner, Class()) {}

    // Decodes the image data of this and the following IDAT chunks into the header's picture.
    // Raises EPngInvalidCRC, EPNGMissingMultipleIDAT when another chunk interrupts the data
    // while rows remain, EPNGZLIBError for broken compressed data.
    bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size) override;
    bool WriteChunk(TStream& stream) override;
};

class TChunkIEND : public TChunk
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunkIEND(TPNGObject& owner) : TChunk(owner, Class()) {}
};

// Physical pixel dimensions.
class TChunkpHYs : public TChunk
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunkpHYs(TPNGObject& owner) : TChunk(owner, Class()) {}

    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size) override;
    bool WriteChunk(TStream& stream) override;

    uint32_t PixelsPerUnitX = 0;
    uint32_t PixelsPerUnitY = 0;
    uint8_t UnitSpecifier = 0; // 0 unknown, 1 metre
};

// Last modification time (UTC).
class TChunktIME : public TChunk
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunktIME(TPNGObject& owner) : TChunk(owner, Class()) {}

    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size) override;
    bool WriteChunk(TStream& stream) override;

    uint16_t Year = 0;
    uint8_t Month = 0;
    uint8_t Day = 0;
    uint8_t Hour = 0;
    uint8_t Minute = 0;
    uint8_t Second = 0;
};

// Latin-1 text under a keyword.
class TChunktEXt : public TChunk
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunktEXt(TPNGObject& owner) : TChunk(owner, Class()) {}

    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size) override;
    bool WriteChunk(TStream& stream) override;

    std::string Keyword;
    std::string Text;

protected:
    TChunktEXt(TPNGObject& owner, const TChunkClass& chunkClass) : TChunk(owner, chunkClass) {}
};

// Text compressed with deflate at the owner's DeflateLevel.
class TChunkzTXt : public TChunktEXt
{
public:
    KAPTO_CHUNK_CLASS
    explicit TChunkzTXt(TPNGObject& owner) : TChunktEXt(owner, Class()) {}

    // Text that cannot be inflated, or that would grow beyond kMaxInflatedTextSize, is left
    // empty without an error.
    bool ReadChunk(TStream& stream, const TChunkType& type, uint32_t size) override;
    // An empty text is written as one space. Raises EPNGZLIBError when compression fails.
    bool WriteChunk(TStream& stream) override;
};

// Largest text a zTXt chunk may inflate to. Real metadata stays far below it; the limit keeps
// a few kilobytes of crafted compressed text from claiming gigabytes.
constexpr size_t kMaxInflatedTextSize = size_t(16) << 20;

// Bits per pixel of the DIB that holds a colour type and bit depth pair, 0 for a pair without
// a picture layout. Samples of 16 bits keep their high byte in the DIB; 2-bit samples are held
// as 4-bit indices because a DIB has no 2-bit format.
uint16_t PictureBitCount(uint8_t colorType, uint8_t bitDepth);

// Appends a class to the registry that ChunkClassFor searches. The registry starts with the
// classes above, in the order IEND, IHDR, IDAT, PLTE, gAMA, tRNS, pHYs, tIME, tEXt, zTXt.
void RegisterChunkClass(const TChunkClass& chunkClass);

// A new chunk owned by image (not yet in its list) of the first registered class whose type
// name equals the type bytes exactly, or a generic TChunk; either way it keeps these type
// bytes.
std::unique_ptr<TChunk> ChunkClassFor(TPNGObject& image, const TChunkType& type);

} // namespace kapto
