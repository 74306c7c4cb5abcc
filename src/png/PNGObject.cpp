#include "png/PNGObject.h"

#include "graphics/Bitmap.h"
#include "png/PNGErrors.h"

#include <numeric>

namespace kapto {

TPlatformImage* TPNGCanvas::RequireContext()
{
    return m_image.HasHeader() ? m_image.Header().ImageHandle().get() : nullptr;
}

TPNGObject::TPNGObject() : m_canvas(std::make_unique<TPNGCanvas>(*this)), m_chunks(*this)
{
    ResetGammaTable(m_gammaLUT);
    ResetGammaTable(m_inverseGammaLUT);
}

TPNGObject::~TPNGObject() = default;

void TPNGObject::ResetGammaTable(TGammaTable& table)
{
    std::iota(table.begin(), table.end(), uint8_t(0));
}

void TPNGObject::AssignFrom(const TPersistent* source)
{
    if (source == nullptr) {
        Clear();
        return;
    }
    if (const auto* png = dynamic_cast<const TPNGObject*>(source)) {
        CloneFrom(*png);
        return;
    }
    if (const auto* constBitmap = dynamic_cast<const TBitmap*>(source)) {
        // Reading the bitmap's transparent colour may create its canvas; its pixels stay.
        auto& bitmap = const_cast<TBitmap&>(*constBitmap);
        const bool transparent = bitmap.Transparent();
        const TColor key = ResolveColor(bitmap.TransparencyColor());
        AssignBitmapHandle(bitmap.Handle(), transparent, key);
        return;
    }
    TGraphic::AssignFrom(source);
}

int32_t TPNGObject::ReadHeight() const
{
    return HasHeader() ? int32_t(Header().Height) : 0;
}

int32_t TPNGObject::ReadWidth() const
{
    return HasHeader() ? int32_t(Header().Width) : 0;
}

HPALETTE TPNGObject::GetPalette()
{
    return Header().PaletteHandle();
}

void TPNGObject::SetPalette(HPALETTE palette)
{
    Header().ApplyPalette(std::move(palette), true);
}

bool TPNGObject::IsTransparent() const
{
    return TransparencyKind() != TTransparencyKind::None;
}

void TPNGObject::ChangeHeight(int32_t value)
{
    ResizeImage(Width(), value);
}

void TPNGObject::ChangeWidth(int32_t value)
{
    ResizeImage(value, Height());
}

TChunkIHDR& TPNGObject::Header() const
{
    if (!HasHeader()) {
        RaisePNG<EPNGHeaderNotPresent>(TPNGMessage::HeaderNotPresent);
    }
    return static_cast<TChunkIHDR&>(*m_chunks.Item(0));
}

bool TPNGObject::HasHeader() const
{
    const TChunk* first = m_chunks.Item(0);
    return first != nullptr && &first->ChunkClass() == &TChunkIHDR::Class();
}

void TPNGObject::Clear()
{
    ResetGammaTable(m_gammaLUT);
    ResetGammaTable(m_inverseGammaLUT);
    m_chunks.Clear();
}

void TPNGObject::CloneFrom(const TPNGObject& png)
{
    if (&png == this) {
        return;
    }
    m_writeInterlace = png.m_writeInterlace;
    SetIdatSplitSize(png.m_idatSplitSize);
    m_deflateLevel = png.m_deflateLevel;
    m_filterSet = png.m_filterSet;
    m_deflateThreads = png.m_deflateThreads;
    m_deflateProfile = png.m_deflateProfile;
    Clear();
    // The picture holds samples already mapped through GammaLUT; the copy needs the same
    // tables to write them back as they were read.
    m_gammaLUT = png.m_gammaLUT;
    m_inverseGammaLUT = png.m_inverseGammaLUT;
    for (const auto& source : png.m_chunks) {
        std::unique_ptr<TChunk> chunk = source->ChunkClass().Create(*this);
        TChunk* added = m_chunks.Add(std::move(chunk));
        added->CopyChunk(*source);
    }
}

void TPNGObject::CreateImage(uint32_t width, uint32_t height, uint8_t colorType, uint8_t bitDepth)
{
    Clear();
    auto* header = m_chunks.Add(std::make_unique<TChunkIHDR>(*this));
    header->Width = width;
    header->Height = height;
    header->ColorType = colorType;
    header->BitDepth = bitDepth;
    try {
        header->AllocateImage();
    } catch (...) {
        Clear();
        throw;
    }
    if (colorType == COLOR_PALETTE) {
        m_chunks.Add(std::make_unique<TChunkPLTE>(*this));
    }
    m_chunks.Add(std::make_unique<TChunkIDAT>(*this));
    m_chunks.Add(std::make_unique<TChunkIEND>(*this));
}

uint8_t* TPNGObject::AlphaRow(uint32_t y) const
{
    return Header().AlphaRow(y);
}

TRowGeometry TPNGObject::RowGeometry() const
{
    if (!HasHeader()) {
        return TRowGeometry{};
    }
    const TChunkIHDR& header = Header();
    return PNGRowGeometry(header.ColorType, header.BitDepth, header.Width);
}

TTransparencyKind TPNGObject::TransparencyKind() const
{
    const TChunkIHDR& header = Header();
    const auto* transparency = m_chunks.FindChunk<TChunktRNS>();
    switch (header.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_RGB:
        return transparency != nullptr ? TTransparencyKind::KeyColor : TTransparencyKind::None;
    case COLOR_PALETTE:
        if (transparency == nullptr) {
            return TTransparencyKind::None;
        }
        return transparency->SingleKey ? TTransparencyKind::KeyColor : TTransparencyKind::Alpha;
    case COLOR_GRAYSCALEALPHA:
    case COLOR_RGBALPHA:
        return TTransparencyKind::Alpha;
    default:
        return TTransparencyKind::None;
    }
}

TColor TPNGObject::TransparentKeyColor() const
{
    const auto* transparency = m_chunks.FindChunk<TChunktRNS>();
    return transparency != nullptr ? transparency->KeyColor() : 0;
}

void TPNGObject::ResizeImage(int32_t width, int32_t height)
{
    if (width < 1 || height < 1) {
        RaisePNG<EPNGInvalidNewSize>(TPNGMessage::InvalidNewSize);
    }
    Header().ResizeImage(width, height);
}

} // namespace kapto
