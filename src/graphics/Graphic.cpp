#include "graphics/Graphic.h"

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/Stream.h"

namespace kapto {

void TPersistent::CopyInto(TPersistent& destination) const
{
    destination.AssignError(this);
}

void TPersistent::AssignFrom(const TPersistent* source)
{
    if (source == nullptr) {
        AssignError(nullptr);
    }
    source->CopyInto(*this);
}

void TPersistent::AssignError(const TPersistent* source) const
{
    const std::string sourceName = source != nullptr ? source->ClassName() : "nil";
    throw EConvertError(FormatMessage(TMessage::AssignError, {sourceName, ClassName()}));
}

void TGraphic::Changed()
{
    m_modified = true;
    if (OnChange) {
        OnChange(*this);
    }
}

bool TGraphic::SameImage(const TGraphic* other)
{
    if (other == nullptr) {
        return false;
    }
    if (IsEmpty() || other->IsEmpty()) {
        return IsEmpty() && other->IsEmpty();
    }
    if (std::string(ClassName()) != other->ClassName()) {
        return false;
    }
    TMemoryStream mine;
    TMemoryStream theirs;
    WriteEmbedded(mine);
    const_cast<TGraphic*>(other)->WriteEmbedded(theirs);
    return mine.Bytes() == theirs.Bytes();
}

HPALETTE TGraphic::GetPalette()
{
    return nullptr;
}

void TGraphic::ReadEmbedded(TStream& stream)
{
    LoadFromStream(stream);
}

void TGraphic::SetPalette(HPALETTE)
{}

void TGraphic::SetTransparentFlag(bool value)
{
    if (value != m_transparent) {
        m_transparent = value;
        Changed();
    }
}

void TGraphic::WriteEmbedded(TStream& stream)
{
    SaveToStream(stream);
}

void TGraphic::LoadFile(const std::string& fileName)
{
    TFileStream stream(fileName, TFileMode::OpenRead);
    LoadFromStream(stream);
}

void TGraphic::SaveFile(const std::string& fileName)
{
    TAtomicFileStream stream(fileName);
    SaveToStream(stream);
    stream.Commit();
}

void TGraphic::Progress(TProgressStage stage, uint8_t percentDone, bool redrawNow,
                        const TRect& rect, const std::string& message)
{
    if (OnProgress) {
        OnProgress(*this, stage, percentDone, redrawNow, rect, message);
    }
}

} // namespace kapto
