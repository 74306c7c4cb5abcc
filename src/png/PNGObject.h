#pragma once
// TPNGObject: a PNG image held as its list of chunks, with the decoded picture kept by the
// header chunk in DIB layout and an optional separate alpha plane.

#include "graphics/Canvas.h"
#include "graphics/Graphic.h"
#include "platform/Color.h"
#include "png/Chunks.h"
#include "png/PNGList.h"
#include "png/PNGRows.h"

#include <array>
#include <cstdint>
#include <memory>

namespace kapto {

class TPNGObject;

// How an image is transparent.
enum class TTransparencyKind
{
    None,     // opaque
    KeyColor, // one colour is fully transparent
    Alpha,    // every pixel or palette entry has its own alpha
};

// How the image data is deflated.
enum class TDeflateProfile
{
    // zlib at DeflateLevel(): one stream, or primed segments on several threads.
    Standard,
    // libdeflate at its fast level in fixed segments on DeflateThreads() threads: the same
    // bytes for any thread count, a few times faster than Standard at about its size.
    Fast,
};

// A canvas drawing onto the picture of an image's header; it cannot draw while the image has
// no picture.
class TPNGCanvas : public TCanvas
{
public:
    explicit TPNGCanvas(TPNGObject& image) : m_image(image) {}

protected:
    TPlatformImage* RequireContext() override;

private:
    TPNGObject& m_image;
};

using TGammaTable = std::array<uint8_t, 256>;

class TPNGObject : public TGraphic
{
public:
    TPNGObject();
    ~TPNGObject() override;

    const char* ClassName() const override { return "TPNGObject"; }
    // A TPNGObject destination becomes a copy of this image. A TBitmap takes the picture's size
    // and the format it needs (24 bits with alpha; 1, 4 or 8 bits with the picture's palette
    // for indexed pictures), is drawn on, and takes the key colour as its transparent colour.
    // Anything else, or an image without a header, is refused.
    void CopyInto(TPersistent& destination) const override;
    // None empties the image; a TPNGObject is cloned; a TBitmap is copied with
    // AssignBitmapHandle; anything else is refused.
    void AssignFrom(const TPersistent* source) override;
    // Draws the picture scaled into rect: a plain copy, a copy that leaves the key colour out,
    // or blended with per-pixel alpha over what the canvas shows.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool IsEmpty() const override { return m_chunks.Count() == 0; }
    int32_t ReadHeight() const override;
    int32_t ReadWidth() const override;
    // The header's palette; raises EPNGHeaderNotPresent without a header.
    HPALETTE GetPalette() override;
    void SetPalette(HPALETTE palette) override;
    // Whether TransparencyKind is not None; raises EPNGHeaderNotPresent without a header.
    bool IsTransparent() const override;
    void ChangeHeight(int32_t value) override;
    void ChangeWidth(int32_t value) override;
    // Replaces the image by the PNG read from the stream. Raises the codec's exceptions for
    // malformed data; the chunks read so far then stay in the list.
    void LoadFromStream(TStream& stream) override;
    // Writes the PNG signature and every chunk in list order. Raises EWriteError on a short
    // write, EPNGZLIBError when compression fails, EPngError for a colour type and bit depth
    // pair or interlace method the writer has no format for.
    void SaveToStream(TStream& stream) override;

    // The header chunk (item 0); raises EPNGHeaderNotPresent when there is none.
    TChunkIHDR& Header() const;
    bool HasHeader() const;

    // Resets both gamma tables to identity and frees every chunk.
    void Clear();
    // Makes this image a copy of png: settings, gamma tables and every chunk with its picture.
    void CloneFrom(const TPNGObject& png);
    // Replaces the image by a zeroed picture with the chunks IHDR, PLTE (colour type 3 only),
    // IDAT and IEND. Raises as TChunkIHDR::AllocateImage does.
    void CreateImage(uint32_t width, uint32_t height, uint8_t colorType, uint8_t bitDepth);

    // Row y (0 = top) of the pixels, the low bytes and the alpha plane (none for colour types
    // without alpha); all raise EPNGHeaderNotPresent without a header.
    uint8_t* PixelRow(uint32_t y) const { return Header().PixelRow(y); }
    uint8_t* LowByteRow(uint32_t y) const { return Header().LowByteRow(y); }
    uint8_t* AlphaRow(uint32_t y) const;
    // Geometry of a full-width row; zero without a header.
    TRowGeometry RowGeometry() const;

    // Raises EPNGHeaderNotPresent without a header.
    TTransparencyKind TransparencyKind() const;
    // The key colour of the tRNS chunk, 0 without one.
    TColor TransparentKeyColor() const;
    // Raises EPNGInvalidNewSize below 1 pixel, EPNGHeaderNotPresent without a header.
    void ResizeImage(int32_t width, int32_t height);

