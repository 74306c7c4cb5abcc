#include "jpeg/JPEGErrors.h"

#include "runtime/Language.h"

namespace kapto {

std::string FormatJPEGMessage(TJPEGMessage id, int code)
{
    switch (id) {
    case TJPEGMessage::LibraryError:
        return InLanguage("JPEG エラー #", "JPEG error #") + std::to_string(code);
    case TJPEGMessage::CannotResize:
        return InLanguage("JPEG イメージのサイズは変更できません",
                          "Cannot change the size of a JPEG image");
    case TJPEGMessage::PrematureEnd:
        return InLanguage("警告: JPEG ファイルが途中で終わっています",
                          "warning: Premature end of JPEG file");
    }
    return "";
}

} // namespace kapto
