#pragma once
// A test-side PNG writer that builds files chunk by chunk, so that a test can put exactly one
// defect into an otherwise valid file: chunks are framed with the right length and CRC unless
// the test asks otherwise.

#include <cstdint>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

// A framed chunk: length, type, data and the CRC over type and data.
TBytes Chunk(const std::string& type, const TBytes& data);
// The same with a CRC of the test's choosing.
TBytes ChunkWithCrc(const std::string& type, const TBytes& data, uint32_t crc);
// Length and type only, with a length of the test's choosing.
TBytes ChunkHead(uint32_t length, const std::string& type);

// The PNG signature followed by the pieces.
TBytes PngFile(const std::vector<TBytes>& pieces);

// 13 bytes of IHDR data.
TBytes IhdrData(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType,
                uint8_t compression = 0, uint8_t filter = 0, uint8_t interlace = 0);
TBytes BigEndian32(uint32_t value);

// One zlib stream of the bytes (level 6).
TBytes Deflate(const TBytes& raw);

// A sequential image: every row given with filter type 0 in front.
TBytes UnfilteredRows(const std::vector<TBytes>& rows);

// A whole file: IHDR, the extra chunks, one IDAT holding the compressed rows, IEND.
TBytes SimplePng(const TBytes& ihdrData, const std::vector<TBytes>& rows,
                 const std::vector<TBytes>& chunksBeforeData = {});

// Gives every chunk that lies wholly inside the file the CRC its type and data call for.
void RecomputeCrcs(TBytes& file);

// The CRC the PNG standard prescribes over the bytes.
uint32_t PngCrc(const uint8_t* data, size_t size);
