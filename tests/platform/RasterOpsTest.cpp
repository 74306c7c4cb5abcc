// Fills on every bit count, with rectangle edges inside bytes.

#include "platform/RasterOps.h"
#include "platform/DIB.h"

#include <gtest/gtest.h>

using namespace kapto;

TEST(RasterOpsTest, FillsExactlyTheRectangleAtEveryDepth)
{
    const TRect rects[] = {{3, 1, 20, 5}, {1, 0, 3, 2}, {0, 0, 23, 6}, {8, 2, 16, 3}, {5, 3, 6, 4}};
    for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        for (const TRect& rect : rects) {
            TBitmapInfoHeader header;
            header.Size = 40;
            header.Width = 23;
            header.Height = 6;
            header.Planes = 1;
            header.BitCount = bits;
            HBITMAP image =
                CreateDIBSection(header, {{0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0}}, nullptr);
            ASSERT_NE(image, nullptr);
            FillImage(*image, rect, clWhite);
            for (int32_t y = 0; y < 6; ++y) {
                for (int32_t x = 0; x < 23; ++x) {
                    const bool inside =
                        x >= rect.Left && x < rect.Right && y >= rect.Top && y < rect.Bottom;
                    ASSERT_EQ(ReadPixel(*image, x, y), inside ? clWhite : clBlack)
                        << bits << " bits at " << x << "," << y << " rect " << rect.Left;
                }
            }
        }
    }
}
