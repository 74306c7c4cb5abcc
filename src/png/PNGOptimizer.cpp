#include "png/PNGOptimizer.h"

#include "png/Chunks.h"
#include "png/Deflater.h"
#include "png/ImageDataSinks.h"
#include "png/PNGObject.h"
#include "png/PNGRows.h"
#include "png/Zlib.h"
#include "runtime/Bytes.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>

#include <zlib.h>

namespace kapto {

namespace {

// How the optimiser spends its time. Each trial (a form of the picture with a filter strategy)
// is ranked by the size of a quick compression at kRankLevel, and only the winner is compressed
// strongly:
// 1. the forms, each with the strategy that suits it (none for a palette, the minimum sum for
//    gray and truecolour), so that a palette's small rows and the direct rows compete once;
// 2. the winning form with every other strategy;
// 3. the winning trial at the level FinalLevel gives, and smaller data also through zlib.
// Above kTrialLimitBytes of direct rows (a photo of 1.4 megapixels and more) the form is chosen
// by rule, a palette ranks only none against the minimum sum and a direct form takes the minimum
// sum without ranking: there the trials would cost more than they save.
// Tuned with bench/optimize.sh (CPU seconds on a 2-core machine). On its twenty 480 x 360
// graphics of 2 to 200 colours in every alpha mode: compressing every trial of the smaller
// pictures at full strength took 10.3 s for 37 935 bytes in all; ranking at level 5 mis-ranks
// unfiltered palette rows (+12 %), at level 7 it finds the trials full strength found; this rule
// takes 0.85 s for 40 582 bytes, against optipng -o2's 1.47 s for 41 397 (level 11 for the larger
// palettes: 1.34 s, 39 708 bytes). On the 1-megapixel photo: 2.4 s for 791 631 bytes, against
// 2.8 s for 790 112 before and optipng's 7.5 s for 891 758; on the 24-megapixel one 22 s
// against 27 s before.
constexpr int kRankLevel = 7;
// The winner's compression: kStrongestDeflateLevel up to kStrongestBytes of filtered data, where
// it costs tens of milliseconds at most. Larger palette rows take level 9: on their long runs
// the near-optimal levels cost 10 to 20 times as much for 3 to 8 % less. Larger direct rows
// (photos) take level 10, within 0.1 % of level 12 in 70 % of its time.
constexpr size_t kStrongestBytes = 64 * 1024;
constexpr int kLargePaletteLevel = 9;
constexpr int kLargeDirectLevel = 10;
// Filtered data up to this size also tries zlib at level 9 (see TryZlibStrategies): its
// default strategy saved another 1 % on the graphics for 8 % more time.
constexpr size_t kZlibTrialBytes = 256 * 1024;
// Above this many direct bytes the form and filter strategy are chosen by rule.
constexpr size_t kTrialLimitBytes = 4 * 1024 * 1024;

// No packed RGBA value: every 32-bit value is a colour (0xFFFFFFFF is opaque white), so the
// colour of "no pixel yet" lies outside them.
constexpr uint64_t kNoColour = uint64_t(1) << 32;

inline uint32_t PackRGBA(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// What the picture's pixels allow.
struct TAnalysis
{
    bool Opaque = true;      // every alpha is 255
    bool Gray = true;        // red, green and blue equal everywhere
    bool BinaryAlpha = true; // every alpha is 0 or 255
    bool Keyable = false;    // one RGB colour is exactly the transparent pixels
    uint32_t KeyRGB = 0;     // that colour as 0x00RRGGBB
    int GrayDepth = 8;       // fewest bits that hold every gray level (only when Gray)
    bool FewColours = true;  // at most 256 RGBA colours
    std::vector<std::pair<uint32_t, size_t>> Colours; // RGBA and count, when FewColours
};

int GrayDepthOf(const bool (&used)[256])
{
    for (int depth : {1, 2, 4}) {
        const int step = 255 / ((1 << depth) - 1);
        bool fits = true;
        for (int v = 0; v < 256 && fits; ++v) {
            fits = !used[v] || v % step == 0;
        }
        if (fits) {
            return depth;
        }
    }
    return 8;
}

TAnalysis Analyse(const TRGBAPicture& picture)
{
    TAnalysis a;
    const size_t count = size_t(picture.Width) * picture.Height;
    const uint8_t* p = picture.Pixels.data();
    bool grayUsed[256] = {};
    uint64_t transparentRGB = kNoColour;
    bool oneTransparentRGB = true;
    std::unordered_map<uint32_t, size_t> colours;
    uint64_t last = kNoColour;
    size_t lastRun = 0;
    auto flushRun = [&]() {
        if (lastRun > 0 && a.FewColours) {
            colours[uint32_t(last)] += lastRun;
            if (colours.size() > 256) {
                a.FewColours = false;
                colours.clear();
            }
        }
        lastRun = 0;
    };
    for (size_t i = 0; i < count; ++i, p += 4) {
        const uint8_t alpha = p[3];
        if (alpha != 255) {
            a.Opaque = false;
            if (alpha != 0) {
                a.BinaryAlpha = false;
            } else {
                const uint32_t rgb = PackRGBA(p) >> 8;
                if (transparentRGB == kNoColour) {
                    transparentRGB = rgb;
                } else if (transparentRGB != rgb) {
                    oneTransparentRGB = false;
                }
            }
        }
        if (p[0] != p[1] || p[1] != p[2]) {
            a.Gray = false;
        } else {
            grayUsed[p[0]] = true;
        }
        const uint32_t rgba = PackRGBA(p);
        if (rgba != last) {
            flushRun();
            last = rgba;
        }
        ++lastRun;
    }
    flushRun();
    if (a.Gray) {
        a.GrayDepth = GrayDepthOf(grayUsed);
    }
    if (!a.Opaque && a.BinaryAlpha && oneTransparentRGB) {
        a.Keyable = true;
        a.KeyRGB = uint32_t(transparentRGB);
        p = picture.Pixels.data();
        for (size_t i = 0; i < count && a.Keyable; ++i, p += 4) {
            a.Keyable = p[3] == 0 || (PackRGBA(p) >> 8) != transparentRGB;
        }
    }
    if (a.FewColours) {
        a.Colours.assign(colours.begin(), colours.end());
    }
    return a;
}

// One way of storing the picture: the header fields, palette, tRNS and the unfiltered rows.
struct TCandidate
{
    uint8_t ColorType = COLOR_RGB;
    uint8_t BitDepth = 8;
    std::vector<uint8_t> Palette;      // PLTE payload
    std::vector<uint8_t> Transparency; // tRNS payload, empty for none
    TRowGeometry Geometry;
    std::vector<uint8_t> Rows; // Height rows of Geometry.RowBytes
};

inline void PutPacked(uint8_t* row, size_t x, int depth, unsigned value)
{
    if (depth == 8) {
        row[x] = uint8_t(value);
        return;
    }
    const size_t perByte = size_t(8 / depth);
    const unsigned shift = unsigned(8 - depth * int(x % perByte + 1));
    row[x / perByte] = uint8_t(row[x / perByte] | value << shift);
}

int PaletteDepth(size_t entries)
{
    return entries <= 2 ? 1 : entries <= 4 ? 2 : entries <= 16 ? 4 : 8;
}

TCandidate PaletteCandidate(const TRGBAPicture& picture, const TAnalysis& a)
{
    TCandidate c;
    c.ColorType = COLOR_PALETTE;
    std::vector<std::pair<uint32_t, size_t>> entries = a.Colours;
    // Translucent entries first, so that the tRNS stops at the last of them; the most used
    // entries first within each group, which keeps the common indices small.
    std::sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) {
        const bool xOpaque = (x.first & 0xFF) == 0xFF;
        const bool yOpaque = (y.first & 0xFF) == 0xFF;
        if (xOpaque != yOpaque) {
            return !xOpaque;
        }
        return x.second != y.second ? x.second > y.second : x.first < y.first;
    });
    c.BitDepth = uint8_t(PaletteDepth(entries.size()));
    std::unordered_map<uint32_t, uint8_t> index;
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint32_t rgba = entries[i].first;
        index[rgba] = uint8_t(i);
        c.Palette.push_back(uint8_t(rgba >> 24));
        c.Palette.push_back(uint8_t(rgba >> 16));
        c.Palette.push_back(uint8_t(rgba >> 8));
        if ((rgba & 0xFF) != 0xFF) {
            c.Transparency.push_back(uint8_t(rgba));
        }
    }
    c.Geometry = PNGRowGeometry(c.ColorType, c.BitDepth, picture.Width);
    c.Rows.assign(c.Geometry.RowBytes * picture.Height, 0);
    const uint8_t* p = picture.Pixels.data();
    uint64_t last = kNoColour;
    uint8_t lastIndex = 0;
    for (uint32_t y = 0; y < picture.Height; ++y) {
        uint8_t* row = c.Rows.data() + size_t(y) * c.Geometry.RowBytes;
        for (uint32_t x = 0; x < picture.Width; ++x, p += 4) {
            const uint32_t rgba = PackRGBA(p);
            if (rgba != last) {
                last = rgba;
                lastIndex = index[rgba];
            }
            PutPacked(row, x, c.BitDepth, lastIndex);
        }
    }
    return c;
}

