#pragma once
// The exception and message texts of JPEG reading.

#include "runtime/Exceptions.h"

#include <string>

namespace kapto {

// A fatal error of the JPEG library, with the library's message code.
KAPTO_DECLARE_EXCEPTION(EJPEG, EInvalidGraphic);

enum class TJPEGMessage
{
    LibraryError, // %d: the library's message code
    CannotResize, // width or height set
    PrematureEnd, // the file ended before the picture; decoded with the library's fill
};

std::string FormatJPEGMessage(TJPEGMessage id, int code = 0);

} // namespace kapto
