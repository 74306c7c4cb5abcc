// Reading a whole GIF stream (GIF87a and GIF89a): header, frames up to the trailer, with
// progress and warnings reported to the image's handlers.

#include "gif/GIFImage.h"

#include "gif/GIFStream.h"
#include "gif/GIFSubImage.h"

#include <algorithm>

namespace kapto {

TGIFImage::TGIFImage() : m_header(std::make_unique<TGIFHeader>(this)), m_images(this)
{}

TGIFImage::~TGIFImage()
{
    // Frames hold renderings that may share images with the image's own bitmap.
    ClearRenderings();
    m_images.Clear();
}

void TGIFImage::ClearRenderings()
{
    m_bitmap.reset();
    m_globalPalette.reset();
}

void TGIFImage::Clear()
{
    ClearRenderings();
    m_images.Clear();
    m_header->Clear();
}

bool TGIFImage::IsEmpty() const
{
    return m_images.Count() == 0;
}

int32_t TGIFImage::ReadWidth() const
{
    return m_header->Descriptor().ScreenWidth;
}

int32_t TGIFImage::ReadHeight() const
{
    return m_header->Descriptor().ScreenHeight;
}

void TGIFImage::ChangeWidth(int32_t)
{}

void TGIFImage::ChangeHeight(int32_t)
{}

void TGIFImage::SaveToStream(TStream&)
{
    RaiseGIF(TGIFMessage::SaveNotSupported);
}

void TGIFImage::Warning(TPersistent& sender, int severity, const std::string& message)
{
    if (OnWarning) {
        OnWarning(sender, severity, message);
    }
}

void TGIFImage::ReportProgress(TProgressStage stage, uint8_t percent, TGIFMessage message)
{
    Progress(stage, percent, false, TRect{}, GIFMessageText(message));
}

void TGIFImage::ReportLoadProgress(TStream& stream)
{
    const int64_t size = stream.Size();
    const int64_t position = stream.Position();
    const uint8_t percent = size > 0 ? uint8_t(std::min<int64_t>(position * 100 / size, 100)) : 0;
    ReportProgress(TProgressStage::Running, percent, TGIFMessage::Loading);
}

void TGIFImage::LoadFromStream(TStream& stream)
{
    ReportProgress(TProgressStage::Starting, 0, TGIFMessage::Loading);
    Clear();
    const int64_t position = stream.Position();
    try {
        m_header->LoadFromStream(stream);
        m_images.LoadFromStream(stream, *this);
        TGIFTrailer trailer(this);
        trailer.LoadFromStream(stream);
    } catch (...) {
        stream.SetPosition(position);
        ReportProgress(TProgressStage::Ending, 0, TGIFMessage::Loading);
        throw;
    }
    ReportProgress(TProgressStage::Ending, 100, TGIFMessage::Loading);
}

} // namespace kapto
