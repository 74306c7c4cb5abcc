#include "png/PNGErrors.h"

namespace kapto {

const char* PNGMessageText(TPNGMessage id)
{
    switch (id) {
    case TPNGMessage::OutOfResources:
        return "Some operation could not be performed because the system is out of resources. "
               "Close some windows and try again.";
    case TPNGMessage::CannotChangeTransparent:
        return "Setting bit transparency color is not allowed for png images containing alpha "
               "value for each pixel (COLOR_RGBALPHA and COLOR_GRAYSCALEALPHA)";
    case TPNGMessage::HeaderNotPresent:
        return "This operation is not valid because the current image contains no valid header.";
    case TPNGMessage::InvalidNewSize:
        return "The new size provided for image resizing is invalid.";
    case TPNGMessage::InvalidIHDR:
        return "The \"Portable Network Graphics\" image could not be loaded because one of its "
               "main piece of data (ihdr) might be corrupted";
    case TPNGMessage::MissingMultipleIDAT:
        return "This \"Portable Network Graphics\" image is invalid because it has missing image "
               "parts.";
    case TPNGMessage::ZlibError:
        return "Could not decompress the image because it contains invalid compressed data.\r\n"
               " Description: ";
    case TPNGMessage::InvalidPalette:
        return "The \"Portable Network Graphics\" image contains an invalid palette.";
    case TPNGMessage::InvalidFileHeader:
        return "The file being readed is not a valid \"Portable Network Graphics\" image because "
               "it contains an invalid header. This file may be corruped, try obtaining it again.";
    case TPNGMessage::IHDRNotFirst:
        return "This \"Portable Network Graphics\" image is not supported or it might be "
               "invalid.\r\n(IHDR chunk is not the first)";
    case TPNGMessage::SizeExceeds:
        return "This \"Portable Network Graphics\" image is not supported because either it's "
               "width or height exceeds the maximum size, which is 65535 pixels length.";
    case TPNGMessage::NoSuchPaletteEntry:
        return "There is no such palette entry.";
    case TPNGMessage::UnknownCriticalChunk:
        return "This \"Portable Network Graphics\" image contains an unknown critical part which "
               "could not be decoded.";
    case TPNGMessage::UnknownCompression:
        return "This \"Portable Network Graphics\" image is encoded with an unknown compression "
               "scheme which could not be decoded.";
    case TPNGMessage::UnknownInterlace:
        return "This \"Portable Network Graphics\" image uses an unknown interlace scheme which "
               "could not be decoded.";
    case TPNGMessage::ChunksNotCompatible:
        return "The chunks must be compatible to be assigned.";
    case TPNGMessage::UnexpectedEnd:
        return "This \"Portable Network Graphics\" image is invalid because the decoder found an "
               "unexpected end of the file.";
    case TPNGMessage::NoImageData:
        return "This \"Portable Network Graphics\" image contains no data.";
    case TPNGMessage::CriticalChunkExists:
        return "The program tried to add a existent critical chunk to the current image which is "
               "not allowed.";
    case TPNGMessage::InvalidImageForNewChunk:
        return "It's not allowed to add a new chunk because the current image is invalid.";
    case TPNGMessage::CompressionError:
        return "Could not compress the image data.\r\n Description: ";
    case TPNGMessage::UnsupportedFormat:
        return "This \"Portable Network Graphics\" image could not be saved because its color "
               "type, bit depth or interlace method cannot be written.";
    case TPNGMessage::InvalidCRC:
        return "This \"Portable Network Graphics\" image is not valid because it contains invalid "
               "pieces of data (crc error)";
    }
    return "";
}

const char* ZlibCodeText(int code)
{
    switch (code) {
    case -6:
        return "incompatible version (-6)";
    case -5:
        return "buffer error (-5)";
    case -4:
        return "insufficient memory (-4)";
    case -3:
        return "data error (-3)";
    case -2:
        return "stream error (-2)";
    case -1:
        return "file error (-1)";
    case 1:
        return "stream end (1)";
    case 2:
        return "need dictionary (2)";
    default:
        return "";
    }
}

std::string FormatZlibMessage(TPNGMessage id, int zlibCode)
{
    return std::string(PNGMessageText(id)) + ZlibCodeText(zlibCode);
}

} // namespace kapto
