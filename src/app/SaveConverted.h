#pragma once
// Writing one converted image: a BMP straight from the bitmap, or a PNG with the key colour,
// opacity and brightness rules of the options.

#include "app/Options.h"

#include <string>

namespace kapto {

class TBitmap;
class TStream;

// Writes the 24-bit bitmap under the name: as BMP when the name ends in ".bmp" (any case),
// else as PNG. Raises the file layer's or the codec's exception when the file cannot be
// written; an existing file of that name is then left as it was.
void SaveConverted(const TConversionOptions& options, const std::string& fileName, TBitmap& bitmap);

// The key colour the options choose: a corner pixel of the bitmap or the swatch colour; -1,
// which equals no pixel, when no source is chosen.
TColor ChosenKeyColor(const TConversionOptions& options, TBitmap& bitmap);

// The bytes SaveConverted writes for that name, into a stream: the file format follows the
// name's extension, nothing else of the name counts.
void EncodeConverted(const TConversionOptions& options, const std::string& fileName,
                     TBitmap& bitmap, TStream& stream);

} // namespace kapto
