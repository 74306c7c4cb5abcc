#pragma once
// Test-side readers of written PNG files: a chunk splitter with its own CRC check, inflation of
// the image data, and libpng as an independent decoder.

#include <cstdint>
#include <string>
#include <vector>

struct TParsedChunk
{
    std::string Type;
    std::vector<uint8_t> Data;
    bool CrcMatches = false;
};

// The chunks after the 8-byte signature; empty when the signature is wrong. A chunk running
// past the end stops the split.
std::vector<TParsedChunk> SplitChunks(const std::vector<uint8_t>& file);

// The types of the chunks in file order, joined by spaces ("IHDR IDAT IEND").
std::string ChunkTypes(const std::vector<TParsedChunk>& chunks);

// The data of every IDAT chunk concatenated and inflated; throws std::runtime_error when the
// zlib stream is broken or does not end exactly at the end of the data.
std::vector<uint8_t> InflateImageData(const std::vector<TParsedChunk>& chunks);
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& compressed);

// A file as libpng decodes it: header fields and the rows de-interlaced but otherwise as
// stored (packed samples, 16-bit big-endian).
struct TDecodedPng
{
    std::string Error; // libpng's error text; empty on success
    uint32_t Width = 0;
    uint32_t Height = 0;
    int BitDepth = 0;
    int ColorType = 0;
    int Interlace = 0;
    std::vector<std::vector<uint8_t>> Rows;
    std::vector<uint8_t> Palette; // red, green, blue per entry
};

TDecodedPng DecodeWithLibpng(const std::vector<uint8_t>& file);

// Sample `channel` of pixel x in a decoded row of `channels` samples per pixel at bitDepth.
unsigned SampleAt(const std::vector<uint8_t>& row, uint32_t x, unsigned channel, unsigned channels,
                  int bitDepth);

// A picture as libpng encodes it, for sources the test writer cannot make (Adam7). Rows are
// packed PNG samples, 16-bit big-endian; palette is red, green, blue per entry; an empty
// transparency leaves out tRNS, gamma 0 leaves out gAMA.
struct TLibpngPicture
{
    uint32_t Width = 0;
    uint32_t Height = 0;
    int BitDepth = 8;
    int ColorType = 0;
    bool Interlaced = false;
    std::vector<std::vector<uint8_t>> Rows;
    std::vector<uint8_t> Palette;
    std::vector<uint8_t> Transparency; // palette alphas, or the key's 16-bit samples big-endian
    uint32_t Gamma = 0;
};

std::vector<uint8_t> EncodeWithLibpng(const TLibpngPicture& picture);

// pngcheck's verdict on a file; true when the tool was not found when the tests were
// configured.
bool PngcheckAccepts(const std::vector<uint8_t>& file);
