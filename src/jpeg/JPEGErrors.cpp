#include "jpeg/JPEGErrors.h"

namespace kapto {

std::string FormatJPEGMessage(TJPEGMessage id, int code)
{
    switch (id) {
    case TJPEGMessage::LibraryError:
        return "JPEG エラー #" + std::to_string(code);
    case TJPEGMessage::CannotResize:
        return "JPEG イメージのサイズは変更できません";
    }
    return "";
}

} // namespace kapto
