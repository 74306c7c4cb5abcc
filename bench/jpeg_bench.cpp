// JPEG decoding of a 24-megapixel photo: the wrapper into a 24-bit bitmap against the
// library decoding alone into one buffer, so the wrapper's own share can be read off.

#include "graphics/Bitmap.h"
#include "jpeg/JPEGImage.h"
#include "runtime/Stream.h"
#include "support/JpegEncoder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo-like picture (smooth gradients with texture) written at quality 90, 4:2:0.
const std::vector<uint8_t>& PhotoJpeg()
{
    static const std::vector<uint8_t> bytes = [] {
        uint32_t noise = 12345;
        int grain = 0;
        return EncodeJpeg({kWidth, kHeight, 3, 90, 2, 2}, [&](int x, int y, int c) {
            if (c == 0) {
                noise = noise * 1103515245 + 12345;
                grain = int(noise >> 28);
            }
            const int value = c == 0 ? x / 24 : c == 1 ? y / 16 + x / 48 : (x + y) / 32;
            return uint8_t((value + grain) & 0xFF);
        });
    }();
    return bytes;
}

void BM_WrapperToBitmap(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = PhotoJpeg();
    for (auto _ : state) {
        kapto::TBitmap bitmap;
        {
            // As source loading does: the JPEG object goes before the bitmap is used.
            kapto::TJPEGImage jpeg;
            kapto::TMemoryStream stream(bytes);
            jpeg.LoadFromStream(stream);
            bitmap.AssignFrom(&jpeg);
        }
        bitmap.SetPixelFormat(kapto::fmt24Bit);
        benchmark::DoNotOptimize(bitmap.RowAddress(0));
    }
}
BENCHMARK(BM_WrapperToBitmap)->Unit(benchmark::kMillisecond);

void BM_LibraryAlone(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = PhotoJpeg();
    std::vector<uint8_t> image(size_t(kWidth) * kHeight * 3);
    for (auto _ : state) {
        jpeg_decompress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, bytes.data(), (unsigned long)bytes.size());
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            JSAMPROW rows[1] = {image.data() + size_t(info.output_scanline) * kWidth * 3};
            jpeg_read_scanlines(&info, rows, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(BM_LibraryAlone)->Unit(benchmark::kMillisecond);

} // namespace
