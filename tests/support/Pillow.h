#pragma once
// Pillow, run through Debian's python3, as an independent decoder of test files.

#include <cstdint>
#include <string>
#include <vector>

struct TPillowPicture
{
    std::string Error; // what went wrong; empty on success
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint8_t> Rgb; // red, green, blue per pixel, rows from the top
};

// The file (written under a name with the given suffix, such as ".bmp") as Pillow decodes it
// and converts it to RGB.
TPillowPicture DecodeWithPillow(const std::vector<uint8_t>& file, const std::string& suffix);
