#pragma once
// Colour values ($00BBGGRR, red in the low byte), system colours and palettes.

#include <cstdint>
#include <memory>
#include <vector>

namespace kapto {

using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
// What a pixel read outside an image returns; equals no pixel.
constexpr TColor clInvalid = -1;
// No transparent colour chosen in a bitmap.
constexpr TColor clNoTransparency = 0x20000000;
// Marker on top of an RGB value asking for the nearest palette colour.
constexpr TColor kNearestPaletteMarker = 0x02000000;

inline uint8_t RedOf(TColor color)
{
    return uint8_t(color);
}
inline uint8_t GreenOf(TColor color)
{
    return uint8_t(color >> 8);
}
inline uint8_t BlueOf(TColor color)
{
    return uint8_t(color >> 16);
}
inline TColor RGBColor(uint8_t red, uint8_t green, uint8_t blue)
{
    return TColor(uint32_t(red) | uint32_t(green) << 8 | uint32_t(blue) << 16);
}

// The platform's colour for a system colour number (the low byte of a negative TColor).
TColor GetSysColor(int index);
// A negative value becomes the system colour (value and $FF); any other value is returned
// unchanged, the $02000000 marker included.
TColor ResolveColor(TColor color);

// A colour-table entry of a DIB: blue, green, red, 0.
struct TRGBQuad
{
    uint8_t Blue = 0;
    uint8_t Green = 0;
    uint8_t Red = 0;
    uint8_t Reserved = 0;
};

inline bool operator==(const TRGBQuad& a, const TRGBQuad& b)
{
    return a.Blue == b.Blue && a.Green == b.Green && a.Red == b.Red && a.Reserved == b.Reserved;
}

struct TPaletteEntry
{
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    uint8_t Flags = 0;
};

// A logical palette. Handles are shared pointers: an image holding one keeps it alive.
class TPalette
{
public:
    explicit TPalette(std::vector<TPaletteEntry> entries) : m_entries(std::move(entries)) {}
    const std::vector<TPaletteEntry>& Entries() const { return m_entries; }
    size_t Count() const { return m_entries.size(); }
    // Index of the entry closest to the colour (least squared distance; the first on ties).
    size_t NearestIndex(TColor color) const;

private:
    std::vector<TPaletteEntry> m_entries;
};

using HPALETTE = std::shared_ptr<const TPalette>;

// The standard 16-colour palette, created once and shared; never copied by an image.
HPALETTE StandardPalette16();
// A fresh halftone palette of the display: a 6x6x6 colour cube and a grey ramp, 256 entries.
HPALETTE CreateHalftonePalette();
// A new palette with the entries of the colour table (at most 256); none for an empty table.
HPALETTE PaletteFromColorTable(const std::vector<TRGBQuad>& colorTable);
// The entries of a palette as a colour table (at most 256).
std::vector<TRGBQuad> ColorTableFromPalette(const TPalette& palette);

// Properties of the display the images are made for: a true-colour display.
constexpr int kDisplayBitsPerPixel = 32;
constexpr int kDisplayPlanes = 1;

} // namespace kapto
