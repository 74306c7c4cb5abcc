// The GIF decoder's message texts and the raising of GIFException.

#include "gif/GIFErrors.h"

namespace kapto {

const char* GIFMessageText(TGIFMessage id)
{
    switch (id) {
    case TGIFMessage::PrematureEnd:
        return "Premature end of data";
    case TGIFMessage::InvalidSignature:
        return "Invalid GIF signature";
    case TGIFMessage::ScreenColorCount:
        return "Invalid number of colors specified in Screen Descriptor";
    case TGIFMessage::ImageColorCount:
        return "Invalid number of colors specified in Image Descriptor";
    case TGIFMessage::UnknownExtension:
        return "Unknown extension type";
    case TGIFMessage::InvalidIntroducer:
        return "Invalid extension introducer";
    case TGIFMessage::LabelMismatch:
        return "Internal error: Extension Instance does not match Extension Label";
    case TGIFMessage::ApplicationBlockSize:
        return "Unsupported Application Extension block size";
    case TGIFMessage::InvalidData:
        return "Invalid GIF data";
    case TGIFMessage::CircularTableEntry:
        return "Circular decoder table entry";
    case TGIFMessage::UnknownBlockType:
        return "Unknown GIF block type";
    case TGIFMessage::ExceedsScreen:
        return "Image exceeds Logical Screen size";
    case TGIFMessage::InvalidTrailer:
        return "Invalid Image trailer";
    case TGIFMessage::BitBufferUnderrun:
        return "Decoder bit buffer under-run";
    case TGIFMessage::NoColorTable:
        return "No global or local color table defined";
    case TGIFMessage::UnsupportedPixelFormat:
        return "Unsupported PixelFormat";
    case TGIFMessage::InvalidDimensions:
        return "Invalid image dimensions";
    case TGIFMessage::DIBAllocation:
        return "Failed to allocate memory for GIF DIB";
    case TGIFMessage::NoDIB:
        return "Image has no DIB";
    case TGIFMessage::CodeSizeTooLarge:
        return "Invalid LZW code size";
    case TGIFMessage::ImageTooLarge:
        return "Image is too large to be loaded";
    case TGIFMessage::SaveNotSupported:
        return "Saving GIF images is not supported";
    case TGIFMessage::Loading:
        return "Loading...";
    case TGIFMessage::Rendering:
        return "Rendering...";
    }
    return "";
}

void RaiseGIF(TGIFMessage id)
{
    throw GIFException(GIFMessageText(id));
}

} // namespace kapto
