#pragma once
// Row geometry, the five row filters and the Adam7 pass tables of the PNG standard
// (ISO/IEC 15948, clauses 8 and 9), shared by the writer and the reader.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kapto {

// The PNG colour types by their standard numbers.
constexpr uint8_t COLOR_GRAYSCALE = 0;
constexpr uint8_t COLOR_RGB = 2;
constexpr uint8_t COLOR_PALETTE = 3;
constexpr uint8_t COLOR_GRAYSCALEALPHA = 4;
constexpr uint8_t COLOR_RGBALPHA = 6;

// Filter types by the numbers written before each row.
enum class TFilter : uint8_t
{
    None = 0,
    Sub = 1,
    Up = 2,
    Average = 3,
    Paeth = 4,
};

constexpr TFilter kAllFilters[] = {TFilter::None, TFilter::Sub, TFilter::Up, TFilter::Average,
                                   TFilter::Paeth};

// A set of filter types (bit n for filter type n).
class TFilterSet
{
public:
    constexpr TFilterSet() = default;
    TFilterSet(std::initializer_list<TFilter> filters)
    {
        for (TFilter filter : filters) {
            m_bits = uint8_t(m_bits | Bit(filter));
        }
    }
    bool Contains(TFilter filter) const { return (m_bits & Bit(filter)) != 0; }
    bool IsEmpty() const { return m_bits == 0; }
    // Whether the set holds this filter and no other.
    bool IsOnly(TFilter filter) const { return m_bits == Bit(filter); }
    bool operator==(const TFilterSet& other) const { return m_bits == other.m_bits; }
    bool operator!=(const TFilterSet& other) const { return m_bits != other.m_bits; }

private:
    static constexpr uint8_t Bit(TFilter filter) { return uint8_t(1u << unsigned(filter)); }
    uint8_t m_bits = 0;
};

struct TRowGeometry
{
    size_t RowBytes = 0;    // bytes of one unfiltered row
    size_t PixelStride = 0; // bytes of one complete pixel, at least 1
};

// The geometry of a row of the given width. Callers pass a colour type and bit depth pair of
// the PNG standard; the width is at most the image side limit, so nothing overflows.
TRowGeometry PNGRowGeometry(uint8_t colorType, uint8_t bitDepth, uint64_t width);

// One pass of the Adam7 interlace method.
struct TAdam7Pass
{
    uint32_t StartRow;
    uint32_t StartColumn;
    uint32_t RowStep;
    uint32_t ColumnStep;
};

constexpr TAdam7Pass kAdam7Passes[7] = {
    {0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
    {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1},
};

// Pixels per row of a pass over an image of the given width.
inline uint32_t Adam7PassWidth(uint32_t width, const TAdam7Pass& pass)
{
    return width > pass.StartColumn ? (width - pass.StartColumn - 1) / pass.ColumnStep + 1 : 0;
}

// Filters one raw row with every filter of a set and picks the one to write. The previous raw
// row starts as zeros. Filtered rows carry their filter type byte first.
class TRowFilter
{
public:
    TRowFilter(TFilterSet filters, size_t maxRowBytes, size_t pixelStride);

    // Forgets the previous row, as at the start of an image or an interlace pass.
    void Restart();
    // Filters raw (rowBytes <= maxRowBytes) and returns the chosen filtered row: rowBytes + 1
    // bytes, valid until the next call. The raw row becomes the previous row.
    const uint8_t* Filter(const uint8_t* raw, size_t rowBytes);

private:
    TFilter Choose(size_t rowBytes) const;

    TFilterSet m_filters;
    size_t m_pixelStride;
    // Indexed by filter type; None's row is the raw row itself, each with the type byte first.
    std::vector<uint8_t> m_rows[5];
    std::vector<uint8_t> m_previous;
};

// Applies one filter to a raw row against the previous raw row, both rowBytes long; a and c
// are 0 for the first pixelStride bytes.
void FilterRow(TFilter filter, const uint8_t* raw, const uint8_t* previous, size_t rowBytes,
               size_t pixelStride, uint8_t* out);

// Reverses the filter of a row in place: row and previous (the unfiltered row above, zeros for
// the first row of an image or pass) are rowBytes long; a and c are 0 for the first pixelStride
// bytes. A filter type outside 0..4 leaves the row as it is.
void UnfilterRow(uint8_t filterType, uint8_t* row, const uint8_t* previous, size_t rowBytes,
                 size_t pixelStride);

// The score by which a filter is chosen: the positions j from 2 to rowBytes - 1 whose byte
// equals byte j - 1 or byte j - 2 of the same filtered row.
size_t FilterScore(const uint8_t* filtered, size_t rowBytes);

} // namespace kapto
