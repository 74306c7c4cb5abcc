// End-to-end conversions of a 24-megapixel picture to PNG with each transparency pass, and
// deflate alone on the same image, so the engine's own share can be read off; the key
// tolerance's row work is also timed alone.

#include "app/KeyTolerance.h"
#include "app/LoadSource.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

std::string Scratch(const std::string& name)
{
    const char* shm = "/dev/shm";
    return std::string(access(shm, W_OK) == 0 ? shm : "/tmp") + "/kapto-bench-" +
           std::to_string(getpid()) + "-" + name;
}

// A photo-like 24-bit BMP: gradients with fine grain, and a black frame for the key passes.
const std::string& SourceBmp()
{
    static const std::string name = [] {
        kapto::TBitmap bitmap;
        bitmap.SetPixelFormat(kapto::fmt24Bit);
        bitmap.SetWidth(kWidth);
        bitmap.SetHeight(kHeight);
        uint32_t noise = 12345;
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = bitmap.RowAddress(y);
            for (int x = 0; x < kWidth; ++x) {
                noise = noise * 1103515245 + 12345;
                const int grain = int(noise >> 29);
                const bool frame = x < 200 || y < 200 || x >= kWidth - 200 || y >= kHeight - 200;
                row[3 * x] = frame ? 0 : uint8_t(x / 24 + grain);
                row[3 * x + 1] = frame ? 0 : uint8_t(y / 16 + x / 48 + grain);
                row[3 * x + 2] = frame ? 0 : uint8_t((x + y) / 32 + grain);
            }
        }
        const std::string file = Scratch("source.bmp");
        bitmap.SaveFile(file);
        return file;
    }();
    return name;
}

void Convert(benchmark::State& state, const kapto::TConversionOptions& options)
{
    const std::string source = SourceBmp();
    const std::string target = Scratch("out.png");
    for (auto _ : state) {
        kapto::TBitmap bitmap;
        kapto::LoadSource(source, bitmap);
        kapto::SaveConverted(options, kapto::TTargetFormat::Png, target, bitmap);
    }
    unlink(target.c_str());
}

void BM_Plain(benchmark::State& state)
{
    Convert(state, kapto::TConversionOptions());
}

void BM_Key(benchmark::State& state)
{
    kapto::TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = kapto::TKeySource::TopLeft;
    Convert(state, options);
}

void BM_Opacity(benchmark::State& state)
{
    kapto::TConversionOptions options;
    options.UniformOpacity = true;
    options.OpacityPercent = 80;
    Convert(state, options);
}

void BM_KeyOpacityEdge(benchmark::State& state)
{
    kapto::TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = kapto::TKeySource::TopLeft;
    options.UniformOpacity = true;
    options.OpacityPercent = 80;
    options.EdgeMode = true;
    Convert(state, options);
}

// Keyed at 10 % from the black frame: hard (range 0) or with the soft edge (range 1).
void BM_KeyTolerance10(benchmark::State& state)
{
    kapto::TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = kapto::TKeySource::TopLeft;
    options.KeyTolerance = 10;
    options.KeySoftEdge = state.range(0) != 0;
    Convert(state, options);
}

// The tolerance's own work on every row, without loading, copying or deflating: the key
// flags, and with range 1 the soft edge's colours and alpha.
void BM_KeyTolerance10RowsOnly(benchmark::State& state)
{
    kapto::TBitmap bitmap;
    bitmap.LoadFile(SourceBmp());
    const kapto::TKeyTolerance keying(bitmap.Canvas().GetPixel(0, 0), kapto::KeyThreshold(10));
    const bool soft = state.range(0) != 0;
    std::vector<uint8_t> flags(kWidth);
    std::vector<uint8_t> alpha(kWidth);
    std::vector<uint8_t> colors(size_t(kWidth) * 3);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            keying.MarkKeyPixels(bitmap.RowAddress(y), kWidth, flags.data());
            if (soft) {
                keying.SoftEdgeRow(bitmap.RowAddress(y), flags.data(), kWidth, colors.data(),
                                   alpha.data());
            }
            benchmark::DoNotOptimize(alpha.data());
        }
    }
}

void BM_BrightnessFlatten(benchmark::State& state)
{
    kapto::TConversionOptions options;
    options.BrightnessAlpha = true;
    options.Flatten = true;
    Convert(state, options);
}