    // Replaces the image by a copy of a bitmap's platform image: colour type 3 with PLTE below
    // 16 bits per pixel, else colour type 2 at 8 bits; with transparent set, the key colour
    // becomes a tRNS chunk. Chunks IHDR, PLTE, tRNS, IDAT, IEND in this order.
    void AssignBitmapHandle(const HBITMAP& handle, bool transparent, TColor key);
    // Colour type 0 becomes 4 and 2 becomes 6 with an opaque alpha plane; colour type 3 gets a
    // tRNS of opaque entries. Raises EPNGHeaderNotPresent without a header.
    void AddAlphaChannel();
    // Makes the colour the one fully transparent colour (tRNS) of colour types 0, 2 and 3;
    // nothing without a header. Raises EPNGCannotChangeTransparent for colour types 4 and 6.
    void SetTransparentKey(TColor color);
    // Removes the one transparent colour (the tRNS chunk) of a colour type 0 or 2 image, so
    // that an alpha channel added next stands alone, as the PNG standard requires.
    void RemoveTransparentKey();
    // Makes the key of an RGB picture mark exactly the given pixels: they take the tRNS key
    // colour when no other pixel has it, else the nearest colour above it that none has, which
    // becomes the key; when every colour is taken, the picture gets an alpha channel instead.
    // Nothing for other pictures or a set of another size.
    void MarkTransparentPixels(const TPixelMask& pixels);
    // The colour of pixel (x, y) through the gamma table; 0 outside the image.
    TColor GetPixel(int32_t x, int32_t y) const;
    // Sets the colour of pixel (x, y) (the nearest palette entry for indexed images), keeping
    // its alpha; nothing outside the image.
    void SetPixel(int32_t x, int32_t y, TColor color);

    TPNGList& Chunks() { return m_chunks; }
    const TPNGList& Chunks() const { return m_chunks; }
    TPNGCanvas& Canvas() { return *m_canvas; }

    // Maps file samples to picture samples when reading, and back when writing; both identity
    // until a gAMA chunk is read.
    TGammaTable& GammaLUT() { return m_gammaLUT; }
    const TGammaTable& GammaLUT() const { return m_gammaLUT; }
    TGammaTable& InverseGammaLUT() { return m_inverseGammaLUT; }
    const TGammaTable& InverseGammaLUT() const { return m_inverseGammaLUT; }

    // Filters the writer chooses from for each row; default {Sub}.
    TFilterSet FilterSet() const { return m_filterSet; }
    void SetFilterSet(TFilterSet filters) { m_filterSet = filters; }
    // zlib level 0..9 for image data and compressed text; default 7.
    uint8_t DeflateLevel() const { return m_deflateLevel; }
    void SetDeflateLevel(uint8_t level) { m_deflateLevel = level; }
    // Largest data size of one written IDAT chunk; values below 65535 are stored as 65535.
    int32_t IdatSplitSize() const { return m_idatSplitSize; }
    void SetIdatSplitSize(int32_t size) { m_idatSplitSize = size < 65535 ? 65535 : size; }
    // Threads that deflate the image data side by side; 1 (the default) writes one plain
    // zlib stream. More gives other compressed bytes for the same pixels.
    int DeflateThreads() const { return m_deflateThreads; }
    void SetDeflateThreads(int threads) { m_deflateThreads = threads < 1 ? 1 : threads; }
    // Default Standard. Compressed text stays with zlib at DeflateLevel() either way.
    TDeflateProfile DeflateProfile() const { return m_deflateProfile; }
    void SetDeflateProfile(TDeflateProfile profile) { m_deflateProfile = profile; }
    // Interlace method written: 0 none, 1 Adam7. Other values are refused when saving.
    uint8_t WriteInterlace() const { return m_writeInterlace; }
    void SetWriteInterlace(uint8_t method) { m_writeInterlace = method; }

private:
    static void ResetGammaTable(TGammaTable& table);

    TGammaTable m_inverseGammaLUT{};
    std::unique_ptr<TPNGCanvas> m_canvas;
    TFilterSet m_filterSet{TFilter::Sub};
    uint8_t m_deflateLevel = 7;
    int32_t m_idatSplitSize = 65535;
    uint8_t m_writeInterlace = 0;
    int m_deflateThreads = 1;
    TDeflateProfile m_deflateProfile = TDeflateProfile::Standard;
    TPNGList m_chunks;
    TGammaTable m_gammaLUT{};
};

} // namespace kapto