// Bytes the candidate adds to the file beside its image data: PLTE and tRNS with their
// framing.
size_t ChunkOverhead(const TCandidate& c)
{
    return (c.Palette.empty() ? 0 : c.Palette.size() + 12) +
           (c.Transparency.empty() ? 0 : c.Transparency.size() + 12);
}

void PutKey16(std::vector<uint8_t>& out, unsigned value)
{
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

// Gray or truecolour, with an alpha channel only when neither opacity nor a key says it all:
// the header fields and tRNS, without rows.
TCandidate DirectForm(const TRGBAPicture& picture, const TAnalysis& a)
{
    TCandidate c;
    const bool alpha = !a.Opaque && !a.Keyable;
    if (a.Gray) {
        c.ColorType = alpha ? COLOR_GRAYSCALEALPHA : COLOR_GRAYSCALE;
        c.BitDepth = uint8_t(alpha ? 8 : a.GrayDepth);
    } else {
        c.ColorType = alpha ? COLOR_RGBALPHA : COLOR_RGB;
    }
    const unsigned step = 255u / ((1u << c.BitDepth) - 1);
    if (a.Keyable) {
        if (a.Gray) {
            PutKey16(c.Transparency, (a.KeyRGB & 0xFF) / step);
        } else {
            PutKey16(c.Transparency, a.KeyRGB >> 16);
            PutKey16(c.Transparency, (a.KeyRGB >> 8) & 0xFF);
            PutKey16(c.Transparency, a.KeyRGB & 0xFF);
        }
    }
    c.Geometry = PNGRowGeometry(c.ColorType, c.BitDepth, picture.Width);
    return c;
}

// The unfiltered rows of a direct form.
void FillDirectRows(const TRGBAPicture& picture, TCandidate& c)
{
    const int depth = c.BitDepth;
    const unsigned step = 255u / ((1u << depth) - 1);
    c.Rows.assign(c.Geometry.RowBytes * picture.Height, 0);
    for (uint32_t y = 0; y < picture.Height; ++y) {
        const uint8_t* p = picture.Pixels.data() + size_t(y) * picture.Width * 4;
        uint8_t* row = c.Rows.data() + size_t(y) * c.Geometry.RowBytes;
        switch (c.ColorType) {
        case COLOR_GRAYSCALE:
            for (uint32_t x = 0; x < picture.Width; ++x) {
                PutPacked(row, x, depth, p[4 * size_t(x)] / step);
            }
            break;
        case COLOR_GRAYSCALEALPHA:
            for (uint32_t x = 0; x < picture.Width; ++x) {
                row[2 * size_t(x)] = p[4 * size_t(x)];
                row[2 * size_t(x) + 1] = p[4 * size_t(x) + 3];
            }
            break;
        case COLOR_RGB:
            for (uint32_t x = 0; x < picture.Width; ++x) {
                std::copy(p + 4 * size_t(x), p + 4 * size_t(x) + 3, row + 3 * size_t(x));
            }
            break;
        default:
            std::copy(p, p + 4 * size_t(picture.Width), row);
            break;
        }
    }
}

// How the filter of each row is chosen: one filter type for every row, or per row the filter
// whose output has the smallest sum of absolute values as signed bytes, the usual heuristic
// for rows that deflate well.
enum class TStrategy
{
    None,
    Sub,
    Up,
    Paeth,
    MinimumSum,
};

size_t AbsoluteSum(const uint8_t* filtered, size_t size)
{
    size_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum += size_t(std::abs(int(int8_t(filtered[i]))));
    }
    return sum;
}

