#pragma once
// The message table of the runtime and the raster bitmap: every fixed text, with its
// placeholders, and the one formatter that fills them.

#include <initializer_list>
#include <string>

namespace kapto {

enum class TMessage
{
    ReadError,          // short read from a stream
    WriteError,         // short write to a stream
    FileOpenError,      // %s: file name
    FileCreateError,    // %s: file name
    InvalidBitmap,      // malformed bitmap or BMP file
    InvalidPixelFormat, // fmtCustom requested
    ScanLineOutOfRange, // row index outside the image
    OutOfResources,     // the platform refused an image, a context or a palette
    CannotDraw,         // a canvas could not get a drawing context
    AssignError,        // %s: source class, %s: destination class
    UnknownExtension,   // %s: the extension as written
    Win32Error,         // %d: code, %s: text
    OutOfMemory,        // an allocation failed
    OptimizeKeptPlain,  // the optimised PNG did not read back exactly; the plain one was written
    LinkInOutputFolder, // %s: a link standing where an output folder is to be entered
    ThreadsLimited,     // %d: the threads that carry on, the calling one included
    NoPicture,          // a source decoded to no picture, or one of width or height 0
    PictureTooLarge,    // %d × %d: size, %d: MiB it needs, %d: MiB the budget allows
    SourceEndsEarly,    // %d: rows missing, %d: rows of the picture
};

// The text of a message with its placeholders ("%s", "%d") still in it.
const char* MessageText(TMessage id);

// Fills the placeholders of a message in order; "%s" and "%d" both take the next argument.
std::string FormatMessage(TMessage id, std::initializer_list<std::string> arguments = {});

} // namespace kapto
