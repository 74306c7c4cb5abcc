#include "support/Images.h"

#include <filesystem>

using namespace kapto;

void FillBitmap(TBitmap& bitmap, int width, int height,
                const std::function<TColor(int x, int y)>& color)
{
    bitmap.SetPixelFormat(fmt24Bit);
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.RowAddress(y);
        for (int x = 0; x < width; ++x) {
            const TColor c = color(x, y);
            row[3 * x] = BlueOf(c);
            row[3 * x + 1] = GreenOf(c);
            row[3 * x + 2] = RedOf(c);
        }
    }
}

std::string WriteTestBmp(const std::string& fileName, int width, int height, TColor color)
{
    return WriteTestBmp(fileName, width, height, [color](int, int) { return color; });
}

std::string WriteTestBmp(const std::string& fileName, int width, int height,
                         const std::function<TColor(int x, int y)>& color)
{
    TBitmap bitmap;
    FillBitmap(bitmap, width, height, color);
    std::filesystem::create_directories(std::filesystem::path(fileName).parent_path());
    bitmap.SaveFile(fileName);
    return fileName;
}

std::string WriteNoiseBmp(const std::string& fileName, int width, int height, uint32_t seed)
{
    return WriteTestBmp(fileName, width, height, [&seed](int, int) {
        seed = seed * 1103515245 + 12345;
        return TColor(seed >> 8 & 0xFFFFFF);
    });
}