void FilterAll(const TCandidate& c, uint32_t height, TStrategy strategy, std::vector<uint8_t>& out)
{
    const size_t rowBytes = c.Geometry.RowBytes;
    const size_t stride = c.Geometry.PixelStride;
    out.assign((rowBytes + 1) * height, 0);
    const std::vector<uint8_t> zeros(rowBytes, 0);
    std::vector<uint8_t> trial(rowBytes);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* raw = c.Rows.data() + size_t(y) * rowBytes;
        const uint8_t* previous = y == 0 ? zeros.data() : raw - rowBytes;
        uint8_t* target = out.data() + size_t(y) * (rowBytes + 1);
        TFilter chosen = TFilter::None;
        switch (strategy) {
        case TStrategy::None:
            break;
        case TStrategy::Sub:
            chosen = TFilter::Sub;
            break;
        case TStrategy::Up:
            chosen = TFilter::Up;
            break;
        case TStrategy::Paeth:
            chosen = TFilter::Paeth;
            break;
        case TStrategy::MinimumSum: {
            size_t best = AbsoluteSum(raw, rowBytes);
            for (TFilter filter : {TFilter::Sub, TFilter::Up, TFilter::Average, TFilter::Paeth}) {
                FilterRow(filter, raw, previous, rowBytes, stride, trial.data());
                const size_t sum = AbsoluteSum(trial.data(), rowBytes);
                if (sum < best) {
                    best = sum;
                    chosen = filter;
                }
            }
            break;
        }
        }
        target[0] = uint8_t(chosen);
        FilterRow(chosen, raw, previous, rowBytes, stride, target + 1);
    }
}

