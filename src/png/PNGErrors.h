#pragma once
// The PNG codec's exception classes and its message table. Every message has a fixed text and
// the numeric id the codec has always used for it.

#include "runtime/Exceptions.h"

#include <cstdint>
#include <string>

namespace kapto {

// Every exception of the codec derives directly from the system's exception base and carries
// only its message.
KAPTO_DECLARE_EXCEPTION(EPngError, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGOutMemory, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGCannotChangeTransparent, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGHeaderNotPresent, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGInvalidNewSize, Exception);
KAPTO_DECLARE_EXCEPTION(EPngInvalidIHDR, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGMissingMultipleIDAT, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGZLIBError, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGInvalidPalette, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGInvalidFileHeader, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGIHDRNotFirst, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGSizeExceeds, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGUnknownCriticalChunk, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGUnknownCompression, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGUnknownInterlace, Exception);
KAPTO_DECLARE_EXCEPTION(EPngUnexpectedEnd, Exception);
KAPTO_DECLARE_EXCEPTION(EPNGNoImageData, Exception);
KAPTO_DECLARE_EXCEPTION(EPngInvalidCRC, Exception);

// The codec's messages; each enumerator's value is the message's id.
enum class TPNGMessage : uint16_t
{
    OutOfResources = 65264,          // EPNGOutMemory
    CannotChangeTransparent = 65265, // EPNGCannotChangeTransparent
    HeaderNotPresent = 65266,        // EPNGHeaderNotPresent
    InvalidNewSize = 65267,          // EPNGInvalidNewSize
    InvalidIHDR = 65280,             // EPngInvalidIHDR
    MissingMultipleIDAT = 65281,     // EPNGMissingMultipleIDAT
    ZlibError = 65282,               // EPNGZLIBError, followed by a zlib code text
    InvalidPalette = 65283,          // EPNGInvalidPalette
    InvalidFileHeader = 65284,       // EPNGInvalidFileHeader
    IHDRNotFirst = 65285,            // EPNGIHDRNotFirst
    SizeExceeds = 65286,             // EPNGSizeExceeds
    NoSuchPaletteEntry = 65287,      // EPngError
    UnknownCriticalChunk = 65288,    // EPNGUnknownCriticalChunk
    UnknownCompression = 65289,      // EPNGUnknownCompression
    UnknownInterlace = 65290,        // EPNGUnknownInterlace
    ChunksNotCompatible = 65291,     // EPngError
    UnexpectedEnd = 65292,           // EPngUnexpectedEnd
    NoImageData = 65293,             // EPNGNoImageData
    CriticalChunkExists = 65294,     // EPngError
    InvalidImageForNewChunk = 65295, // EPngError
    // Writing failures. A failed deflate must never leave a silently broken file behind, and
    // an image the writer has no row format for must be refused before it is written.
    CompressionError = 65296,  // EPNGZLIBError, followed by a zlib code text
    UnsupportedFormat = 65297, // EPngError
    InvalidCRC = 65311,        // EPngInvalidCRC
};

// The fixed text of a message.
const char* PNGMessageText(TPNGMessage id);

// The text naming a zlib result code, as appended to the zlib messages ("data error (-3)");
// empty for a code without one.
const char* ZlibCodeText(int code);

// A zlib message followed by the text of the zlib result code.
std::string FormatZlibMessage(TPNGMessage id, int zlibCode);

// Raises the exception class E with the message's text.
template <typename E> [[noreturn]] void RaisePNG(TPNGMessage id)
{
    throw E(PNGMessageText(id));
}

} // namespace kapto
