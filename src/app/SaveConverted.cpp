#include "app/SaveConverted.h"

#include "app/FileNames.h"
#include "graphics/Bitmap.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

namespace kapto {

void SaveConverted(const TConversionOptions& /*options*/, const std::string& fileName,
                   TBitmap& bitmap)
{
    if (UpperCaseAscii(ExtractExtension(fileName)) == ".BMP") {
        bitmap.SaveFile(fileName);
        return;
    }
    throw EInvalidGraphic(FormatMessage(TMessage::UnknownExtension, {"png"}));
}

} // namespace kapto
