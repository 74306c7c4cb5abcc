#pragma once
// JPEG files written by the library's own encoder, independent of the code under test.

#include <cstdint>
#include <functional>
#include <vector>

struct TEncodeSettings
{
    int Width = 16;
    int Height = 16;
    int Components = 3; // 1 grey, 3 colour, 4 CMYK (stored as given: 255 minus the ink)
    int Quality = 90;
    int HorizontalSampling = 2; // of the luma component
    int VerticalSampling = 2;
    bool Progressive = false;
    int RestartRows = 0;
    bool AdobeMarker = true; // with 4 components: write the Adobe marker
    bool Ycck = false;       // with 4 components: store YCCK (the marker says so)
};

// Writes a JPEG of the settings with the samples the function gives (x, y, component).
std::vector<uint8_t> EncodeJpeg(const TEncodeSettings& settings,
                                const std::function<uint8_t(int x, int y, int c)>& sample);
