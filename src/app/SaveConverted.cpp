#include "app/SaveConverted.h"

#include "app/FileNames.h"
#include "app/KeyTolerance.h"
#include "graphics/Bitmap.h"
#include "png/PNGObject.h"
#include "png/PNGOptimizer.h"
#include "png/PNGRows.h"
#include "runtime/Messages.h"
#include "runtime/Stream.h"

#include <vector>

namespace kapto {

namespace {

// Opacity in percent as an alpha byte, rounding towards zero: 100 gives 255, 50 gives 127.
uint8_t OpacityByte(int percent)
{
    return uint8_t(percent * 255 / 100);
}

// Adds the alpha plane where the colour type allows one; false when it has none.
bool PrepareAlphaChannel(TPNGObject& png)
{
    const uint8_t colorType = png.Header().ColorType;
    if (colorType == COLOR_GRAYSCALE || colorType == COLOR_RGB) {
        png.AddAlphaChannel();
    }
    const uint8_t now = png.Header().ColorType;
    return now == COLOR_GRAYSCALEALPHA || now == COLOR_RGBALPHA;
}

// Row y of the 24-bit bitmap as TColor values.
void ReadBitmapRow(TBitmap& bitmap, int32_t y, std::vector<TColor>& colors)
{
    const uint8_t* row = bitmap.RowAddress(y);
    for (size_t x = 0; x < colors.size(); ++x) {
        colors[x] = RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
}

// Every pixel gets the opacity byte; with the key colour, key pixels (those within the
// threshold of it, only the key colour itself at threshold 0) get 0, or in edge mode 0 only
// when all their neighbours inside the image are key pixels too and 255 on the rim where they
// touch other colours; the rim keeps its own colours. With the soft edge, the other pixels
// take the soft edge's colour and its alpha times the opacity.
void OpacityPass(const TKeyTolerance* keying, uint8_t opacity, bool edge, bool soft,
                 TPNGObject& png, TBitmap& bitmap)
{
    png.SetTransparent(false);
    if (!PrepareAlphaChannel(png)) {
        return;
    }
    const int32_t width = int32_t(png.Header().Width);
    const int32_t height = int32_t(png.Header().Height);
    const bool keyed = keying != nullptr;
    soft = soft && keyed && png.Header().ColorType == COLOR_RGBALPHA;

    // Key flags of the rows above, at and below the current row, with a border column on
    // each side so that neighbours outside the image count as key-coloured (not tested).
    std::vector<uint8_t> flags[3];
    for (auto& f : flags) {
        f.assign(size_t(width) + 2, 1);
    }
    auto loadFlags = [&](int32_t y, std::vector<uint8_t>& f) {
        if (y < 0 || y >= height) {
            std::fill(f.begin(), f.end(), uint8_t(1));
            return;
        }
        keying->MarkKeyPixels(bitmap.RowAddress(y), size_t(width), f.data() + 1);
    };
    std::vector<uint8_t> softAlpha(soft ? size_t(width) : 0);
    std::vector<uint8_t>* above = &flags[0];
    std::vector<uint8_t>* current = &flags[1];
    std::vector<uint8_t>* below = &flags[2];
    if (keyed) {
        loadFlags(-1, *above);
        loadFlags(0, *current);
    }
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* alpha = png.AlphaRow(uint32_t(y));
        if (!keyed) {
            std::fill(alpha, alpha + width, opacity);
            continue;
        }
        if (edge) {
            loadFlags(y + 1, *below);
        }
        const std::vector<uint8_t>& a = *above;
        const std::vector<uint8_t>& c = *current;
        const std::vector<uint8_t>& b = *below;
        if (soft) {
            keying->SoftEdgeRow(bitmap.RowAddress(y), c.data() + 1, size_t(width),
                                png.PixelRow(uint32_t(y)), softAlpha.data());
        }
        for (int32_t x = 0; x < width; ++x) {
            const size_t i = size_t(x) + 1;
            if (c[i] == 0) {
                alpha[x] = soft ? uint8_t((softAlpha[size_t(x)] * opacity + 127) / 255) : opacity;
            } else if (!edge) {
                alpha[x] = 0;
            } else {
                const bool interior = a[i - 1] && a[i] && a[i + 1] && c[i - 1] && c[i + 1] &&
                                      b[i - 1] && b[i] && b[i + 1];
                alpha[x] = interior ? 0 : 255;
            }
        }
        std::vector<uint8_t>* spare = above;
        above = current;
        current = below;
        below = spare;
        if (!edge && y + 1 < height) {
            loadFlags(y + 1, *current);
        }
    }
}

// Alpha from each pixel's brightness; with flattening every colour becomes white or black.
void BrightnessPass(const TConversionOptions& options, TPNGObject& png, TBitmap& bitmap)
{
    if (!PrepareAlphaChannel(png)) {
        return;
    }
    const int32_t width = int32_t(png.Header().Width);
    const int32_t height = int32_t(png.Header().Height);
    const bool brighterIsClearer =
        options.Direction == TBrightnessDirection::BrighterMoreTransparent;
    // Darker is clearer: visible parts turn white; brighter is clearer: black; inverted swaps.
    const bool white = brighterIsClearer == options.InvertFlatten;
    const uint8_t flat = white ? 255 : 0;
    const bool rgb = png.Header().ColorType == COLOR_RGBALPHA;
    std::vector<TColor> colors(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        ReadBitmapRow(bitmap, y, colors);
        uint8_t* alpha = png.AlphaRow(uint32_t(y));
        uint8_t* pixels = png.PixelRow(uint32_t(y));
        for (int32_t x = 0; x < width; ++x) {
            const TColor c = colors[size_t(x)];
            const int brightness = (299 * RedOf(c) + 587 * GreenOf(c) + 114 * BlueOf(c)) / 1000;
            alpha[x] = uint8_t(brighterIsClearer ? 255 - brightness : brightness);
            if (options.Flatten) {
                if (rgb) {
                    pixels[3 * x] = pixels[3 * x + 1] = pixels[3 * x + 2] = flat;
                } else {
                    png.SetPixel(x, y, white ? clWhite : clBlack);
                }
            }
        }
    }
}

} // namespace

TColor ChosenKeyColor(const TConversionOptions& options, TBitmap& bitmap)
{
    const int32_t right = bitmap.Width() - 1;
    const int32_t bottom = bitmap.Height() - 1;
    switch (options.KeySource) {
    case TKeySource::Swatch:
        return options.SwatchColor;
    case TKeySource::TopLeft:
        return bitmap.Canvas().GetPixel(0, 0);
    case TKeySource::BottomLeft:
        return bitmap.Canvas().GetPixel(0, bottom);
    case TKeySource::TopRight:
        return bitmap.Canvas().GetPixel(right, 0);
    case TKeySource::BottomRight:
        return bitmap.Canvas().GetPixel(right, bottom);
    case TKeySource::None:
        break;
    }
    return clInvalid;
}

TWarnings EncodeConverted(const TConversionOptions& options, TTargetFormat format, TBitmap& bitmap,
                          TStream& stream)
{
    if (format == TTargetFormat::Bmp) {
        bitmap.SaveToStream(stream);
        return {};
    }
    TPNGObject png;
    png.SetDeflateThreads(options.DeflateThreads);
    png.SetDeflateProfile(options.FastDeflate ? TDeflateProfile::Fast : TDeflateProfile::Standard);
    png.AssignFrom(&bitmap);
    if (bitmap.TransparentPixels() != nullptr && !options.KeyTransparent &&
        !options.UniformOpacity && !options.BrightnessAlpha) {
        // The source's own transparent pixels, and only they, stay transparent.
        png.MarkTransparentPixels(*bitmap.TransparentPixels());
    }
    TColor key = clInvalid;
    if (options.KeyTransparent) {
        key = ChosenKeyColor(options, bitmap);
    }
    // A tolerance keys more than one colour, which a tRNS key cannot say: it takes alpha.
    const int threshold = options.KeyTransparent ? KeyThreshold(options.KeyTolerance) : 0;
    const bool soft = options.KeySoftEdge && threshold > 0;
    if (options.KeyTransparent && !options.UniformOpacity && threshold == 0) {
        png.SetTransparent(true);
        if (options.KeySource != TKeySource::None) {
            png.SetTransparentKey(key);
        }
    }
    const TKeyTolerance keying(key, threshold);
    const TKeyTolerance* keyed = options.KeyTransparent ? &keying : nullptr;
    if (threshold > 0) {
        // A key colour the source brought along would stand beside the alpha channel.
        png.RemoveTransparentKey();
    }
    if (options.UniformOpacity) {
        OpacityPass(keyed, OpacityByte(options.OpacityPercent), options.EdgeMode, soft, png,
                    bitmap);
    } else if (threshold > 0) {
        OpacityPass(keyed, 255, false, soft, png, bitmap);
    } else if (options.BrightnessAlpha) {
        BrightnessPass(options, png, bitmap);
    }
    TRGBAPicture picture;
    if (!options.Optimize || !DecodedPicture(png, picture)) {
        png.SaveToStream(stream);
        return {};
    }
    // The plain encoding is made when the optimiser asks for its size, or to be written instead.
    TMemoryStream plain;
    auto encodePlain = [&]() -> TMemoryStream& {
        if (plain.Bytes().empty()) {
            png.SaveToStream(plain);
        }
        return plain;
    };
    TWarnings warnings;
    switch (WriteOptimizedPNG(
        picture, stream, [&] { return encodePlain().Bytes().size(); },
        size_t(png.IdatSplitSize()))) {
    case TOptimizeOutcome::Written:
        return warnings;
    case TOptimizeOutcome::OtherPixels:
        warnings.push_back(MessageText(TMessage::OptimizeKeptPlain));
        break;
    case TOptimizeOutcome::Larger:
        break;
    }
    const std::vector<uint8_t>& bytes = encodePlain().Bytes();
    stream.WriteBuffer(bytes.data(), bytes.size());
    return warnings;
}

TWarnings SaveConverted(const TConversionOptions& options, TTargetFormat format,
                        const std::string& fileName, TBitmap& bitmap)
{
    // Written beside the target and renamed over it only when complete.
    TAtomicFileStream stream(fileName);
    TWarnings warnings = EncodeConverted(options, format, bitmap, stream);
    stream.Commit();
    return warnings;
}

} // namespace kapto
