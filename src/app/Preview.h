#pragma once
// What ">PNG" would write for one source with the options as they stand: the file's bytes,
// read back into RGBA pixels, and the facts a user checks before converting a whole folder.

#include "app/Options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kapto {

struct TPreviewResult
{
    std::string Error; // the message of a source that failed; nothing else is set
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Rgba; // red, green, blue, alpha per pixel, top row first
    std::vector<uint8_t> Png;  // the bytes the conversion writes
    bool Optimized = false;    // Png is the optimised file; the summary gives its size
    bool Keyed = false;        // a key colour was in use
    TColor Key = 0;
    TKeySource KeySource = TKeySource::None;
    uint64_t KeyPixels = 0;   // source pixels of the key colour, or within its tolerance
    uint64_t Transparent = 0; // alpha 0
    uint64_t Partial = 0;     // alpha 1 to 254
    uint64_t Opaque = 0;      // alpha 255
};

// Loads the source and converts it to PNG in memory through the same code as the run, then
// reads the PNG back. Failures are returned as the error message, never raised.
TPreviewResult RenderPreview(const std::string& source, const TConversionOptions& options);

// The one-line summary under the picture: size, key colour and where it came from, shares
// of transparent, partly transparent and opaque pixels, and a warning when the key colour
// covers none of the picture or more than 90 % of it; for an optimised file, its size.
std::string PreviewSummary(const TPreviewResult& result);

} // namespace kapto