std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& data, int strategy)
{
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, strategy) != Z_OK) {
        return {};
    }
    std::vector<uint8_t> out(deflateBound(&z, uLong(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return status == Z_STREAM_END ? out : std::vector<uint8_t>();
}

// Replaces compressed by zlib's output for the data where one of its strategies is shorter: the
// default strategy up to kZlibTrialBytes, the filtered and run-length ones too up to
// kStrongestBytes.
void TryZlibStrategies(const std::vector<uint8_t>& data, std::vector<uint8_t>& compressed)
{
    if (data.size() > kZlibTrialBytes) {
        return;
    }
    const bool small = data.size() <= kStrongestBytes;
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_RLE}) {
        if (strategy != Z_DEFAULT_STRATEGY && !small) {
            break;
        }
        std::vector<uint8_t> other = ZlibDeflate(data, strategy);
        if (!other.empty() && other.size() < compressed.size()) {
            compressed.swap(other);
        }
    }
}

} // namespace

bool DecodedPicture(const TPNGObject& png, TRGBAPicture& picture)
{
    picture = TRGBAPicture();
    if (!png.HasHeader()) {
        return false;
    }
    const TChunkIHDR& header = png.Header();
    const bool alpha = header.ColorType == COLOR_RGBALPHA;
    if ((header.ColorType != COLOR_RGB && !alpha) || header.BitDepth != 8 ||
        png.WriteInterlace() != 0) {
        return false;
    }
    const auto* transparency = png.Chunks().FindChunk<TChunktRNS>();
    const bool keyed = !alpha && transparency != nullptr && transparency->PayloadSize() == 6;
    if (!alpha && transparency != nullptr && !keyed) {
        return false;
    }
    uint8_t key[3] = {};
    if (keyed) {
        const auto& v = transparency->AlphaValues;
        if (v[0] != 0 || v[2] != 0 || v[4] != 0) {
            return false; // a 16-bit key no 8-bit sample equals: every pixel stays opaque
        }
        key[0] = v[1];
        key[1] = v[3];
        key[2] = v[5];
    }
    const TGammaTable& inverse = png.InverseGammaLUT();
    const uint32_t width = header.Width;
    const uint32_t height = header.Height;
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    uint8_t* out = pixels.data();
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = png.PixelRow(y);
        const uint8_t* alphas = alpha ? png.AlphaRow(y) : nullptr;
        for (uint32_t x = 0; x < width; ++x, out += 4) {
            out[0] = inverse[row[3 * x + 2]];
            out[1] = inverse[row[3 * x + 1]];
            out[2] = inverse[row[3 * x]];
            if (alpha) {
                out[3] = alphas[x];
            } else {
                out[3] =
                    keyed && out[0] == key[0] && out[1] == key[1] && out[2] == key[2] ? 0 : 255;
            }
        }
    }
    picture.Width = width;
    picture.Height = height;
    picture.Pixels = std::move(pixels);
    return true;
}

