#include "runtime/Messages.h"

#include "runtime/Exceptions.h"

#include <new>

namespace kapto {

const char* MessageText(TMessage id)
{
    switch (id) {
    case TMessage::ReadError:
        return "ストリームからの読み込みエラー";
    case TMessage::WriteError:
        return "ストリームへの書き込みエラー";
    case TMessage::FileOpenError:
        return "ファイル %s は開けません";
    case TMessage::FileCreateError:
        return "ファイル %s を作成できません";
    case TMessage::InvalidBitmap:
        return "ビットマップイメージが不正です";
    case TMessage::InvalidPixelFormat:
        return "画像フォーマットが不正です";
    case TMessage::ScanLineOutOfRange:
        return "スキャンライン のインデックスが範囲を越えました";
    case TMessage::OutOfResources:
        return "システム リソースが足りません";
    case TMessage::CannotDraw:
        return "Canvas に対する描画ができません";
    case TMessage::AssignError:
        return "%s を %s に代入することはできません";
    case TMessage::UnknownExtension:
        return "拡張子 .%s の画像形式は処理できません";
    case TMessage::Win32Error:
        return "Win32 エラー。コード : %d.\n%s";
    case TMessage::OutOfMemory:
        return "メモリが不足しています";
    }
    return "";
}

std::string FailureMessage(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::bad_alloc&) {
        return MessageText(TMessage::OutOfMemory);
    } catch (const std::exception& e) {
        return e.what();
    }
}

std::string FormatMessage(TMessage id, std::initializer_list<std::string> arguments)
{
    const std::string text = MessageText(id);
    std::string result;
    auto next = arguments.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        const bool isPlaceholder =
            text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'd');
        if (isPlaceholder && next != arguments.end()) {
            result += *next++;
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

} // namespace kapto
