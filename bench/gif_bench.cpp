// Decoding a 24-megapixel (6000 x 4000) GIF and taking its first frame into a TBitmap at 24
// bits: the steps source loading runs for a GIF. The file is made in memory at start by the
// tests' GIF writer, from a picture with smooth gradients and noise, so that codes of all
// lengths occur.

#include "app/SaveConverted.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "runtime/Stream.h"
#include "support/GIFTestWriter.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

using namespace kapto;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const giftest::TBytes& File(bool interlaced)
{
    static const auto make = [](bool isInterlaced) {
        giftest::TBytes pixels(size_t(kWidth) * kHeight);
        uint32_t state = 1;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                state = state * 1103515245u + 12345u;
                const int noise = int((state >> 16) & 7);
                pixels[size_t(y) * kWidth + size_t(x)] = uint8_t((x / 24 + y / 16 + noise) % 256);
            }
        }
        giftest::TGIFBuilder gif;
        gif.Header(kWidth, kHeight, 7)
            .Image(0, 0, kWidth, kHeight, pixels, isInterlaced, -1, 8)
            .Trailer();
        return gif.Bytes();
    };
    static const giftest::TBytes plain = make(false);
    static const giftest::TBytes interlacedFile = make(true);
    return interlaced ? interlacedFile : plain;
}

void LoadOnly(benchmark::State& state)
{
    const giftest::TBytes& file = File(state.range(0) != 0);
    for (auto _ : state) {
        TGIFImage image;
        TMemoryStream stream(file);
        image.LoadFromStream(stream);
        benchmark::DoNotOptimize(image.Images().Count());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
    state.counters["file_MB"] = double(file.size()) / (1 << 20);
}

// Source loading's steps. With range(1) = 0 the GIF object is released before the
// conversion, so the bitmap alone holds its pixels; with 1 it is still alive and the
// conversion first unshares the pixels it shares with the GIF's cached bitmaps.
void LoadToBitmap24(benchmark::State& state)
{
    const giftest::TBytes& file = File(state.range(0) != 0);
    const bool keepImage = state.range(1) != 0;
    for (auto _ : state) {
        TBitmap bitmap;
        {
            TGIFImage image;
            TMemoryStream stream(file);
            image.LoadFromStream(stream);
            bitmap.AssignFrom(&image);
            if (keepImage) {
                bitmap.SetPixelFormat(fmt24Bit);
            }
        }
        if (!keepImage) {
            bitmap.SetPixelFormat(fmt24Bit);
        }
        benchmark::DoNotOptimize(bitmap.RowAddress(0));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

// End to end: the first frame at 24 bits, written as a plain PNG into memory.
void ToPng(benchmark::State& state)
{
    const giftest::TBytes& file = File(false);
    for (auto _ : state) {
        TBitmap bitmap;
        {
            TGIFImage image;
            TMemoryStream stream(file);
            image.LoadFromStream(stream);
            bitmap.AssignFrom(&image);
        }
        bitmap.SetPixelFormat(fmt24Bit);
        TMemoryStream output;
        EncodeConverted(TConversionOptions(), TTargetFormat::Png, bitmap, output);
        benchmark::DoNotOptimize(output.Size());
    }
}

} // namespace

BENCHMARK(ToPng)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(LoadOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadToBitmap24)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Unit(benchmark::kMillisecond);