namespace {

size_t DirectBytes(const TCandidate& direct, const TRGBAPicture& picture)
{
    return direct.Geometry.RowBytes * picture.Height;
}

// The forms worth trying: the direct colour type, and a palette where it may be smaller. Only the
// palette when it packs at most 16 colours into 4 bits or fewer and the direct form is
// truecolour of 24 or 32 bits a pixel, which then never deflates as small (unless the picture is
// so small that the palette's chunks decide); above the trial limit only one form, the palette
// unless a gray form is at least as small.
std::vector<TCandidate> Candidates(TCandidate direct, const TRGBAPicture& picture,
                                   const TAnalysis& analysis, bool tryAll)
{
    std::vector<TCandidate> candidates;
    candidates.push_back(std::move(direct));
    auto keepDirect = [&] { FillDirectRows(picture, candidates[0]); };
    if (analysis.FewColours) {
        const int paletteDepth = PaletteDepth(analysis.Colours.size());
        const bool grayAtLeastAsSmall =
            candidates[0].ColorType == COLOR_GRAYSCALE && candidates[0].BitDepth <= paletteDepth;
        if (tryAll || !grayAtLeastAsSmall) {
            TCandidate palette = PaletteCandidate(picture, analysis);
            const bool directNeverSmaller = !analysis.Gray && paletteDepth < 8 &&
                                            DirectBytes(candidates[0], picture) > kStrongestBytes;
            if (!tryAll || directNeverSmaller) {
                candidates.clear();
            } else {
                keepDirect();
            }
            candidates.push_back(std::move(palette));
            return candidates;
        }
    }
    keepDirect();
    return candidates;
}

struct TTrial
{
    size_t Candidate = 0;
    TStrategy Strategy = TStrategy::MinimumSum;
};

// The strategy a form is first ranked with: palette rows mostly deflate best unfiltered, the
// rows of gray and truecolour pictures after the per-row minimum sum.
TStrategy UsualStrategy(const TCandidate& candidate)
{
    return candidate.ColorType == COLOR_PALETTE ? TStrategy::None : TStrategy::MinimumSum;
}

// The strategies a form competes with.
std::vector<TStrategy> Strategies(const TCandidate& candidate, bool tryAll)
{
    if (candidate.ColorType == COLOR_PALETTE) {
        return {TStrategy::None, TStrategy::MinimumSum};
    }
    if (tryAll) {
        return {TStrategy::None, TStrategy::Sub, TStrategy::Up, TStrategy::Paeth,
                TStrategy::MinimumSum};
    }
    return {TStrategy::MinimumSum};
}

// The trial to compress at full strength, by the time rule above.
TTrial ChooseTrial(const std::vector<TCandidate>& candidates, uint32_t height, bool tryAll)
{
    TDeflater quick(kRankLevel);
    std::vector<uint8_t> filtered;
    std::vector<uint8_t> compressed;
    TTrial best{0, UsualStrategy(candidates[0])};
    size_t bestSize = SIZE_MAX;
    auto rank = [&](const TTrial& trial) {
        const TCandidate& candidate = candidates[trial.Candidate];
        FilterAll(candidate, height, trial.Strategy, filtered);
        quick.Compress(filtered.data(), filtered.size(), compressed);
        const size_t size = compressed.size() + ChunkOverhead(candidate);
        if (size < bestSize) {
            bestSize = size;
            best = trial;
        }
    };
    if (candidates.size() > 1) {
        for (size_t i = 0; i < candidates.size(); ++i) {
            rank({i, UsualStrategy(candidates[i])});
        }
    }
    const TTrial form = best;
    const std::vector<TStrategy> strategies = Strategies(candidates[form.Candidate], tryAll);
    if (strategies.size() > 1) {
        if (candidates.size() == 1) {
            rank(form);
        }
        for (TStrategy strategy : strategies) {
            if (strategy != form.Strategy) {
                rank({form.Candidate, strategy});
            }
        }
    }
    return best;
}

// The winner's compression level, by what it costs against what it saves.
int FinalLevel(const TCandidate& candidate, size_t filteredBytes)
{
    if (filteredBytes <= kStrongestBytes) {
        return kStrongestDeflateLevel;
    }
    return candidate.ColorType == COLOR_PALETTE ? kLargePaletteLevel : kLargeDirectLevel;
}

struct TBest
{
    size_t Candidate = 0;
    std::vector<uint8_t> Filtered;   // the filtered rows
    std::vector<uint8_t> Compressed; // their raw deflate data
};

// The trial's filtered rows at full strength.
TBest Strongest(const std::vector<TCandidate>& candidates, const TTrial& trial, uint32_t height)
{
    TBest best;
    best.Candidate = trial.Candidate;
    FilterAll(candidates[trial.Candidate], height, trial.Strategy, best.Filtered);
    TDeflater strongest(FinalLevel(candidates[trial.Candidate], best.Filtered.size()));
    strongest.Compress(best.Filtered.data(), best.Filtered.size(), best.Compressed);
    TryZlibStrategies(best.Filtered, best.Compressed);
    return best;
}

void WriteFile(const TRGBAPicture& picture, const TCandidate& chosen, const TBest& best,
               TStream& stream, size_t splitSize)
{
    // The zlib stream: header, the raw deflate data, the Adler-32 of the filtered rows.
    std::vector<uint8_t> zlib;
    zlib.reserve(best.Compressed.size() + 6);
    const uint16_t zlibHeader = ZlibHeader(9);
    zlib.push_back(uint8_t(zlibHeader >> 8));
    zlib.push_back(uint8_t(zlibHeader));
    zlib.insert(zlib.end(), best.Compressed.begin(), best.Compressed.end());
    uint8_t adler[4];
    PutUInt32BE(adler, Adler32(1, best.Filtered.data(), best.Filtered.size()));
    zlib.insert(zlib.end(), adler, adler + 4);

    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    stream.WriteBuffer(signature, sizeof signature);
    uint8_t ihdr[13] = {};
    PutUInt32BE(ihdr, picture.Width);
    PutUInt32BE(ihdr + 4, picture.Height);
    ihdr[8] = chosen.BitDepth;
    ihdr[9] = chosen.ColorType;
    WriteFramedChunk(stream, MakeChunkType("IHDR"), ihdr, sizeof ihdr);
    if (!chosen.Palette.empty()) {
        WriteFramedChunk(stream, MakeChunkType("PLTE"), chosen.Palette.data(),
                         uint32_t(chosen.Palette.size()));
    }
    if (!chosen.Transparency.empty()) {
        WriteFramedChunk(stream, MakeChunkType("tRNS"), chosen.Transparency.data(),
                         uint32_t(chosen.Transparency.size()));
    }
    splitSize = std::max<size_t>(splitSize, 1);
    for (size_t at = 0; at < zlib.size(); at += splitSize) {
        WriteFramedChunk(stream, MakeChunkType("IDAT"), zlib.data() + at,
                         uint32_t(std::min(splitSize, zlib.size() - at)));
    }
    WriteFramedChunk(stream, MakeChunkType("IEND"), nullptr, 0);
}

TOptimizedFileObserver g_observer = nullptr;

// Sample x of a row of 1, 4 or 8-bit indices, most significant bits first.
inline unsigned IndexAt(const uint8_t* row, uint32_t x, unsigned bitCount)
{
    if (bitCount == 8) {
        return row[x];
    }
    const unsigned perByte = 8 / bitCount;
    const unsigned shift = 8 - bitCount * (x % perByte + 1);
    return unsigned(row[x / perByte] >> shift) & ((1u << bitCount) - 1);
}

// The picture a PNG decodes to, for the forms the optimiser writes (8 bits and less, no
// interlace): red, green, blue from the picture's pixels or colour table, alpha from the alpha
// plane, the palette's tRNS entries or the gray or RGB key. False for any other form.
bool ReadBack(const TPNGObject& png, TRGBAPicture& picture)
{
    const TChunkIHDR& header = png.Header();
    if (header.BitDepth > 8 || header.InterlaceMethod != 0 || !header.HasImage()) {
        return false;
    }
    const uint8_t type = header.ColorType;
    const auto* transparency = png.Chunks().FindChunk<TChunktRNS>();
    const size_t alphas = transparency != nullptr ? transparency->PayloadSize() : 0;
    const auto key16 = [&](size_t i) {
        return unsigned(transparency->AlphaValues[2 * i]) << 8 |
               transparency->AlphaValues[2 * i + 1];
    };
    const bool grayKeyed = type == COLOR_GRAYSCALE && alphas == 2;
    const bool rgbKeyed = type == COLOR_RGB && alphas == 6;
    const unsigned bitCount = header.DIBBitCount();
    const auto& colors = header.DibInfo().Colors;
    const TGammaTable& inverse = png.InverseGammaLUT();
    picture.Width = header.Width;
    picture.Height = header.Height;
    picture.Pixels.assign(size_t(header.Width) * header.Height * 4, 0);
    uint8_t* out = picture.Pixels.data();
    for (uint32_t y = 0; y < header.Height; ++y) {
        const uint8_t* row = png.PixelRow(y);
        const uint8_t* alphaRow = png.AlphaRow(y);
        for (uint32_t x = 0; x < header.Width; ++x, out += 4) {
            if (bitCount == 24) {
                out[0] = inverse[row[3 * x + 2]];
                out[1] = inverse[row[3 * x + 1]];
                out[2] = inverse[row[3 * x]];
                out[3] = alphaRow != nullptr ? alphaRow[x] : 255;
                if (rgbKeyed && row[3 * x + 2] == key16(0) && row[3 * x + 1] == key16(1) &&
                    row[3 * x] == key16(2)) {
                    out[3] = 0;
                }
                continue;
            }
            const unsigned index = IndexAt(row, x, bitCount);
            out[0] = colors[index].Red;
            out[1] = colors[index].Green;
            out[2] = colors[index].Blue;
            out[3] = alphaRow != nullptr ? alphaRow[x] : 255;
            if (type == COLOR_PALETTE && index < alphas) {
                out[3] = transparency->AlphaValues[index];
            } else if (grayKeyed && index == key16(0)) {
                out[3] = 0;
            }
        }
    }
    return true;
}

// Whether the file decodes through this codec's own reader to exactly the picture.
bool DecodesTo(const std::vector<uint8_t>& file, const TRGBAPicture& picture)
{
    try {
        TMemoryStream stream(file);
        TPNGObject png;
        png.LoadFromStream(stream);
        TRGBAPicture decoded;
        return ReadBack(png, decoded) && decoded.Width == picture.Width &&
               decoded.Height == picture.Height && decoded.Pixels == picture.Pixels;
    } catch (const Exception&) {
        return false;
    }
}

} // namespace

