// Reading a 24-megapixel RGB photo-like PNG (written by the codec's own writer at default
// settings) from memory and drawing it into a 24-bit bitmap, and zlib's inflate alone on the
// same image data, to show the share of the time zlib takes.
#include "graphics/Bitmap.h"
#include "png/PNGObject.h"
#include "png/Zlib.h"
#include "runtime/Stream.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

using namespace kapto;

namespace {

constexpr uint32_t kWidth = 6000;
constexpr uint32_t kHeight = 4000;

// Smooth gradients with soft detail and a little sensor-like grain: compresses like a photo,
// neither flat nor noise (the same picture the writing benchmark encodes).
std::vector<uint8_t> MakePhotoLikeFile()
{
    TPNGObject png;
    png.CreateImage(kWidth, kHeight, COLOR_RGB, 8);
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = png.PixelRow(y);
        for (uint32_t x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 29) - 4;
            const double sky =
                120.0 + 80.0 * std::sin(double(x) / 900.0) * std::cos(double(y) / 700.0);
            const double detail = 25.0 * std::sin(double(x) / 37.0 + double(y) / 53.0);
            const double shade = double(y) * 60.0 / kHeight;
            auto clamp = [](double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            row[3 * x + 2] = clamp(sky + detail + shade + grain);
            row[3 * x + 1] = clamp(sky * 0.8 + detail * 0.5 + 30 + grain);
            row[3 * x] = clamp(200.0 - shade * 2 - detail * 0.3 + grain);
        }
    }
    TMemoryStream stream;
    png.SaveToStream(stream);
    return stream.Bytes();
}

const std::vector<uint8_t>& File()
{
    static const std::vector<uint8_t> file = MakePhotoLikeFile();
    return file;
}

// The data of every IDAT chunk, concatenated.
const std::vector<uint8_t>& ImageData()
{
    static const std::vector<uint8_t> data = [] {
        const std::vector<uint8_t>& file = File();
        std::vector<uint8_t> all;
        for (size_t position = 8; position + 12 <= file.size();) {
            const size_t length = size_t(file[position]) << 24 | size_t(file[position + 1]) << 16 |
                                  size_t(file[position + 2]) << 8 | file[position + 3];
            if (std::equal(file.begin() + long(position) + 4, file.begin() + long(position) + 8,
                           "IDAT")) {
                all.insert(all.end(), file.begin() + long(position) + 8,
                           file.begin() + long(position + 8 + length));
            }
            position += 12 + length;
        }
        return all;
    }();
    return data;
}

void SetCounters(benchmark::State& state)
{
    state.counters["MB_in"] = double(File().size()) / 1e6;
    state.counters["MPixel/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadPNG(benchmark::State& state)
{
    File(); // made before the timing starts
    for (auto _ : state) {
        TPNGObject png;
        TMemoryStream stream(File());
        png.LoadFromStream(stream);
        benchmark::DoNotOptimize(png.PixelRow(0));
    }
    SetCounters(state);
}

void BM_ReadAndDrawPNG(benchmark::State& state)
{
    File();
    for (auto _ : state) {
        TPNGObject png;
        TMemoryStream stream(File());
        png.LoadFromStream(stream);
        TBitmap bitmap;
        bitmap.AssignFrom(&png);
        benchmark::DoNotOptimize(bitmap.RowAddress(0));
    }
    SetCounters(state);
}

void BM_DrawOnly(benchmark::State& state)
{
    TPNGObject png;
    TMemoryStream stream(File());
    png.LoadFromStream(stream);
    for (auto _ : state) {
        TBitmap bitmap;
        bitmap.AssignFrom(&png);
        benchmark::DoNotOptimize(bitmap.RowAddress(0));
    }
    SetCounters(state);
}

// Inflate alone, row by row into one row buffer, as the reader asks for the data.
void BM_InflateOnly(benchmark::State& state)
{
    const std::vector<uint8_t>& data = ImageData();
    std::vector<uint8_t> row(size_t(kWidth) * 3 + 1);
    for (auto _ : state) {
        TInflateStream inflate;
        inflate.SetInput(data.data(), data.size());
        for (uint32_t y = 0; y < kHeight; ++y) {
            size_t filled = 0;
            while (filled < row.size()) {
                size_t produced = 0;
                inflate.Inflate(row.data() + filled, row.size() - filled, produced);
                filled += produced;
            }
        }
        benchmark::DoNotOptimize(row.data());
    }
    SetCounters(state);
}

} // namespace

BENCHMARK(BM_ReadPNG)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_InflateOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DrawOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadAndDrawPNG)->Unit(benchmark::kMillisecond)->Iterations(3);
