// Encoding a 24-megapixel RGB photo-like image to PNG at default settings, and zlib's deflate
// alone on the same filtered rows, to show the share of the time zlib takes.
#include "png/PNGObject.h"
#include "png/PNGRows.h"
#include "png/Zlib.h"
#include "runtime/Stream.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

using namespace kapto;

namespace {

constexpr uint32_t kWidth = 6000;
constexpr uint32_t kHeight = 4000;

// Smooth gradients with soft detail and a little sensor-like grain: compresses like a photo
// (roughly 2:1 to 3:1), neither flat nor noise.
std::unique_ptr<TPNGObject> MakePhotoLikeImage()
{
    auto png = std::make_unique<TPNGObject>();
    png->CreateImage(kWidth, kHeight, COLOR_RGB, 8);
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = png->PixelRow(y);
        for (uint32_t x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 29) - 4;
            const double sky =
                120.0 + 80.0 * std::sin(double(x) / 900.0) * std::cos(double(y) / 700.0);
            const double detail = 25.0 * std::sin(double(x) / 37.0 + double(y) / 53.0);
            const double shade = double(y) * 60.0 / kHeight;
            auto clamp = [](double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            row[3 * x + 2] = clamp(sky + detail + shade + grain);          // red
            row[3 * x + 1] = clamp(sky * 0.8 + detail * 0.5 + 30 + grain); // green
            row[3 * x] = clamp(200.0 - shade * 2 - detail * 0.3 + grain);  // blue
        }
    }
    return png;
}

TPNGObject& Image()
{
    static const std::unique_ptr<TPNGObject> image = MakePhotoLikeImage();
    return *image;
}

// The rows as the writer feeds them to deflate: RGB samples, Sub filter, type byte first.
const std::vector<uint8_t>& FilteredRows()
{
    static const std::vector<uint8_t> rows = [] {
        const size_t rowBytes = size_t(kWidth) * 3;
        std::vector<uint8_t> all;
        all.reserve((rowBytes + 1) * kHeight);
        std::vector<uint8_t> raw(rowBytes);
        TRowFilter filter(TFilterSet{TFilter::Sub}, rowBytes, 3);
        for (uint32_t y = 0; y < kHeight; ++y) {
            const uint8_t* pixels = Image().PixelRow(y);
            for (uint32_t x = 0; x < kWidth; ++x) {
                raw[3 * x] = pixels[3 * x + 2];
                raw[3 * x + 1] = pixels[3 * x + 1];
                raw[3 * x + 2] = pixels[3 * x];
            }
            const uint8_t* filtered = filter.Filter(raw.data(), rowBytes);
            all.insert(all.end(), filtered, filtered + rowBytes + 1);
        }
        return all;
    }();
    return rows;
}

void BM_EncodePNG(benchmark::State& state)
{
    TPNGObject& png = Image();
    size_t written = 0;
    for (auto _ : state) {
        TMemoryStream stream;
        stream.Bytes().reserve(size_t(kWidth) * kHeight * 3);
        png.SaveToStream(stream);
        written = stream.Bytes().size();
        benchmark::DoNotOptimize(stream.Bytes().data());
    }
    state.counters["MB_out"] = double(written) / 1e6;
    state.counters["MPixel/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DeflateOnly(benchmark::State& state)
{
    const std::vector<uint8_t>& rows = FilteredRows();
    const size_t rowBytes = size_t(kWidth) * 3 + 1;
    std::vector<uint8_t> out(65535);
    size_t produced = 0;
    for (auto _ : state) {
        TDeflateStream deflate(7);
        produced = 0;
        bool ended = false;
        for (size_t offset = 0; offset < rows.size(); offset += rowBytes) {
            deflate.SetInput(rows.data() + offset, rowBytes);
            while (deflate.InputLeft() > 0) {
                produced += deflate.Deflate(out.data(), out.size(), false, ended);
            }
        }
        while (!ended) {
            produced += deflate.Deflate(out.data(), out.size(), true, ended);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["MB_out"] = double(produced) / 1e6;
    state.counters["MPixel/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_EncodePNG)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DeflateOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
