#pragma once
// Test-side BMP files: a writer that lays out every field as given, so a test can change one
// of them and keep the rest valid, and helpers to pack pixels and to read images back.

#include "graphics/Bitmap.h"
#include "runtime/Stream.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bmptest {

struct TBmpFile
{
    char Type[2] = {'B', 'M'};
    uint32_t HeaderSize = 40; // 12 writes the core header; 40 or more writes that many bytes
    std::optional<uint32_t> SizeField; // written instead of HeaderSize in the size field
    int32_t Width = 4;
    int32_t Height = 2;
    uint16_t Planes = 1;
    uint16_t BitCount = 24;
    uint32_t Compression = 0;
    uint32_t SizeImage = 0; // 0: computed from the pixels written
    int32_t XPelsPerMeter = 0;
    int32_t YPelsPerMeter = 0;
    uint32_t ColorsUsed = 0;
    uint32_t ColorsImportant = 0;
    // Inside headers of 52 bytes or more, else after a 40-byte header when not empty.
    std::vector<uint32_t> Masks;
    // Colour-table entries as 0x00RRGGBB; written as 3 bytes each after a core header.
    std::vector<uint32_t> Colors;
    std::vector<uint8_t> Pixels;
    bool KeepSizeImageZero = false;
    size_t GapBytes = 0; // filler bytes (0xA5) between the colour table and the pixels
    std::optional<uint32_t> OffsetField; // written instead of the pixels' offset
};

inline void Put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

inline void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(uint8_t(value >> (8 * i)));
    }
}

inline uint32_t Get32(const std::vector<uint8_t>& bytes, size_t offset)
{
    return uint32_t(bytes.at(offset)) | uint32_t(bytes.at(offset + 1)) << 8 |
           uint32_t(bytes.at(offset + 2)) << 16 | uint32_t(bytes.at(offset + 3)) << 24;
}

inline std::vector<uint8_t> BuildBmp(const TBmpFile& f)
{
    const bool core = f.HeaderSize == 12;
    std::vector<uint8_t> info;
    Put32(info, f.SizeField.value_or(f.HeaderSize));
    if (core) {
        Put16(info, uint32_t(f.Width));
        Put16(info, uint32_t(f.Height));
        Put16(info, f.Planes);
        Put16(info, f.BitCount);
    } else {
        Put32(info, uint32_t(f.Width));
        Put32(info, uint32_t(f.Height));
        Put16(info, f.Planes);
        Put16(info, f.BitCount);
        Put32(info, f.Compression);
        const uint32_t sizeImage =
            f.SizeImage != 0 || f.KeepSizeImageZero ? f.SizeImage : uint32_t(f.Pixels.size());
        Put32(info, sizeImage);
        Put32(info, uint32_t(f.XPelsPerMeter));
        Put32(info, uint32_t(f.YPelsPerMeter));
        Put32(info, f.ColorsUsed);
        Put32(info, f.ColorsImportant);
        const bool masksInside = f.HeaderSize >= 52;
        if (masksInside) {
            for (size_t i = 0; i < 3; ++i) {
                Put32(info, i < f.Masks.size() ? f.Masks[i] : 0);
            }
        }
        info.resize(std::max<size_t>(f.HeaderSize, info.size()), 0);
        if (!masksInside) {
            for (uint32_t mask : f.Masks) {
                Put32(info, mask);
            }
        }
    }
    for (uint32_t color : f.Colors) {
        info.push_back(uint8_t(color));
        info.push_back(uint8_t(color >> 8));
        info.push_back(uint8_t(color >> 16));
        if (!core) {
            info.push_back(0);
        }
    }
    std::vector<uint8_t> out = {uint8_t(f.Type[0]), uint8_t(f.Type[1])};
    Put32(out, uint32_t(14 + info.size() + f.GapBytes + f.Pixels.size()));
    Put32(out, 0);
    Put32(out, f.OffsetField.value_or(uint32_t(14 + info.size() + f.GapBytes)));
    info.resize(info.size() + f.GapBytes, 0xA5);
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), f.Pixels.begin(), f.Pixels.end());
    return out;
}

inline size_t Stride(int32_t width, unsigned bitCount)
{
    return ((size_t(width) * bitCount + 31) & ~size_t(31)) / 8;
}

// Packs one value per pixel (from value(x, y), y counted from the top) into padded rows,
// bottom-up unless topDown. 16 and 32 bits are stored little-endian, 24 bits as three bytes.
inline std::vector<uint8_t> PackRows(int32_t width, int32_t height, unsigned bitCount,
                                     const std::function<uint32_t(int32_t, int32_t)>& value,
                                     bool topDown = false)
{
    const size_t stride = Stride(width, bitCount);
    std::vector<uint8_t> out(stride * size_t(height), 0);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = out.data() + stride * size_t(topDown ? y : height - 1 - y);
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t v = value(x, y);
            if (bitCount < 8) {
                const unsigned perByte = 8 / bitCount;
                const unsigned shift = (perByte - 1 - unsigned(x) % perByte) * bitCount;
                row[size_t(x) / perByte] = uint8_t(row[size_t(x) / perByte] | v << shift);
            } else {
                for (unsigned b = 0; b < bitCount / 8; ++b) {
                    row[size_t(x) * (bitCount / 8) + b] = uint8_t(v >> (8 * b));
                }
            }
        }
    }
    return out;
}

// Every pixel of a bitmap, row by row from the top, as read through its canvas.
inline std::vector<kapto::TColor> CanvasPixels(kapto::TBitmap& bitmap)
{
    std::vector<kapto::TColor> pixels;
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            pixels.push_back(bitmap.Canvas().GetPixel(x, y));
        }
    }
    return pixels;
}

inline void LoadBytes(kapto::TBitmap& bitmap, const std::vector<uint8_t>& bytes)
{
    kapto::TMemoryStream stream(bytes);
    bitmap.LoadFromStream(stream);
}

inline std::vector<uint8_t> SaveBytes(kapto::TBitmap& bitmap)
{
    kapto::TMemoryStream stream;
    bitmap.SaveToStream(stream);
    return stream.Bytes();
}

} // namespace bmptest
