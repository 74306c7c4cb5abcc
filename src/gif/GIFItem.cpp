// The header with the logical screen descriptor (GIF89a sections 17 and 18), the trailer
// (section 27) and raw data sub-blocks (section 15).

#include "gif/GIFItem.h"

#include "gif/GIFErrors.h"
#include "gif/GIFImage.h"
#include "gif/GIFStream.h"

namespace kapto {

void TGIFItem::Warning(TPersistent& sender, int severity, const std::string& message)
{
    if (m_image != nullptr) {
        m_image->Warning(sender, severity, message);
    }
}

void TGIFItem::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, TFileMode::OpenRead);
    LoadFromStream(stream);
}

TGIFHeader::TGIFHeader(TGIFImage* image) : TGIFItem(image), m_colorMap(this)
{}

void TGIFHeader::Clear()
{
    m_descriptor = TGIFScreenDescriptor{};
    m_version.clear();
    m_colorMap.Clear();
}

void TGIFHeader::LoadFromStream(TStream& stream)
{
    const int64_t position = stream.Position();
    uint8_t signature[6];
    ReadCheck(stream, signature, sizeof signature);
    const auto isGIF = [&signature]() {
        return (signature[0] & 0xDF) == 'G' && (signature[1] & 0xDF) == 'I' &&
               (signature[2] & 0xDF) == 'F';
    };
    if (!isGIF()) {
        // Tolerated for files that carry a four-byte prefix in front of the signature.
        stream.SetPosition(position + 4);
        ReadCheck(stream, signature, sizeof signature);
        if (!isGIF()) {
            RaiseGIF(TGIFMessage::InvalidSignature);
        }
    }
    m_version.assign(reinterpret_cast<const char*>(signature + 3), 3);

    uint8_t bytes[7];
    ReadCheck(stream, bytes, sizeof bytes);
    m_descriptor =
        TGIFScreenDescriptor{uint16_t(bytes[0] | bytes[1] << 8), uint16_t(bytes[2] | bytes[3] << 8),
                             bytes[4], bytes[5], bytes[6]};
    if ((m_descriptor.PackedFields & 0x80) != 0) {
        const int count = 2 << (m_descriptor.PackedFields & 7);
        if (count < 2 || count > kMaxGIFColors) {
            RaiseGIF(TGIFMessage::ScreenColorCount);
        }
        m_colorMap.LoadFromStream(stream, count);
    } else {
        m_colorMap.Clear();
    }
}

void TGIFTrailer::LoadFromStream(TStream& stream)
{
    uint8_t value = 0;
    if (ReadOptionalByte(stream, value) && value != 0x3B) {
        Warning(*this, kGIFWarningSeverity, GIFMessageText(TGIFMessage::InvalidTrailer));
    }
}

void TGIFBlock::LoadFromStream(TStream& stream)
{
    ReadCheck(stream, m_data.data(), m_data.size());
}

} // namespace kapto
