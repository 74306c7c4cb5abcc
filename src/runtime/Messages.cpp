#include "runtime/Messages.h"

#include "runtime/Exceptions.h"
#include "runtime/Language.h"

#include <cstring>
#include <new>

namespace kapto {

const char* MessageText(TMessage id)
{
    switch (id) {
    case TMessage::ReadError:
        return InLanguage("ストリームからの読み込みエラー", "Stream read error");
    case TMessage::WriteError:
        return InLanguage("ストリームへの書き込みエラー", "Stream write error");
    case TMessage::FileOpenError:
        return InLanguage("ファイル %s は開けません", "Cannot open file %s");
    case TMessage::FileCreateError:
        return InLanguage("ファイル %s を作成できません", "Cannot create file %s");
    case TMessage::InvalidBitmap:
        return InLanguage("ビットマップイメージが不正です", "Bitmap image is not valid");
    case TMessage::InvalidPixelFormat:
        return InLanguage("画像フォーマットが不正です", "Invalid pixel format");
    case TMessage::ScanLineOutOfRange:
        return InLanguage("スキャンライン のインデックスが範囲を越えました",
                          "Scan line index out of range");
    case TMessage::OutOfResources:
        return InLanguage("システム リソースが足りません", "Out of system resources");
    case TMessage::CannotDraw:
        return InLanguage("Canvas に対する描画ができません", "Canvas does not allow drawing");
    case TMessage::AssignError:
        return InLanguage("%s を %s に代入することはできません", "Cannot assign a %s to a %s");
    case TMessage::UnknownExtension:
        return InLanguage("拡張子 .%s の画像形式は処理できません",
                          "Unknown picture file extension (.%s)");
    case TMessage::Win32Error:
        return InLanguage("Win32 エラー。コード : %d.\n%s", "System error. Code: %d.\n%s");
    case TMessage::OutOfMemory:
        return InLanguage("メモリが不足しています", "Out of memory");
    case TMessage::OptimizeKeptPlain:
        return InLanguage("--optimize は最適化をやめ、通常の PNG を書きました",
                          "--optimize kept the plain encoding");
    case TMessage::LinkInOutputFolder:
        return InLanguage("%s はリンクです。出力先の中ではリンクをたどりません",
                          "%s is a link; outputs are never written through a link");
    case TMessage::ThreadsLimited:
        return InLanguage("これ以上スレッドを開始できません。%d 個のスレッドで続けます",
                          "Cannot start more threads; carrying on with %d");
    case TMessage::NoPicture:
        return InLanguage("画像がありません", "The file holds no picture");
    case TMessage::PictureTooLarge:
        return InLanguage("%d × %d の画像には %d MiB が必要です (上限 %d MiB、--max-memory)",
                          "A %d × %d picture needs %d MiB (the limit is %d MiB, see --max-memory)");
    case TMessage::SourceEndsEarly:
        return InLanguage("警告: ファイルが途中で終わっています。%d 行が欠けています (全 %d 行)",
                          "warning: the file ends early; %d of %d rows are missing");
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

TFailure DescribeFailure(const std::exception_ptr& failure)
{
    TFailure described{FailureMessage(failure), ""};
    try {
        std::rethrow_exception(failure);
    } catch (const Exception& e) {
        if (e.SystemError() != 0) {
            described.Reason = SystemReason(e.SystemError());
        }
    } catch (...) {
        // No system call behind it.
    }
    return described;
}

std::string SystemReason(int error)
{
    char buffer[256] = {};
    // The GNU strerror_r, which may return a static text instead of filling the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
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
