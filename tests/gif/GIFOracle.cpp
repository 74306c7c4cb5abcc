#include "GIFOracle.h"

#include <gif_lib.h>

#include <cstring>
#include <memory>

namespace giftest {

namespace {

struct TReader
{
    const TBytes* bytes;
    size_t position;
};

int ReadFromMemory(GifFileType* file, GifByteType* buffer, int count)
{
    auto* reader = static_cast<TReader*>(file->UserData);
    const size_t available = reader->bytes->size() - reader->position;
    const size_t n = std::min(available, size_t(count));
    std::memcpy(buffer, reader->bytes->data() + reader->position, n);
    reader->position += n;
    return int(n);
}

int WriteToMemory(GifFileType* file, const GifByteType* buffer, int count)
{
    auto* out = static_cast<TBytes*>(file->UserData);
    out->insert(out->end(), buffer, buffer + count);
    return count;
}

std::string ErrorText(int code)
{
    const char* text = GifErrorString(code);
    return text != nullptr ? text : "giflib error " + std::to_string(code);
}

} // namespace

TOracleImage DecodeWithGiflib(const TBytes& bytes)
{
    TOracleImage result;
    TReader reader{&bytes, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&reader, ReadFromMemory, &error);
    if (file == nullptr) {
        result.error = ErrorText(error);
        return result;
    }
    if (DGifSlurp(file) != GIF_OK) {
        result.error = ErrorText(file->Error);
        DGifCloseFile(file, &error);
        return result;
    }
    result.ok = true;
    result.width = file->SWidth;
    result.height = file->SHeight;
    for (int i = 0; i < file->ImageCount; ++i) {
        const SavedImage& saved = file->SavedImages[i];
        TOracleFrame frame;
        frame.left = saved.ImageDesc.Left;
        frame.top = saved.ImageDesc.Top;
        frame.width = saved.ImageDesc.Width;
        frame.height = saved.ImageDesc.Height;
        frame.interlaced = saved.ImageDesc.Interlace;
        const size_t count = size_t(frame.width) * size_t(frame.height);
        if (saved.RasterBits != nullptr) {
            frame.indices.assign(saved.RasterBits, saved.RasterBits + count);
        }
        const ColorMapObject* map =
            saved.ImageDesc.ColorMap != nullptr ? saved.ImageDesc.ColorMap : file->SColorMap;
        if (map != nullptr) {
            for (int c = 0; c < map->ColorCount; ++c) {
                const GifColorType& color = map->Colors[c];
                frame.rgb.push_back(uint32_t(color.Red) << 16 | uint32_t(color.Green) << 8 |
                                    color.Blue);
            }
        }
        result.frames.push_back(std::move(frame));
    }
    DGifCloseFile(file, &error);
    return result;
}

TBytes EncodeWithGiflib(int screenWidth, int screenHeight, int sizeCode,
                        const std::vector<TOracleInput>& frames)
{
    TBytes out;
    int error = 0;
    GifFileType* file = EGifOpen(&out, WriteToMemory, &error);
    if (file == nullptr) {
        return {};
    }
    const TBytes table = ColorTable(sizeCode);
    std::vector<GifColorType> colors;
    for (size_t i = 0; i < table.size(); i += 3) {
        colors.push_back(GifColorType{table[i], table[i + 1], table[i + 2]});
    }
    ColorMapObject* map = GifMakeMapObject(int(colors.size()), colors.data());
    bool ok = EGifPutScreenDesc(file, screenWidth, screenHeight, 8, 0, map) == GIF_OK;
    EGifSetGifVersion(file, true);
    if (frames.size() > 1) {
        const uint8_t loop[3] = {1, 0, 0};
        ok = ok && EGifPutExtensionLeader(file, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(file, 11, "NETSCAPE2.0") == GIF_OK &&
             EGifPutExtensionBlock(file, 3, loop) == GIF_OK &&
             EGifPutExtensionTrailer(file) == GIF_OK;
    }
    for (const TOracleInput& frame : frames) {
        ok = ok && EGifPutImageDesc(file, frame.left, frame.top, frame.width, frame.height,
                                    frame.interlaced, nullptr) == GIF_OK;
        // giflib writes lines in the order given; interlaced files get them in pass order.
        const TBytes stored = frame.interlaced
                                  ? InterlaceRows(frame.indices, frame.width, frame.height)
                                  : frame.indices;
        for (int y = 0; ok && y < frame.height; ++y) {
            TBytes line(stored.begin() + long(y) * frame.width,
                        stored.begin() + long(y + 1) * frame.width);
            ok = EGifPutLine(file, line.data(), frame.width) == GIF_OK;
        }
    }
    GifFreeMapObject(map);
    if (EGifCloseFile(file, &error) != GIF_OK || !ok) {
        return {};
    }
    return out;
}

} // namespace giftest
