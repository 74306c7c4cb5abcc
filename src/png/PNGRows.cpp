#include "png/PNGRows.h"

#include "runtime/Assert.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kapto {

TRowGeometry PNGRowGeometry(uint8_t colorType, uint8_t bitDepth, uint64_t width)
{
    TRowGeometry geometry;
    switch (colorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE:
        geometry.RowBytes = size_t((width * bitDepth + 7) / 8);
        geometry.PixelStride = colorType == COLOR_GRAYSCALE && bitDepth == 16 ? 2 : 1;
        break;
    case COLOR_RGB:
        geometry.RowBytes = size_t(width * bitDepth * 3 / 8);
        geometry.PixelStride = size_t(bitDepth) * 3 / 8;
        break;
    case COLOR_GRAYSCALEALPHA:
        geometry.RowBytes = size_t(width * bitDepth * 2 / 8);
        geometry.PixelStride = bitDepth / 4;
        break;
    case COLOR_RGBALPHA:
        geometry.RowBytes = size_t(width * bitDepth * 4 / 8);
        geometry.PixelStride = bitDepth / 2;
        break;
    default:
        break;
    }
    geometry.PixelStride = std::max<size_t>(geometry.PixelStride, 1);
    return geometry;
}

namespace {

uint8_t PaethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) {
        return uint8_t(a);
    }
    return uint8_t(pb <= pc ? b : c);
}

} // namespace

void FilterRow(TFilter filter, const uint8_t* raw, const uint8_t* previous, size_t rowBytes,
               size_t pixelStride, uint8_t* out)
{
    const size_t lead = std::min(pixelStride, rowBytes);
    switch (filter) {
    case TFilter::None:
        std::memcpy(out, raw, rowBytes);
        break;
    case TFilter::Sub:
        std::memcpy(out, raw, lead);
        for (size_t i = lead; i < rowBytes; ++i) {
            out[i] = uint8_t(raw[i] - raw[i - pixelStride]);
        }
        break;
    case TFilter::Up:
        for (size_t i = 0; i < rowBytes; ++i) {
            out[i] = uint8_t(raw[i] - previous[i]);
        }
        break;
    case TFilter::Average:
        for (size_t i = 0; i < lead; ++i) {
            out[i] = uint8_t(raw[i] - previous[i] / 2);
        }
        for (size_t i = lead; i < rowBytes; ++i) {
            out[i] = uint8_t(raw[i] - (unsigned(raw[i - pixelStride]) + previous[i]) / 2);
        }
        break;
    case TFilter::Paeth:
        for (size_t i = 0; i < lead; ++i) {
            out[i] = uint8_t(raw[i] - PaethPredictor(0, previous[i], 0));
        }
        for (size_t i = lead; i < rowBytes; ++i) {
            const uint8_t predictor =
                PaethPredictor(raw[i - pixelStride], previous[i], previous[i - pixelStride]);
            out[i] = uint8_t(raw[i] - predictor);
        }
        break;
    }
}

void UnfilterRow(uint8_t filterType, uint8_t* row, const uint8_t* previous, size_t rowBytes,
                 size_t pixelStride)
{
    const size_t lead = std::min(pixelStride, rowBytes);
    switch (filterType) {
    case uint8_t(TFilter::Sub):
        for (size_t i = lead; i < rowBytes; ++i) {
            row[i] = uint8_t(row[i] + row[i - pixelStride]);
        }
        break;
    case uint8_t(TFilter::Up):
        for (size_t i = 0; i < rowBytes; ++i) {
            row[i] = uint8_t(row[i] + previous[i]);
        }
        break;
    case uint8_t(TFilter::Average):
        for (size_t i = 0; i < lead; ++i) {
            row[i] = uint8_t(row[i] + previous[i] / 2);
        }
        for (size_t i = lead; i < rowBytes; ++i) {
            row[i] = uint8_t(row[i] + (unsigned(row[i - pixelStride]) + previous[i]) / 2);
        }
        break;
    case uint8_t(TFilter::Paeth):
        for (size_t i = 0; i < lead; ++i) {
            row[i] = uint8_t(row[i] + PaethPredictor(0, previous[i], 0));
        }
        for (size_t i = lead; i < rowBytes; ++i) {
            row[i] = uint8_t(row[i] + PaethPredictor(row[i - pixelStride], previous[i],
                                                     previous[i - pixelStride]));
        }
        break;
    default:
        // None, and the types the standard does not define: the row is taken as it stands.
        break;
    }
}

size_t FilterScore(const uint8_t* filtered, size_t rowBytes)
{
    size_t score = 0;
    for (size_t j = 2; j < rowBytes; ++j) {
        if (filtered[j] == filtered[j - 1] || filtered[j] == filtered[j - 2]) {
            ++score;
        }
    }
    return score;
}

TRowFilter::TRowFilter(TFilterSet filters, size_t maxRowBytes, size_t pixelStride)
    : m_filters(filters), m_pixelStride(pixelStride), m_previous(maxRowBytes, 0)
{
    KAPTO_ASSERT(pixelStride >= 1);
    m_rows[size_t(TFilter::None)].assign(maxRowBytes + 1, 0);
    for (TFilter filter : {TFilter::Sub, TFilter::Up, TFilter::Average, TFilter::Paeth}) {
        if (m_filters.Contains(filter)) {
            m_rows[size_t(filter)].assign(maxRowBytes + 1, uint8_t(filter));
        }
    }
}

void TRowFilter::Restart()
{
    std::fill(m_previous.begin(), m_previous.end(), uint8_t(0));
}

TFilter TRowFilter::Choose(size_t rowBytes) const
{
    if (m_filters.IsEmpty() || m_filters.IsOnly(TFilter::None)) {
        return TFilter::None;
    }
    TFilter best = TFilter::None;
    size_t bestScore = 0;
    for (TFilter filter : kAllFilters) {
        if (!m_filters.Contains(filter)) {
            continue;
        }
        if (m_filters.IsOnly(filter)) {
            return filter;
        }
        const size_t score = FilterScore(m_rows[size_t(filter)].data() + 1, rowBytes);
        if (score > bestScore) {
            best = filter;
            bestScore = score;
        }
    }
    // With every candidate at 0 the row goes out unfiltered, even when None is not in the set.
    return best;
}

const uint8_t* TRowFilter::Filter(const uint8_t* raw, size_t rowBytes)
{
    KAPTO_ASSERT(rowBytes <= m_previous.size());
    uint8_t* rawCopy = m_rows[size_t(TFilter::None)].data() + 1;
    std::memcpy(rawCopy, raw, rowBytes);
    for (TFilter filter : {TFilter::Sub, TFilter::Up, TFilter::Average, TFilter::Paeth}) {
        if (m_filters.Contains(filter)) {
            FilterRow(filter, rawCopy, m_previous.data(), rowBytes, m_pixelStride,
                      m_rows[size_t(filter)].data() + 1);
        }
    }
    const TFilter chosen = Choose(rowBytes);
    std::memcpy(m_previous.data(), rawCopy, rowBytes);
    return m_rows[size_t(chosen)].data();
}

} // namespace kapto
