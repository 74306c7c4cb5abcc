#pragma once
// Test images made with the bitmap itself.

#include "graphics/Bitmap.h"

#include <functional>
#include <string>

// A 24-bit bitmap whose pixel (x, y) has the colour the function gives.
void FillBitmap(kapto::TBitmap& bitmap, int width, int height,
                const std::function<kapto::TColor(int x, int y)>& color);
// Writes a 24-bit BMP file of one colour (or of the pattern) and returns its name.
std::string WriteTestBmp(const std::string& fileName, int width, int height, kapto::TColor color);
std::string WriteTestBmp(const std::string& fileName, int width, int height,
                         const std::function<kapto::TColor(int x, int y)>& color);
// A BMP of noise from the seed: it deflates slowly and hardly at all.
std::string WriteNoiseBmp(const std::string& fileName, int width, int height, uint32_t seed);
