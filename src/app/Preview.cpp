#include "app/Preview.h"

#include "app/KeyTolerance.h"
#include "app/LoadSource.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "png/PNGObject.h"
#include "png/PNGRows.h"
#include "runtime/Exceptions.h"
#include "runtime/Language.h"
#include "runtime/Stream.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace kapto {

namespace {

// The pixels of the PNG as read back, with the alpha its colour type or key gives them.
void ReadBack(TPNGObject& png, TPreviewResult& result)
{
    const TChunkIHDR& header = png.Header();
    result.Width = int32_t(header.Width);
    result.Height = int32_t(header.Height);
    result.Rgba.resize(size_t(header.Width) * header.Height * 4);
    const bool keyed = png.TransparencyKind() == TTransparencyKind::KeyColor;
    const TColor key = keyed ? png.TransparentKeyColor() : clInvalid;
    for (uint32_t y = 0; y < header.Height; ++y) {
        const uint8_t* alpha = header.ColorType == COLOR_RGBALPHA ? png.AlphaRow(y) : nullptr;
        uint8_t* out = &result.Rgba[size_t(y) * header.Width * 4];
        for (uint32_t x = 0; x < header.Width; ++x) {
            const TColor color = png.GetPixel(int32_t(x), int32_t(y));
            out[4 * x] = RedOf(color);
            out[4 * x + 1] = GreenOf(color);
            out[4 * x + 2] = BlueOf(color);
            out[4 * x + 3] = alpha != nullptr ? alpha[x] : (keyed && color == key ? 0 : 255);
        }
    }
}

std::string Percent(uint64_t part, uint64_t whole)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%",
                  whole == 0 ? 0.0 : 100.0 * double(part) / double(whole));
    return text;
}

const char* CornerName(TKeySource source)
{
    switch (source) {
    case TKeySource::TopLeft:
        return InLanguage("左上", "top left");
    case TKeySource::BottomLeft:
        return InLanguage("左下", "bottom left");
    case TKeySource::TopRight:
        return InLanguage("右上", "top right");
    case TKeySource::BottomRight:
        return InLanguage("右下", "bottom right");
    case TKeySource::Swatch:
        return InLanguage("色", "colour");
    case TKeySource::None:
        break;
    }
    return "";
}

// 1234567 as "1,234,567".
std::string GroupedThousands(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

} // namespace

TPreviewResult RenderPreview(const std::string& source, const TConversionOptions& options)
{
    TPreviewResult result;
    try {
        TBitmap bitmap;
        LoadSource(source, bitmap);
        if (options.KeyTransparent && options.KeySource != TKeySource::None) {
            result.Keyed = true;
            result.KeySource = options.KeySource;
            result.Key = ChosenKeyColor(options, bitmap);
            // Pixels within the tolerance count as the key colour.
            const TKeyTolerance keying(result.Key, KeyThreshold(options.KeyTolerance));
            std::vector<uint8_t> flags(size_t(bitmap.Width()));
            for (int32_t y = 0; y < bitmap.Height(); ++y) {
                keying.MarkKeyPixels(bitmap.RowAddress(y), flags.size(), flags.data());
                result.KeyPixels += uint64_t(std::count(flags.begin(), flags.end(), 1));
            }
        }
        // The pixels are read back from the plain file, which the optimised one decodes to
        // exactly; the reader below keeps alpha for colour types 2 and 6 only.
        TConversionOptions plain = options;
        plain.Optimize = false;
        TMemoryStream stream;
        EncodeConverted(plain, TTargetFormat::Png, bitmap, stream);
        result.Png = stream.Bytes();
        if (options.Optimize) {
            TMemoryStream optimized;
            EncodeConverted(options, TTargetFormat::Png, bitmap, optimized);
            result.Png = optimized.Bytes();
            result.Optimized = true;
        }
        TPNGObject png;
        stream.SetPosition(0);
        png.LoadFromStream(stream);
        ReadBack(png, result);
    } catch (const std::exception&) {
        // Runs on the preview's own thread: nothing may escape it.
        TPreviewResult failed;
        failed.Error = DescribeFailure(std::current_exception()).TwoLines();
        return failed;
    }
    for (size_t i = 3; i < result.Rgba.size(); i += 4) {
        const uint8_t alpha = result.Rgba[i];
        if (alpha == 0) {
            ++result.Transparent;
        } else if (alpha == 255) {
            ++result.Opaque;
        } else {
            ++result.Partial;
        }
    }
    return result;
}

std::string PreviewSummary(const TPreviewResult& result)
{
    if (!result.Error.empty()) {
        return result.Error;
    }
    const uint64_t pixels = uint64_t(result.Width) * uint64_t(result.Height);
    std::string text = std::to_string(result.Width) + "×" + std::to_string(result.Height);
    if (result.Keyed) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "#%02X%02X%02X", RedOf(result.Key), GreenOf(result.Key),
                      BlueOf(result.Key));
        text += std::string(InLanguage("  透過色 ", "  key ")) + hex + " (" +
                CornerName(result.KeySource) + ")";
    }
    text += InLanguage("  透明 ", "  transparent ") + Percent(result.Transparent, pixels) +
            InLanguage("  半透明 ", "  partly transparent ") + Percent(result.Partial, pixels) +
            InLanguage("  不透明 ", "  opaque ") + Percent(result.Opaque, pixels);
    if (result.Optimized) {
        text += "  " + GroupedThousands(result.Png.size()) + InLanguage(" バイト", " bytes");
    }
    if (result.Keyed && result.KeyPixels == 0) {
        text += InLanguage("  ※透過色の画素がありません", "  * no pixel has the key colour");
    } else if (result.Keyed && result.KeyPixels * 10 > pixels * 9) {
        text += InLanguage("  ※透過色が画像の 90% を超えています",
                           "  * the key colour covers over 90% of the picture");
    }
    return text;
}

} // namespace kapto
