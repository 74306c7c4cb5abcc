#pragma once
// Writing one converted image: a BMP straight from the bitmap, or a PNG with the key colour,
// opacity and brightness rules of the options.

#include "app/Options.h"

#include <string>
#include <vector>

namespace kapto {

class TBitmap;
class TStream;

// Notes on a file that was written all the same, as the user is to read them (one line each,
// without the file's name).
using TWarnings = std::vector<std::string>;

// Writes the 24-bit bitmap under the name in the format, BMP as it is or PNG with the rules of
// the options. Raises the file layer's or the codec's exception when the file cannot be
// written; an existing file of that name is then left as it was.
TWarnings SaveConverted(const TConversionOptions& options, TTargetFormat format,
                        const std::string& fileName, TBitmap& bitmap);

// The key colour the options choose: a corner pixel of the bitmap or the swatch colour; -1,
// which equals no pixel, when no source is chosen.
TColor ChosenKeyColor(const TConversionOptions& options, TBitmap& bitmap);

// The bytes SaveConverted writes in that format, into a stream, and its notes: with Optimize,
// when the optimised file would not read back to exactly the plain file's pixels and alpha,
// the plain file is written and a note says so.
TWarnings EncodeConverted(const TConversionOptions& options, TTargetFormat format, TBitmap& bitmap,
                          TStream& stream);

} // namespace kapto
