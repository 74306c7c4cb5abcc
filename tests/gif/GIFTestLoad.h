#pragma once
// Loading test GIFs from bytes, with the warnings the reader reports collected in order.

#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"
#include "runtime/Stream.h"
#include "support/GIFTestWriter.h"
#include "support/Raised.h"

#include <memory>
#include <string>
#include <vector>

namespace giftest {

struct TLoaded
{
    std::unique_ptr<kapto::TGIFImage> image = std::make_unique<kapto::TGIFImage>();
    std::vector<std::string> warnings;
    int64_t endPosition = 0;
};

// Loads the bytes; exceptions pass to the caller.
inline TLoaded LoadGIF(const TBytes& bytes)
{
    TLoaded loaded;
    auto* warnings = &loaded.warnings;
    loaded.image->OnWarning = [warnings](kapto::TPersistent&, int severity,
                                         const std::string& message) {
        warnings->push_back(severity == 1 ? message : "severity " + std::to_string(severity));
    };
    kapto::TMemoryStream stream(bytes);
    loaded.image->LoadFromStream(stream);
    loaded.endPosition = stream.Position();
    return loaded;
}

// The message of the GIFException that loading raises, or "" when none is raised.
inline std::string LoadError(const TBytes& bytes)
{
    return MessageOf<kapto::GIFException>([&bytes] { LoadGIF(bytes); }, "");
}

// The pixel indices of a frame as a vector.
inline TBytes FrameData(kapto::TGIFSubImage& frame)
{
    return frame.Data() == nullptr ? TBytes()
                                   : TBytes(frame.Data(), frame.Data() + frame.DataSize());
}

} // namespace giftest
