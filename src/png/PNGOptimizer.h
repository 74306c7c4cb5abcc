#pragma once
// The smallest lossless PNG of a picture: the colour type, bit depth, row filters and deflate
// that give the fewest bytes while decoding to exactly the same red, green, blue and alpha.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kapto {

class TPNGObject;
class TStream;

// A picture as a decoder hands it out: 8-bit red, green, blue and alpha per pixel, top row
// first.
struct TRGBAPicture
{
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint8_t> Pixels;
};

// The picture an image decodes to, for 8-bit colour types 2 and 6 without interlace (a tRNS
// key gives its colour alpha 0); false, with the picture left empty, for anything else.
bool DecodedPicture(const TPNGObject& png, TRGBAPicture& picture);

enum class TOptimizeOutcome
{
    Written,     // the optimised file is in the stream
    Larger,      // nothing written: the file would have more than the largest bytes allowed
    OtherPixels, // nothing written: the file does not read back to exactly the picture
};

// Writes the picture as a PNG with only IHDR, PLTE, tRNS, IDAT and IEND, the image data as one
// zlib stream cut into IDAT chunks of at most splitSize bytes. Before writing, the file is read
// back through this codec's own reader and compared with the picture's red, green, blue and
// alpha; for pictures of up to 4 MiB of rows, whose trials it ranks, it is also compared with
// largest(), the size of the caller's plain encoding. Nothing is written when either
// comparison fails: the caller writes its plain encoding then. Raises EWriteError on a short
// write.
TOptimizeOutcome WriteOptimizedPNG(const TRGBAPicture& picture, TStream& stream,
                                   const std::function<size_t()>& largest,
                                   size_t splitSize = 65535);

// Tests only: sees (and may change) every optimised file before it is read back; none by
// default.
using TOptimizedFileObserver = void (*)(std::vector<uint8_t>& file);
void SetOptimizedFileObserver(TOptimizedFileObserver observer);

} // namespace kapto
