// Loading a 24-megapixel (6000 x 4000) BMP of each depth, converting it to 24 bits and
// writing it to memory: the three phases the converter runs for a BMP source and output.
// The files are made in memory at start: indexed depths from a ramp table, true-colour
// depths from gradients, RLE8 from rows of 16-pixel runs.

#include "graphics/Bitmap.h"
#include "runtime/Stream.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

using namespace kapto;

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

struct TDepth
{
    uint16_t BitCount;
    uint32_t Compression; // 0, or 1 for RLE8
};

void Put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::vector<uint8_t> Rle8Pixels()
{
    std::vector<uint8_t> data;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; x += 16) {
            const int32_t run = std::min(16, kWidth - x);
            data.push_back(uint8_t(run));
            data.push_back(uint8_t((x / 16 + y / 8) % 256));
        }
        data.push_back(0);
        data.push_back(0);
    }
    data.push_back(0);
    data.push_back(1);
    return data;
}

std::vector<uint8_t> UncompressedPixels(unsigned bitCount)
{
    const size_t stride = ((size_t(kWidth) * bitCount + 31) & ~size_t(31)) / 8;
    std::vector<uint8_t> data(stride * kHeight, 0);
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = data.data() + stride * size_t(y);
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint8_t r = uint8_t(x * 255 / kWidth);
            const uint8_t g = uint8_t(y * 255 / kHeight);
            const uint8_t b = uint8_t((x + y) / 40);
            switch (bitCount) {
            case 1:
                row[x / 8] = uint8_t(row[x / 8] | (((x / 3 + y / 3) & 1) << (7 - x % 8)));
                break;
            case 4:
                row[x / 2] = uint8_t(row[x / 2] | (((x / 5 + y / 7) & 15) << (x % 2 ? 0 : 4)));
                break;
            case 8:
                row[x] = uint8_t(x / 7 + y / 5);
                break;
            case 16: {
                const uint32_t pixel = uint32_t(r >> 3) << 10 | uint32_t(g >> 3) << 5 | (b >> 3);
                row[2 * x] = uint8_t(pixel);
                row[2 * x + 1] = uint8_t(pixel >> 8);
                break;
            }
            default:
                row[size_t(x) * (bitCount / 8)] = b;
                row[size_t(x) * (bitCount / 8) + 1] = g;
                row[size_t(x) * (bitCount / 8) + 2] = r;
                break;
            }
        }
    }
    return data;
}

std::vector<uint8_t> MakeFile(const TDepth& depth)
{
    const std::vector<uint8_t> pixels =
        depth.Compression == 1 ? Rle8Pixels() : UncompressedPixels(depth.BitCount);
    const uint32_t colors = depth.BitCount <= 8 ? 1u << depth.BitCount : 0;
    const uint32_t offset = 14 + 40 + 4 * colors;
    std::vector<uint8_t> out = {'B', 'M'};
    Put32(out, uint32_t(offset + pixels.size()));
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, uint32_t(kWidth));
    Put32(out, uint32_t(kHeight));
    Put16(out, 1);
    Put16(out, depth.BitCount);
    Put32(out, depth.Compression);
    Put32(out, uint32_t(pixels.size()));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (uint32_t i = 0; i < colors; ++i) {
        const uint32_t level = i * 255 / (colors - 1);
        out.insert(out.end(), {uint8_t(level), uint8_t(255 - level), uint8_t(i * 37), 0});
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

const std::vector<uint8_t>& FileFor(const TDepth& depth)
{
    static std::map<std::pair<uint16_t, uint32_t>, std::vector<uint8_t>> files;
    auto& file = files[{depth.BitCount, depth.Compression}];
    if (file.empty()) {
        file = MakeFile(depth);
    }
    return file;
}

void Load(TBitmap& bitmap, const std::vector<uint8_t>& file)
{
    TMemoryStream stream(file);
    bitmap.LoadFromStream(stream);
}

void BM_Load(benchmark::State& state, TDepth depth)
{
    const std::vector<uint8_t>& file = FileFor(depth);
    for (auto _ : state) {
        TBitmap bitmap;
        Load(bitmap, file);
        benchmark::DoNotOptimize(bitmap.Width());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void BM_ConvertTo24(benchmark::State& state, TDepth depth)
{
    const std::vector<uint8_t>& file = FileFor(depth);
    TBitmap bitmap;
    for (auto _ : state) {
        // Loading replaces (and frees) the previous iteration's image outside the timing.
        state.PauseTiming();
        Load(bitmap, file);
        state.ResumeTiming();
        bitmap.SetPixelFormat(fmt24Bit);
        benchmark::DoNotOptimize(bitmap.PixelFormat());
    }
}

void BM_Save24(benchmark::State& state, TDepth depth)
{
    TBitmap bitmap;
    Load(bitmap, FileFor(depth));
    bitmap.SetPixelFormat(fmt24Bit);
    for (auto _ : state) {
        TMemoryStream stream;
        bitmap.SaveToStream(stream);
        benchmark::DoNotOptimize(stream.Bytes().data());
    }
}

#define KAPTO_BMP_BENCH(phase)                                                                     \
    BENCHMARK_CAPTURE(phase, 1bit, TDepth{1, 0})->Unit(benchmark::kMillisecond);                   \
    BENCHMARK_CAPTURE(phase, 4bit, TDepth{4, 0})->Unit(benchmark::kMillisecond);                   \
    BENCHMARK_CAPTURE(phase, 8bit, TDepth{8, 0})->Unit(benchmark::kMillisecond);                   \
    BENCHMARK_CAPTURE(phase, 16bit, TDepth{16, 0})->Unit(benchmark::kMillisecond);                 \
    BENCHMARK_CAPTURE(phase, 24bit, TDepth{24, 0})->Unit(benchmark::kMillisecond);                 \
    BENCHMARK_CAPTURE(phase, 32bit, TDepth{32, 0})->Unit(benchmark::kMillisecond);                 \
    BENCHMARK_CAPTURE(phase, rle8, TDepth{8, 1})->Unit(benchmark::kMillisecond)

#define KAPTO_BMP_CONVERT_BENCH(name, depth)                                                       \
    BENCHMARK_CAPTURE(BM_ConvertTo24, name, depth)->Unit(benchmark::kMillisecond)->Iterations(8)

KAPTO_BMP_BENCH(BM_Load);
KAPTO_BMP_BENCH(BM_Save24);
// A fixed count: each iteration loads outside the timing, and a 24-bit source converts in no
// time, which would make the library run it millions of times.
KAPTO_BMP_CONVERT_BENCH(1bit, (TDepth{1, 0}));
KAPTO_BMP_CONVERT_BENCH(4bit, (TDepth{4, 0}));
KAPTO_BMP_CONVERT_BENCH(8bit, (TDepth{8, 0}));
KAPTO_BMP_CONVERT_BENCH(16bit, (TDepth{16, 0}));
KAPTO_BMP_CONVERT_BENCH(24bit, (TDepth{24, 0}));
KAPTO_BMP_CONVERT_BENCH(32bit, (TDepth{32, 0}));
KAPTO_BMP_CONVERT_BENCH(rle8, (TDepth{8, 1}));

} // namespace
