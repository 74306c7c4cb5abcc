#pragma once
// The GIF decoder's exception class, its message table and the warning severity it reports.

#include "runtime/Exceptions.h"

#include <string>

namespace kapto {

// The one exception class of the GIF subsystem.
KAPTO_DECLARE_EXCEPTION(GIFException, EInvalidGraphic);

// Severity of every warning the reader reports; loading goes on after a warning.
constexpr int kGIFWarningSeverity = 1;

enum class TGIFMessage
{
    PrematureEnd,           // a fixed-size read got fewer bytes than it needs
    InvalidSignature,       // neither at the start nor 4 bytes further does "GIF" stand
    ScreenColorCount,       // global colour table size outside 2 to 256
    ImageColorCount,        // local colour table size outside 2 to 256
    UnknownExtension,       // no extension class for the label
    InvalidIntroducer,      // an extension does not start with "!"
    LabelMismatch,          // the label read differs from the extension class's label
    ApplicationBlockSize,   // application block size below 10
    InvalidData,            // a loop sub-block too short for its field
    CircularTableEntry,     // an LZW table entry leads back to itself
    UnknownBlockType,       // warning: a block starts with another byte than "!", "," or ";"
    ExceedsScreen,          // warning: image descriptor with width or height 0
    InvalidTrailer,         // warning: the byte after the last block is not ";"
    BitBufferUnderrun,      // warning: image data ends early
    NoColorTable,           // neither the frame nor the image has a colour table
    UnsupportedPixelFormat, // a DIB writer for another depth than 8 or 24 bits
    InvalidDimensions,      // a DIB writer for a zero size
    DIBAllocation,          // the DIB's pixel buffer could not be allocated
    NoDIB,                  // a row asked for while no pixel buffer exists
    CodeSizeTooLarge,       // LZW minimum code size above 11
    ImageTooLarge,          // a frame whose pixels exceed the image limits
    SaveNotSupported,       // writing GIF files is not part of this system
    Loading,                // progress text while a file is read
    Rendering,              // progress text while a frame becomes a bitmap
};

// The fixed text of a message.
const char* GIFMessageText(TGIFMessage id);

// Raises GIFException with the message's text.
[[noreturn]] void RaiseGIF(TGIFMessage id);

} // namespace kapto
