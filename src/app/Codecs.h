#pragma once
// Entering the codecs' graphic classes in the picture registry at start and removing them at
// the end: JPEG ("jpeg", "jpg"), then PNG, then GIF, behind the built-in "bmp".

namespace kapto {

struct TGraphicClass;

const TGraphicClass& JPEGImageClass();
const TGraphicClass& PNGObjectClass();
const TGraphicClass& GIFImageClass();

// Registers the codecs for as long as the object lives.
class TCodecRegistration
{
public:
    TCodecRegistration();
    ~TCodecRegistration();
    TCodecRegistration(const TCodecRegistration&) = delete;
    TCodecRegistration& operator=(const TCodecRegistration&) = delete;
};

} // namespace kapto
