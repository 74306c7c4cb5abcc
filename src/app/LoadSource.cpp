#include "app/LoadSource.h"

#include "app/FileNames.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "jpeg/JPEGImage.h"
#include "png/PNGObject.h"
#include "runtime/AsciiCase.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/SourceWarnings.h"

namespace kapto {

void LoadSource(const std::string& fileName, TBitmap& bitmap, std::vector<std::string>* warnings)
{
    const TSourceWarningScope scope;
    const std::string extension = ExtractExtension(fileName);
    const std::string upper = UpperCaseAscii(extension);
    if (upper == ".BMP") {
        bitmap.LoadFile(fileName);
    } else if (upper == ".GIF") {
        // The GIF object goes before the conversion to 24 bits, so the bitmap no longer
        // shares its pixels and converts them in place.
        TGIFImage gif;
        gif.LoadFile(fileName);
        bitmap.AssignFrom(&gif);
    } else if (upper == ".JPG" || upper == ".JPEG") {
        TJPEGImage jpeg;
        jpeg.LoadFile(fileName);
        bitmap.AssignFrom(&jpeg);
    } else if (upper == ".PNG") {
        TPNGObject png;
        png.LoadFile(fileName);
        bitmap.AssignFrom(&png);
    } else {
        // No decoder for this extension: never write some other picture under its name.
        const std::string asWritten = extension.empty() ? "" : extension.substr(1);
        throw EInvalidGraphic(FormatMessage(TMessage::UnknownExtension, {asWritten}));
    }
    // A GIF without a frame, or with a screen of width or height 0, decodes to nothing; an
    // empty output would replace a good file with it.
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0) {
        throw EInvalidGraphic(FormatMessage(TMessage::NoPicture));
    }
    bitmap.SetPixelFormat(fmt24Bit);
    if (warnings != nullptr) {
        warnings->insert(warnings->end(), scope.Warnings().begin(), scope.Warnings().end());
    }
}

} // namespace kapto
