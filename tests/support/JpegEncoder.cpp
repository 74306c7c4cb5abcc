#include "support/JpegEncoder.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

std::vector<uint8_t> EncodeJpeg(const TEncodeSettings& s,
                                const std::function<uint8_t(int, int, int)>& sample)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(s.Width);
    info.image_height = JDIMENSION(s.Height);
    info.input_components = s.Components;
    info.in_color_space = s.Components == 1   ? JCS_GRAYSCALE
                          : s.Components == 3 ? JCS_RGB
                                              : JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, s.Quality, TRUE);
    info.comp_info[0].h_samp_factor = s.HorizontalSampling;
    info.comp_info[0].v_samp_factor = s.VerticalSampling;
    info.restart_in_rows = s.RestartRows;
    if (s.Progressive) {
        jpeg_simple_progression(&info);
    }
    if (s.Components == 4) {
        jpeg_set_colorspace(&info, s.Ycck ? JCS_YCCK : JCS_CMYK);
        info.write_Adobe_marker = s.AdobeMarker ? TRUE : FALSE;
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(size_t(s.Width * s.Components));
    while (info.next_scanline < info.image_height) {
        const int y = int(info.next_scanline);
        for (int x = 0; x < s.Width; ++x) {
            for (int c = 0; c < s.Components; ++c) {
                row[size_t(x * s.Components + c)] = sample(x, y, c);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}