void BM_ToBmp(benchmark::State& state)
{
    const std::string source = SourceBmp();
    const std::string target = Scratch("out.bmp");
    for (auto _ : state) {
        kapto::TBitmap bitmap;
        kapto::LoadSource(source, bitmap);
        kapto::SaveConverted(kapto::TConversionOptions(), kapto::TTargetFormat::Png, target,
                             bitmap);
    }
    unlink(target.c_str());
}

// zlib alone on the rows the writer hands it (Sub filter, level 7), with or without an
// alpha byte per pixel: the time no conversion can go below. keyRows, when given, turns the
// bitmap's rows into what keying writes (colours and alpha), untimed.
void DeflateOnly(benchmark::State& state, int alpha,
                 const std::function<void(uint8_t* bgr, uint8_t* alpha)>& keyRows = nullptr)
{
    kapto::TBitmap bitmap;
    bitmap.LoadFile(SourceBmp());
    const int channels = alpha >= 0 ? 4 : 3;
    const size_t rowBytes = size_t(kWidth) * channels;
    std::vector<uint8_t> filtered(size_t(kHeight) * (rowBytes + 1));
    std::vector<uint8_t> raw(rowBytes);
    std::vector<uint8_t> bgr(size_t(kWidth) * 3);
    std::vector<uint8_t> alphas(kWidth, uint8_t(alpha));
    for (int y = 0; y < kHeight; ++y) {
        std::copy(bitmap.RowAddress(y), bitmap.RowAddress(y) + bgr.size(), bgr.begin());
        if (keyRows) {
            keyRows(bgr.data(), alphas.data());
        }
        for (int x = 0; x < kWidth; ++x) {
            raw[size_t(x) * channels] = bgr[3 * x + 2];
            raw[size_t(x) * channels + 1] = bgr[3 * x + 1];
            raw[size_t(x) * channels + 2] = bgr[3 * x];
            if (channels == 4) {
                raw[size_t(x) * channels + 3] = alphas[size_t(x)];
            }
        }
        uint8_t* out = &filtered[size_t(y) * (rowBytes + 1)];
        out[0] = 1;
        for (size_t i = 0; i < rowBytes; ++i) {
            out[1 + i] = uint8_t(raw[i] - (i >= size_t(channels) ? raw[i - channels] : 0));
        }
    }
    std::vector<uint8_t> compressed(compressBound(uLong(filtered.size())));
    for (auto _ : state) {
        z_stream z{};
        deflateInit2(&z, 7, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
        z.next_in = filtered.data();
        z.avail_in = uInt(filtered.size());
        z.next_out = compressed.data();
        z.avail_out = uInt(compressed.size());
        deflate(&z, Z_FINISH);
        benchmark::DoNotOptimize(z.total_out);
        deflateEnd(&z);
    }
}

void BM_DeflateOnlyRgb(benchmark::State& state)
{
    DeflateOnly(state, -1);
}

void BM_DeflateOnlyRgba(benchmark::State& state)
{
    DeflateOnly(state, 204);
}

// Deflate alone on the rows keyed at 10 % (hard, or soft with range 1): the floor of
// BM_KeyTolerance10, whose alpha makes the rows harder to compress than constant alpha.
void BM_DeflateOnlyKeyTolerance10(benchmark::State& state)
{
    const bool soft = state.range(0) != 0;
    const kapto::TKeyTolerance keying(kapto::clBlack, kapto::KeyThreshold(10));
    std::vector<uint8_t> flags(kWidth);
    DeflateOnly(state, 255, [&](uint8_t* bgr, uint8_t* alpha) {
        keying.MarkKeyPixels(bgr, kWidth, flags.data());
        std::fill(alpha, alpha + kWidth, uint8_t(255));
        if (soft) {
            keying.SoftEdgeRow(bgr, flags.data(), kWidth, bgr, alpha);
        }
        for (int x = 0; x < kWidth; ++x) {
            alpha[x] = flags[size_t(x)] != 0 ? 0 : alpha[x];
        }
    });
}

BENCHMARK(BM_DeflateOnlyRgb)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DeflateOnlyRgba)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DeflateOnlyKeyTolerance10)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_Plain)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Key)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Opacity)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_KeyOpacityEdge)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_KeyTolerance10)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_KeyTolerance10RowsOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BrightnessFlatten)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ToBmp)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
