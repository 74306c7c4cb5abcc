#pragma once
// giflib as an independent GIF encoder and decoder for the tests.

#include "support/GIFTestWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

struct TOracleFrame
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    TBytes indices;            // row-major, rows top to bottom
    std::vector<uint32_t> rgb; // the table that applies (local, else global) as 0xRRGGBB
};

struct TOracleImage
{
    bool ok = false;
    std::string error;
    int width = 0;
    int height = 0;
    std::vector<TOracleFrame> frames;
};

// Decodes every frame with giflib.
TOracleImage DecodeWithGiflib(const TBytes& bytes);

struct TOracleInput
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    TBytes indices;
    bool interlaced = false;
};

// Encodes frames with giflib under a global table of 2 << sizeCode entries (ColorTable's
// colours), with a loop extension when there are several frames.
TBytes EncodeWithGiflib(int screenWidth, int screenHeight, int sizeCode,
                        const std::vector<TOracleInput>& frames);

} // namespace giftest
