#pragma once
// Reading one listed source file into the run's bitmap, by its extension alone.

#include <string>
#include <vector>

namespace kapto {

class TBitmap;

// Reads the file with the decoder its extension names (.BMP, .PNG, .GIF, .JPG, .JPEG,
// compared after ASCII upper-casing) and leaves the bitmap at 24 bits per pixel. Any other
// extension raises EInvalidGraphic "拡張子 .%s の画像形式は処理できません" with the
// extension as written, a file that decodes to no picture (or an empty one)
// EInvalidGraphic "画像がありません". Open failures and malformed files raise the decoder's
// exceptions. A file that ends early still gives its picture (the missing rows zero, for JPEG
// the library's fill); what the decoders say about it is appended to warnings, if given.
void LoadSource(const std::string& fileName, TBitmap& bitmap,
                std::vector<std::string>* warnings = nullptr);

} // namespace kapto