void SetOptimizedFileObserver(TOptimizedFileObserver observer)
{
    g_observer = observer;
}

TOptimizeOutcome WriteOptimizedPNG(const TRGBAPicture& picture, TStream& stream,
                                   const std::function<size_t()>& largest, size_t splitSize)
{
    const TAnalysis analysis = Analyse(picture);
    TCandidate direct = DirectForm(picture, analysis);
    const bool tryAll = DirectBytes(direct, picture) <= kTrialLimitBytes;
    const std::vector<TCandidate> candidates =
        Candidates(std::move(direct), picture, analysis, tryAll);
    const TTrial trial = ChooseTrial(candidates, picture.Height, tryAll);
    const TBest best = Strongest(candidates, trial, picture.Height);
    TMemoryStream file;
    WriteFile(picture, candidates[best.Candidate], best, file, splitSize);
    std::vector<uint8_t>& bytes = file.Bytes();
    if (g_observer != nullptr) {
        g_observer(bytes);
    }
    // Above the trial limit the plain encoding would cost a third of the optimiser's time, and
    // the strongest deflate of rows filtered by the minimum sum was the smaller on every large
    // picture tried (photos, and graphics of more than 256 colours: half the plain size).
    if (tryAll && bytes.size() > largest()) {
        return TOptimizeOutcome::Larger;
    }
    // Whatever the trials chose, only a file that reads back to the very same pixels and
    // alpha is written.
    if (!DecodesTo(bytes, picture)) {
        return TOptimizeOutcome::OtherPixels;
    }
    stream.WriteBuffer(bytes.data(), bytes.size());
    return TOptimizeOutcome::Written;
}

} // namespace kapto
