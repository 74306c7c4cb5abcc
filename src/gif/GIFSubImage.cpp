// Reading one frame of a GIF stream: the extensions in front of it, the image descriptor, the
// local colour table and the LZW image data (GIF89a sections 20 to 22).

#include "gif/GIFSubImage.h"

#include "gif/GIFErrors.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "gif/GIFStream.h"
#include "gif/LZWDecoder.h"
#include "runtime/Checked.h"

#include <cstring>

namespace kapto {

TGIFSubImage::TGIFSubImage(TGIFImage* image)
    : TGIFItem(image), m_extensions(image), m_colorMap(this)
{}

TGIFSubImage::~TGIFSubImage()
{
    // The extensions go first: the graphic control extension clears its reference here.
    m_extensions.Clear();
}

void TGIFSubImage::ClearRendering()
{
    m_bitmap.reset();
    m_mask.reset();
    m_needMask = true;
    m_localPalette.reset();
}

void TGIFSubImage::Clear()
{
    m_extensions.Clear();
    m_graphicControl = nullptr;
    m_colorMap.Clear();
    m_data = TPixelBuffer();
    m_dataSize = 0;
    m_transparent = false;
    ClearRendering();
}

void TGIFSubImage::LoadFromStream(TStream& stream)
{
    Clear();
    m_extensions.LoadFromStream(stream, *this);

    uint8_t next = 0;
    if (!ReadOptionalByte(stream, next)) {
        return;
    }
    StepBack(stream);
    if (next == kTrailer || next == 0) {
        return;
    }
    // Whatever byte ended the extension run stands in the separator's place.
    uint8_t bytes[10];
    ReadCheck(stream, bytes, sizeof bytes);
    m_descriptor = TGIFImageDescriptor{bytes[0],
                                       uint16_t(bytes[1] | bytes[2] << 8),
                                       uint16_t(bytes[3] | bytes[4] << 8),
                                       uint16_t(bytes[5] | bytes[6] << 8),
                                       uint16_t(bytes[7] | bytes[8] << 8),
                                       bytes[9]};
    if (m_descriptor.Width == 0 || m_descriptor.Height == 0) {
        const TGIFScreenDescriptor& screen = Image()->Header().Descriptor();
        m_descriptor.Height = screen.ScreenHeight;
        m_descriptor.Width = screen.ScreenWidth;
        Warning(*this, kGIFWarningSeverity, GIFMessageText(TGIFMessage::ExceedsScreen));
    }
    if ((m_descriptor.PackedFields & 0x80) != 0) {
        const int count = 2 << (m_descriptor.PackedFields & 7);
        if (count < 2 || count > kMaxGIFColors) {
            RaiseGIF(TGIFMessage::ImageColorCount);
        }
        m_colorMap.LoadFromStream(stream, count);
    }
    ReadImageData(stream);
}

void TGIFSubImage::ReadImageData(TStream& stream)
{
    const uint32_t width = m_descriptor.Width;
    const uint32_t height = m_descriptor.Height;
    // Sixteen-bit sides allow frames of four gigapixels; the pixels and the DIB they become
    // must both fit the limits every image in the system is held to.
    uint64_t dibBytes = 0;
    if (!ImageBufferSize(width, height, 8, dibBytes)) {
        RaiseGIF(TGIFMessage::ImageTooLarge);
    }
    m_data = TPixelBuffer();
    m_dataSize = uint64_t(width) * height;
    if (m_dataSize != 0) {
        if (!m_data.Allocate(size_t(m_dataSize))) {
            m_dataSize = 0;
            RaiseGIF(TGIFMessage::ImageTooLarge);
        }
        const bool fillTransparent = m_transparent && m_graphicControl != nullptr;
        const uint8_t fill = fillTransparent ? m_graphicControl->TransparentColorIndex() : 0;
        if (fill != 0) {
            std::memset(m_data.Data(), fill, size_t(m_dataSize));
        }
    }
    TLZWDecoder decoder(stream, [this](TGIFMessage message) {
        Warning(*this, kGIFWarningSeverity, GIFMessageText(message));
    });
    decoder.ReadImageData(m_data.Data(), width, height, Interlaced());
}

} // namespace kapto
