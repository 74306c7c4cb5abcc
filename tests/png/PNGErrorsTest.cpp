// The codec's message texts, byte for byte, with their ids and exception classes.
#include "png/PNGErrors.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace kapto;

namespace {

template <typename E> std::function<std::string()> Raiser(TPNGMessage id)
{
    return [id] { return Outcome([id] { RaisePNG<E>(id); }); };
}

} // namespace

TEST(PNGErrors, EveryMessageTextAndClass)
{
    struct TCase
    {
        int id;
        std::function<std::string()> raise;
        const char* expected;
    };
    const TCase cases[] = {
        {65291, Raiser<EPngError>(TPNGMessage::ChunksNotCompatible),
         "EPngError: The chunks must be compatible to be assigned."},
        {65287, Raiser<EPngError>(TPNGMessage::NoSuchPaletteEntry),
         "EPngError: There is no such palette entry."},
        {65294, Raiser<EPngError>(TPNGMessage::CriticalChunkExists),
         "EPngError: The program tried to add a existent critical chunk to the current image "
         "which is not allowed."},
        {65295, Raiser<EPngError>(TPNGMessage::InvalidImageForNewChunk),
         "EPngError: It's not allowed to add a new chunk because the current image is invalid."},
        {65266, Raiser<EPNGHeaderNotPresent>(TPNGMessage::HeaderNotPresent),
         "EPNGHeaderNotPresent: This operation is not valid because the current image contains "
         "no valid header."},
        {65267, Raiser<EPNGInvalidNewSize>(TPNGMessage::InvalidNewSize),
         "EPNGInvalidNewSize: The new size provided for image resizing is invalid."},
        {65265, Raiser<EPNGCannotChangeTransparent>(TPNGMessage::CannotChangeTransparent),
         "EPNGCannotChangeTransparent: Setting bit transparency color is not allowed for png "
         "images containing alpha value for each pixel (COLOR_RGBALPHA and "
         "COLOR_GRAYSCALEALPHA)"},
        {65264, Raiser<EPNGOutMemory>(TPNGMessage::OutOfResources),
         "EPNGOutMemory: Some operation could not be performed because the system is out of "
         "resources. Close some windows and try again."},
        {65280, Raiser<EPngInvalidIHDR>(TPNGMessage::InvalidIHDR),
         "EPngInvalidIHDR: The \"Portable Network Graphics\" image could not be loaded because "
         "one of its main piece of data (ihdr) might be corrupted"},
        {65281, Raiser<EPNGMissingMultipleIDAT>(TPNGMessage::MissingMultipleIDAT),
         "EPNGMissingMultipleIDAT: This \"Portable Network Graphics\" image is invalid because "
         "it has missing image parts."},
        {65282, Raiser<EPNGZLIBError>(TPNGMessage::ZlibError),
         "EPNGZLIBError: Could not decompress the image because it contains invalid compressed "
         "data.\r\n Description: "},
        {65283, Raiser<EPNGInvalidPalette>(TPNGMessage::InvalidPalette),
         "EPNGInvalidPalette: The \"Portable Network Graphics\" image contains an invalid "
         "palette."},
        {65284, Raiser<EPNGInvalidFileHeader>(TPNGMessage::InvalidFileHeader),
         "EPNGInvalidFileHeader: The file being readed is not a valid \"Portable Network "
         "Graphics\" image because it contains an invalid header. This file may be corruped, "
         "try obtaining it again."},
        {65285, Raiser<EPNGIHDRNotFirst>(TPNGMessage::IHDRNotFirst),
         "EPNGIHDRNotFirst: This \"Portable Network Graphics\" image is not supported or it "
         "might be invalid.\r\n(IHDR chunk is not the first)"},
        {65286, Raiser<EPNGSizeExceeds>(TPNGMessage::SizeExceeds),
         "EPNGSizeExceeds: This \"Portable Network Graphics\" image is not supported because "
         "either it's width or height exceeds the maximum size, which is 65535 pixels length."},
        {65288, Raiser<EPNGUnknownCriticalChunk>(TPNGMessage::UnknownCriticalChunk),
         "EPNGUnknownCriticalChunk: This \"Portable Network Graphics\" image contains an "
         "unknown critical part which could not be decoded."},
        {65289, Raiser<EPNGUnknownCompression>(TPNGMessage::UnknownCompression),
         "EPNGUnknownCompression: This \"Portable Network Graphics\" image is encoded with an "
         "unknown compression scheme which could not be decoded."},
        {65290, Raiser<EPNGUnknownInterlace>(TPNGMessage::UnknownInterlace),
         "EPNGUnknownInterlace: This \"Portable Network Graphics\" image uses an unknown "
         "interlace scheme which could not be decoded."},
        {65292, Raiser<EPngUnexpectedEnd>(TPNGMessage::UnexpectedEnd),
         "EPngUnexpectedEnd: This \"Portable Network Graphics\" image is invalid because the "
         "decoder found an unexpected end of the file."},
        {65293, Raiser<EPNGNoImageData>(TPNGMessage::NoImageData),
         "EPNGNoImageData: This \"Portable Network Graphics\" image contains no data."},
        {65311, Raiser<EPngInvalidCRC>(TPNGMessage::InvalidCRC),
         "EPngInvalidCRC: This \"Portable Network Graphics\" image is not valid because it "
         "contains invalid pieces of data (crc error)"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(c.raise(), c.expected);
    }
    EXPECT_EQ(int(TPNGMessage::ChunksNotCompatible), 65291);
    EXPECT_EQ(int(TPNGMessage::InvalidCRC), 65311);
    EXPECT_EQ(int(TPNGMessage::OutOfResources), 65264);
}

TEST(PNGErrors, ZlibCodesAreNamedAfterTheMessage)
{
    const std::string prefix =
        "Could not decompress the image because it contains invalid compressed data.\r\n"
        " Description: ";
    struct TCase
    {
        int code;
        const char* text;
    };
    const TCase cases[] = {
        {-6, "incompatible version (-6)"},
        {-5, "buffer error (-5)"},
        {-4, "insufficient memory (-4)"},
        {-3, "data error (-3)"},
        {-2, "stream error (-2)"},
        {-1, "file error (-1)"},
        {1, "stream end (1)"},
        {2, "need dictionary (2)"},
        {0, ""},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(FormatZlibMessage(TPNGMessage::ZlibError, c.code), prefix + c.text);
    }
}
