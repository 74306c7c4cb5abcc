#pragma once
// One frame of a GIF image: the extensions in front of it, its image descriptor and local
// colour table (GIF89a sections 20 and 21), its decoded colour indices and, on demand, the
// frame rendered into a bitmap with its transparency mask.

#include "gif/GIFColorMap.h"
#include "gif/GIFItem.h"
#include "gif/GIFList.h"
#include "graphics/Bitmap.h"
#include "platform/DIB.h"

#include <cstdint>
#include <memory>

namespace kapto {

class TCanvas;
class TGIFGraphicControlExtension;

// The image descriptor as its 10 bytes were read.
struct TGIFImageDescriptor
{
    uint8_t Separator = 0x2C;
    uint16_t Left = 0;
    uint16_t Top = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint8_t PackedFields = 0;
};

// Frames of more pixels than this get a 1-bit pixel format before their DIB is loaded.
constexpr uint64_t kLargeFramePixels = 500000;

class TGIFSubImage : public TGIFItem
{
public:
    explicit TGIFSubImage(TGIFImage* image);
    ~TGIFSubImage() override;

    const char* ClassName() const override { return "TGIFSubImage"; }
    // Reads the extensions in front of an image descriptor, then the descriptor, the local
    // colour table and the image data. A run of extensions not followed by an image
    // descriptor gives a frame without an image. Raises GIFException on fatal problems,
    // among them "Image is too large to be loaded" for a frame beyond the image limits.
    void LoadFromStream(TStream& stream) override;
    // Releases extensions, local colour table, pixels and cached renderings.
    void Clear();
    // True when the frame has no pixels.
    bool Empty() const { return m_descriptor.Width == 0 || m_descriptor.Height == 0; }

    const TGIFImageDescriptor& Descriptor() const { return m_descriptor; }
    int32_t Left() const { return m_descriptor.Left; }
    int32_t Top() const { return m_descriptor.Top; }
    int32_t Width() const { return m_descriptor.Width; }
    int32_t Height() const { return m_descriptor.Height; }
    bool Interlaced() const { return (m_descriptor.PackedFields & 0x40) != 0; }

    TGIFExtensionList& Extensions() { return m_extensions; }
    TGIFLocalColorMap& ColorMap() { return m_colorMap; }
    const TGIFLocalColorMap& ColorMap() const { return m_colorMap; }

    // The colour indices, Width x Height bytes, rows top to bottom; none when DataSize is 0.
    const uint8_t* Data() const { return m_data.Data(); }
    uint64_t DataSize() const { return m_dataSize; }

    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool value) { m_transparent = value; }
    // The first graphic control extension of the frame, owned by Extensions; none without.
    TGIFGraphicControlExtension* GraphicControlExtension() const { return m_graphicControl; }
    void SetGraphicControlExtension(TGIFGraphicControlExtension* extension)
    {
        m_graphicControl = extension;
    }

    // The frame rendered as an 8-bit palette bitmap of its indices, made once and owned by
    // the frame; none for an empty frame. Raises "No global or local color table defined"
    // when neither the frame nor the image has colours.
    TBitmap* Bitmap();
    // The monochrome transparency mask (1 bits mark transparent pixels), made with the
    // bitmap of a transparent frame that has transparent pixels; none otherwise.
    const HBITMAP& Mask() const { return m_mask; }
    bool NeedMask() const { return m_needMask; }
    // The palette to render the frame with; owned by the frame or the image.
    HPALETTE GetPalette();
    // Draws the frame where it belongs when rect stands for the whole logical screen. With
    // transparent, pixels under the mask leave the canvas unchanged. Tiling is not supported
    // and draws untiled.
    void Draw(TCanvas& canvas, const TRect& rect, bool transparent, bool tile);

private:
    void ReadImageData(TStream& stream);
    std::unique_ptr<TBitmap> RenderFrame();
    void ClearRendering();
    // The frame's rectangle inside rect, which stands for the logical screen.
    TRect FrameRect(const TRect& rect) const;
    void DrawMasked(TPlatformImage& target, const TRect& frameRect);

    TGIFImageDescriptor m_descriptor;
    TGIFExtensionList m_extensions;
    TGIFLocalColorMap m_colorMap;
    TPixelBuffer m_data;
    uint64_t m_dataSize = 0;
    bool m_transparent = false;
    TGIFGraphicControlExtension* m_graphicControl = nullptr;

    std::unique_ptr<TBitmap> m_bitmap;
    HBITMAP m_mask;
    bool m_needMask = true;
    HPALETTE m_localPalette;
};

} // namespace kapto
