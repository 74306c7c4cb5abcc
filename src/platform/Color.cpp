#include "platform/Color.h"

#include <algorithm>
#include <array>

namespace kapto {

namespace {

// The system colour table: the classic desktop scheme, by system colour number.
constexpr std::array<TColor, 31> kSystemColors = {
    0xC8D0D4, // 0 scroll bar
    0xA56E3A, // 1 background
    0x6A240A, // 2 active caption
    0x808080, // 3 inactive caption
    0xC8D0D4, // 4 menu
    0xFFFFFF, // 5 window
    0x000000, // 6 window frame
    0x000000, // 7 menu text
    0x000000, // 8 window text
    0xFFFFFF, // 9 caption text
    0xC8D0D4, // 10 active border
    0xC8D0D4, // 11 inactive border
    0x808080, // 12 application workspace
    0x6A240A, // 13 highlight
    0xFFFFFF, // 14 highlight text
    0xC8D0D4, // 15 button face
    0x808080, // 16 button shadow
    0x808080, // 17 grey text
    0x000000, // 18 button text
    0xC8D0D4, // 19 inactive caption text
    0xFFFFFF, // 20 button highlight
    0x404040, // 21 3D dark shadow
    0xC8D0D4, // 22 3D light
    0x000000, // 23 info text
    0xE1FFFF, // 24 info background
    0xB5B5B5, // 25 unused slot
    0x800000, // 26 hot light
    0xF0CAA6, // 27 gradient active caption
    0xC0C0C0, // 28 gradient inactive caption
    0x6A240A, // 29 menu highlight
    0xC8D0D4, // 30 menu bar
};

} // namespace

TColor GetSysColor(int index)
{
    return index >= 0 && size_t(index) < kSystemColors.size() ? kSystemColors[size_t(index)] : 0;
}

TColor ResolveColor(TColor color)
{
    return color < 0 ? GetSysColor(color & 0xFF) : color;
}

size_t TPalette::NearestIndex(TColor color) const
{
    size_t best = 0;
    int bestDistance = 1 << 30;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const int dr = int(m_entries[i].Red) - RedOf(color);
        const int dg = int(m_entries[i].Green) - GreenOf(color);
        const int db = int(m_entries[i].Blue) - BlueOf(color);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
            if (distance == 0) {
                break;
            }
        }
    }
    return best;
}

HPALETTE StandardPalette16()
{
    static const HPALETTE palette =
        std::make_shared<const TPalette>(std::vector<TPaletteEntry>{{0x00, 0x00, 0x00, 0},
                                                                    {0x80, 0x00, 0x00, 0},
                                                                    {0x00, 0x80, 0x00, 0},
                                                                    {0x80, 0x80, 0x00, 0},
                                                                    {0x00, 0x00, 0x80, 0},
                                                                    {0x80, 0x00, 0x80, 0},
                                                                    {0x00, 0x80, 0x80, 0},
                                                                    {0x80, 0x80, 0x80, 0},
                                                                    {0xC0, 0xC0, 0xC0, 0},
                                                                    {0xFF, 0x00, 0x00, 0},
                                                                    {0x00, 0xFF, 0x00, 0},
                                                                    {0xFF, 0xFF, 0x00, 0},
                                                                    {0x00, 0x00, 0xFF, 0},
                                                                    {0xFF, 0x00, 0xFF, 0},
                                                                    {0x00, 0xFF, 0xFF, 0},
                                                                    {0xFF, 0xFF, 0xFF, 0}});
    return palette;
}

HPALETTE CreateHalftonePalette()
{
    std::vector<TPaletteEntry> entries;
    entries.reserve(256);
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                entries.push_back({uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51), 0});
            }
        }
    }
    // Forty greys between the cube's own grey steps.
    for (int i = 1; i <= 40; ++i) {
        const uint8_t level = uint8_t(i * 255 / 41);
        entries.push_back({level, level, level, 0});
    }
    return std::make_shared<const TPalette>(std::move(entries));
}

HPALETTE PaletteFromColorTable(const std::vector<TRGBQuad>& colorTable)
{
    if (colorTable.empty()) {
        return nullptr;
    }
    std::vector<TPaletteEntry> entries;
    const size_t count = std::min<size_t>(colorTable.size(), 256);
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        entries.push_back({colorTable[i].Red, colorTable[i].Green, colorTable[i].Blue, 0});
    }
    return std::make_shared<const TPalette>(std::move(entries));
}

std::vector<TRGBQuad> ColorTableFromPalette(const TPalette& palette)
{
    std::vector<TRGBQuad> table;
    const size_t count = std::min<size_t>(palette.Count(), 256);
    table.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const TPaletteEntry& e = palette.Entries()[i];
        table.push_back({e.Blue, e.Green, e.Red, 0});
    }
    return table;
}

} // namespace kapto
