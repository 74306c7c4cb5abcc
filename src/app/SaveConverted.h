#pragma once
// Writing one converted image: a BMP straight from the bitmap, or a PNG with the key colour,
// opacity and brightness rules of the options.

#include "app/Options.h"

#include <string>

namespace kapto {

class TBitmap;
class TStream;

// Writes the 24-bit bitmap under the name in the format, BMP as it is or PNG with the rules of
// the options. Raises the file layer's or the codec's exception when the file cannot be
// written; an existing file of that name is then left as it was.
void SaveConverted(const TConversionOptions& options, TTargetFormat format,
                   const std::string& fileName, TBitmap& bitmap);

// The key colour the options choose: a corner pixel of the bitmap or the swatch colour; -1,
// which equals no pixel, when no source is chosen.
TColor ChosenKeyColor(const TConversionOptions& options, TBitmap& bitmap);

// The bytes SaveConverted writes in that format, into a stream.
void EncodeConverted(const TConversionOptions& options, TTargetFormat format, TBitmap& bitmap,
                     TStream& stream);

} // namespace kapto
