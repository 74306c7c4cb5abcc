#include "png/PNGOptimizer.h"

#include "png/Chunks.h"
#include "png/Deflater.h"
#include "png/ImageDataSinks.h"
#include "png/PNGObject.h"
#include "png/PNGRows.h"
#include "png/Zlib.h"
#include "runtime/Bytes.h"
#include "runtime/Stream.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include <zlib.h>

namespace kapto {

namespace {

// Strength of the quick compressions that rank the trials before the best go on to
// kStrongestDeflateLevel (libdeflate's near-optimal parse: on the 1 MP photo of
// bench/optimize.sh 11 % smaller than optipng -o2's zlib trials, in a third of its time).
// Pictures up to kExactTrialBytes of raw rows compress every trial at full strength.
constexpr int kTrialDeflateLevel = 5;
constexpr size_t kExactTrialBytes = 256 * 1024;
// Trials that go on to full strength after the quick ranking.
constexpr size_t kFinalists = 2;
// Filtered data up to this size also tries zlib's strategies at level 9 (see ZlibDeflate).
constexpr size_t kZlibTrialBytes = 512 * 1024;
// Above this many raw bytes one colour type and one filter strategy is chosen by rule, not by
// trying: a 24-megapixel photo would otherwise spend most of its time on trials.
constexpr size_t kTrialLimitBytes = 4 * 1024 * 1024;

constexpr uint32_t kNoColour = 0xFFFFFFFFu;

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
    uint32_t transparentRGB = kNoColour;
    bool oneTransparentRGB = true;
    std::unordered_map<uint32_t, size_t> colours;
    uint32_t last = kNoColour;
    size_t lastRun = 0;
    auto flushRun = [&]() {
        if (lastRun > 0 && a.FewColours) {
            colours[last] += lastRun;
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
        a.KeyRGB = transparentRGB;
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
    uint32_t last = kNoColour;
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

// Gray or truecolour, with an alpha channel only when neither opacity nor a key says it all.
TCandidate DirectCandidate(const TRGBAPicture& picture, const TAnalysis& a)
{
    TCandidate c;
    const bool alpha = !a.Opaque && !a.Keyable;
    if (a.Gray) {
        c.ColorType = alpha ? COLOR_GRAYSCALEALPHA : COLOR_GRAYSCALE;
        c.BitDepth = uint8_t(alpha ? 8 : a.GrayDepth);
    } else {
        c.ColorType = alpha ? COLOR_RGBALPHA : COLOR_RGB;
    }
    const int depth = c.BitDepth;
    const unsigned step = 255u / ((1u << depth) - 1);
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
    c.Rows.assign(c.Geometry.RowBytes * picture.Height, 0);
    const uint8_t* p = picture.Pixels.data();
    for (uint32_t y = 0; y < picture.Height; ++y) {
        uint8_t* row = c.Rows.data() + size_t(y) * c.Geometry.RowBytes;
        for (uint32_t x = 0; x < picture.Width; ++x, p += 4) {
            switch (c.ColorType) {
            case COLOR_GRAYSCALE:
                PutPacked(row, x, depth, p[0] / step);
                break;
            case COLOR_GRAYSCALEALPHA:
                row[2 * x] = p[0];
                row[2 * x + 1] = p[3];
                break;
            case COLOR_RGB:
                std::copy(p, p + 3, row + 3 * size_t(x));
                break;
            default:
                std::copy(p, p + 4, row + 4 * size_t(x));
                break;
            }
        }
    }
    return c;
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
    if (data.size() > kZlibTrialBytes ||
        deflateInit2(&z, 9, Z_DEFLATED, -15, 9, strategy) != Z_OK) {
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

// Replaces compressed by zlib's output for the data where one of its strategies is shorter.
void TryZlibStrategies(const std::vector<uint8_t>& data, std::vector<uint8_t>& compressed)
{
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_RLE}) {
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

// The forms worth trying: the direct colour type, and a palette where it may be smaller.
std::vector<TCandidate> Candidates(TCandidate direct, const TRGBAPicture& picture,
                                   const TAnalysis& analysis, bool tryAll)
{
    std::vector<TCandidate> candidates;
    candidates.push_back(std::move(direct));
    if (analysis.FewColours) {
        const bool grayAtLeastAsSmall =
            candidates[0].ColorType == COLOR_GRAYSCALE &&
            candidates[0].BitDepth <= PaletteDepth(analysis.Colours.size());
        if (tryAll || !grayAtLeastAsSmall) {
            TCandidate palette = PaletteCandidate(picture, analysis);
            if (!tryAll) {
                candidates.clear();
            }
            candidates.push_back(std::move(palette));
        }
    }
    return candidates;
}

using TTrial = std::pair<size_t, TStrategy>; // a candidate and a filter strategy

// Each candidate with each strategy; large pictures keep the minimum sum alone, which is what
// wins on photos, and None for packed palettes.
std::vector<TTrial> Trials(const std::vector<TCandidate>& candidates, bool tryAll)
{
    std::vector<TTrial> trials;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (tryAll) {
            for (TStrategy s : {TStrategy::None, TStrategy::Sub, TStrategy::Up, TStrategy::Paeth,
                                TStrategy::MinimumSum}) {
                trials.emplace_back(i, s);
            }
        } else {
            trials.emplace_back(i, TStrategy::MinimumSum);
            if (candidates[i].ColorType == COLOR_PALETTE) {
                trials.emplace_back(i, TStrategy::None);
            }
        }
    }
    return trials;
}

// The trials to compress at full strength. Small pictures keep them all; others rank them by
// a quick compression and keep the best few.
std::vector<size_t> Finalists(const std::vector<TCandidate>& candidates,
                              const std::vector<TTrial>& trials, uint32_t height,
                              size_t directBytes)
{
    std::vector<size_t> finalists(trials.size());
    for (size_t i = 0; i < finalists.size(); ++i) {
        finalists[i] = i;
    }
    if (directBytes <= kExactTrialBytes || trials.size() <= kFinalists) {
        return finalists;
    }
    TDeflater trial(kTrialDeflateLevel);
    std::vector<uint8_t> filtered;
    std::vector<uint8_t> compressed;
    std::vector<size_t> sizes(trials.size());
    for (size_t i = 0; i < trials.size(); ++i) {
        const TCandidate& candidate = candidates[trials[i].first];
        FilterAll(candidate, height, trials[i].second, filtered);
        trial.Compress(filtered.data(), filtered.size(), compressed);
        sizes[i] = compressed.size() + ChunkOverhead(candidate);
    }
    std::stable_sort(finalists.begin(), finalists.end(),
                     [&](size_t x, size_t y) { return sizes[x] < sizes[y]; });
    // A quick compression ranks unfiltered packed rows far too low: zlib's filtered strategy
    // often makes them the smallest. Every filter of a small leading candidate goes on, else
    // the best few trials.
    const size_t leader = trials[finalists[0]].first;
    std::vector<size_t> chosen;
    for (size_t i : finalists) {
        const bool small = candidates[leader].Rows.size() <= kZlibTrialBytes;
        if ((small && trials[i].first == leader) || chosen.size() < kFinalists) {
            chosen.push_back(i);
        }
    }
    return chosen;
}

struct TBest
{
    size_t Candidate = 0;
    std::vector<uint8_t> Filtered;   // the filtered rows
    std::vector<uint8_t> Compressed; // their raw deflate data
};

// The finalist whose image data and chunks are the smallest at full strength.
TBest Smallest(const std::vector<TCandidate>& candidates, const std::vector<TTrial>& trials,
               const std::vector<size_t>& finalists, uint32_t height)
{
    TDeflater strongest(kStrongestDeflateLevel);
    TBest best;
    size_t bestSize = 0; // of the image data and the chunks that come with the candidate
    std::vector<uint8_t> filtered;
    std::vector<uint8_t> compressed;
    for (size_t i : finalists) {
        const auto& [index, strategy] = trials[i];
        FilterAll(candidates[index], height, strategy, filtered);
        strongest.Compress(filtered.data(), filtered.size(), compressed);
        if (filtered.size() <= kZlibTrialBytes) {
            TryZlibStrategies(filtered, compressed);
        }
        const size_t size = compressed.size() + ChunkOverhead(candidates[index]);
        if (best.Compressed.empty() || size < bestSize) {
            bestSize = size;
            best.Compressed.swap(compressed);
            best.Filtered.swap(filtered);
            best.Candidate = index;
        }
    }
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

} // namespace

void WriteOptimizedPNG(const TRGBAPicture& picture, TStream& stream, size_t splitSize)
{
    const TAnalysis analysis = Analyse(picture);
    TCandidate direct = DirectCandidate(picture, analysis);
    const size_t directBytes = direct.Rows.size();
    const bool tryAll = directBytes <= kTrialLimitBytes;
    const std::vector<TCandidate> candidates =
        Candidates(std::move(direct), picture, analysis, tryAll);
    const std::vector<TTrial> trials = Trials(candidates, tryAll);
    const std::vector<size_t> finalists =
        Finalists(candidates, trials, picture.Height, directBytes);
    const TBest best = Smallest(candidates, trials, finalists, picture.Height);
    WriteFile(picture, candidates[best.Candidate], best, stream, splitSize);
}

} // namespace kapto
