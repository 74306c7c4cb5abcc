// Row filters, the per-row filter choice and Adam7 pass widths on crafted rows.
#include "png/PNGRows.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kapto;

using TBytes = std::vector<uint8_t>;

TEST(PNGRows, EachFilterOnACraftedRow)
{
    // Three bytes per pixel; the Average sum 50 + 255 would overflow a byte.
    const TBytes previous = {90, 210, 40, 120, 180, 255};
    const TBytes raw = {100, 200, 50, 110, 190, 70};
    struct TCase
    {
        TFilter filter;
        TBytes expected;
    };
    const TCase cases[] = {
        {TFilter::None, {100, 200, 50, 110, 190, 70}}, {TFilter::Sub, {100, 200, 50, 10, 246, 20}},
        {TFilter::Up, {10, 246, 10, 246, 10, 71}},     {TFilter::Average, {55, 95, 30, 0, 0, 174}},
        {TFilter::Paeth, {10, 246, 10, 246, 10, 71}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(int(c.filter));
        TBytes out(raw.size());
        FilterRow(c.filter, raw.data(), previous.data(), raw.size(), 3, out.data());
        EXPECT_EQ(out, c.expected);
    }
}

TEST(PNGRows, PaethPredictorTieOrder)
{
    // One byte per pixel. Byte 0 predicts from b alone; byte 1 has p nearest a; byte 2 ties b
    // with c (b wins); byte 3 has p equal to c.
    const TBytes previous = {120, 120, 100, 110};
    const TBytes raw = {100, 130, 90, 77};
    TBytes out(raw.size());
    FilterRow(TFilter::Paeth, raw.data(), previous.data(), raw.size(), 1, out.data());
    EXPECT_EQ(out, (TBytes{236, 30, 246, 233}));
}

TEST(PNGRows, FilterChoicePerRow)
{
    const TFilterSet all{TFilter::None, TFilter::Sub, TFilter::Up, TFilter::Average,
                         TFilter::Paeth};
    struct TCase
    {
        const char* name;
        TFilterSet filters;
        std::vector<TBytes> rows; // the last row's choice is checked
        TFilter expected;
    };
    const TCase cases[] = {
        {"both score 0: None though not in the set",
         {TFilter::Sub, TFilter::Up},
         {{1, 2, 4, 8}},
         TFilter::None},
        {"uniform row ties: the earlier None wins", all, {{7, 7, 7, 7, 7}}, TFilter::None},
        {"Sub scores higher", {TFilter::Sub, TFilter::Up}, {{10, 20, 30, 40, 50}}, TFilter::Sub},
        {"Up scores higher",
         {TFilter::Sub, TFilter::Up},
         {{0, 50, 3, 90, 7}, {5, 55, 8, 95, 12}},
         TFilter::Up},
        {"equal to the byte two back counts",
         {TFilter::Sub, TFilter::Up},
         {{1, 2, 1, 2, 1, 2}},
         TFilter::Up},
        {"rows below 3 bytes score 0", {TFilter::Sub, TFilter::Up}, {{9, 9}}, TFilter::None},
        {"a single filter is taken at once", {TFilter::Paeth}, {{1, 2, 4, 8}}, TFilter::Paeth},
        {"default Sub on a short row", {TFilter::Sub}, {{9}}, TFilter::Sub},
        {"None alone", {TFilter::None}, {{10, 20, 30, 40}}, TFilter::None},
        {"empty set", {}, {{10, 20, 30, 40}}, TFilter::None},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TRowFilter filter(c.filters, 16, 1);
        const uint8_t* out = nullptr;
        for (const TBytes& row : c.rows) {
            out = filter.Filter(row.data(), row.size());
        }
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out[0], uint8_t(c.expected));
        const TBytes& last = c.rows.back();
        const TBytes& previous = c.rows.size() > 1 ? c.rows[c.rows.size() - 2] : TBytes(16, 0);
        TBytes expected(last.size());
        FilterRow(c.expected, last.data(), previous.data(), last.size(), 1, expected.data());
        EXPECT_EQ(TBytes(out + 1, out + 1 + last.size()), expected);
    }
}

TEST(PNGRows, RestartForgetsThePreviousRow)
{
    TRowFilter filter({TFilter::Up}, 4, 1);
    const TBytes row = {5, 6, 7, 8};
    filter.Filter(row.data(), row.size());
    filter.Restart();
    const uint8_t* out = filter.Filter(row.data(), row.size());
    EXPECT_EQ(TBytes(out + 1, out + 5), row);
}

TEST(PNGRows, Adam7PassWidths)
{
    struct TCase
    {
        uint32_t width;
        uint32_t expected[7];
    };
    const TCase cases[] = {
        {1, {1, 0, 1, 0, 1, 0, 1}}, {2, {1, 0, 1, 0, 1, 1, 2}}, {3, {1, 0, 1, 1, 2, 1, 3}},
        {5, {1, 1, 2, 1, 3, 2, 5}}, {8, {1, 1, 2, 2, 4, 4, 8}}, {9, {2, 1, 3, 2, 5, 4, 9}},
    };
    for (const TCase& c : cases) {
        for (size_t pass = 0; pass < 7; ++pass) {
            EXPECT_EQ(Adam7PassWidth(c.width, kAdam7Passes[pass]), c.expected[pass])
                << "width " << c.width << " pass " << pass + 1;
        }
    }
}
