#include "app/Codecs.h"

#include "gif/GIFImage.h"
#include "graphics/Picture.h"
#include "jpeg/JPEGImage.h"
#include "png/PNGObject.h"
#include "runtime/Language.h"

namespace kapto {

const TGraphicClass& JPEGImageClass()
{
    return GraphicClassOf<TJPEGImage>("TJPEGImage");
}

const TGraphicClass& PNGObjectClass()
{
    return GraphicClassOf<TPNGObject>("TPNGObject");
}

const TGraphicClass& GIFImageClass()
{
    return GraphicClassOf<TGIFImage>("TGIFImage");
}

TCodecRegistration::TCodecRegistration()
{
    const char* jpeg = InLanguage("JPEG イメージファイル", "JPEG Image File");
    RegisterImageFormat("jpeg", jpeg, JPEGImageClass());
    RegisterImageFormat("jpg", jpeg, JPEGImageClass());
    RegisterImageFormat("PNG", "Portable Network Graphics", PNGObjectClass());
    RegisterImageFormat("GIF", "GIF Image", GIFImageClass());
}

TCodecRegistration::~TCodecRegistration()
{
    UnregisterImageClass(GIFImageClass());
    UnregisterImageClass(PNGObjectClass());
    UnregisterImageClass(JPEGImageClass());
}

} // namespace kapto
