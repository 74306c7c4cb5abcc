// Reading the block sequence of a GIF stream (GIF89a section 15 and appendix B) into frames,
// and the extension runs in front of each image descriptor.

#include "gif/GIFList.h"

#include "gif/GIFErrors.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "gif/GIFStream.h"
#include "gif/GIFSubImage.h"

namespace kapto {

namespace {

// The next byte that is not 0; false at the end of the stream. Encoders have been seen to pad
// between blocks with zero bytes.
bool ReadNonZeroByte(TStream& stream, uint8_t& value)
{
    while (ReadOptionalByte(stream, value)) {
        if (value != 0) {
            return true;
        }
    }
    return false;
}

} // namespace

template <typename T>
void TGIFList<T>::Warning(TPersistent& sender, int severity, const std::string& message)
{
    if (m_image != nullptr) {
        m_image->Warning(sender, severity, message);
    }
}

template class TGIFList<TGIFSubImage>;
template class TGIFList<TGIFExtension>;

TGIFImageList::~TGIFImageList() = default;

void TGIFImageList::LoadFromStream(TStream& stream, TGIFImage& image)
{
    uint8_t value = 0;
    if (!ReadNonZeroByte(stream, value)) {
        return;
    }
    while (value != kTrailer) {
        StepBack(stream);
        if (value != kExtensionIntroducer && value != kImageSeparator) {
            Warning(*this, kGIFWarningSeverity, GIFMessageText(TGIFMessage::UnknownBlockType));
            return;
        }
        auto subImage = std::make_unique<TGIFSubImage>(&image);
        subImage->LoadFromStream(stream);
        Add(std::move(subImage));
        image.ReportLoadProgress(stream);
        if (!ReadNonZeroByte(stream, value)) {
            return;
        }
    }
    StepBack(stream);
}

TGIFExtensionList::~TGIFExtensionList() = default;

void TGIFExtensionList::LoadFromStream(TStream& stream, TGIFSubImage& subImage)
{
    uint8_t value = 0;
    if (!ReadOptionalByte(stream, value)) {
        return;
    }
    while (value != kImageSeparator && value != kTrailer) {
        if (value != kExtensionIntroducer) {
            Warning(*this, kGIFWarningSeverity, GIFMessageText(TGIFMessage::InvalidIntroducer));
            break;
        }
        const TExtensionClass extensionClass = FindExtensionClass(stream);
        if (extensionClass == nullptr) {
            RaiseGIF(TGIFMessage::UnknownExtension);
        }
        StepBack(stream);
        std::unique_ptr<TGIFExtension> extension = extensionClass->Create(&subImage);
        extension->LoadFromStream(stream);
        Add(std::move(extension));
        if (!ReadOptionalByte(stream, value)) {
            return;
        }
    }
    StepBack(stream);
}

} // namespace kapto
