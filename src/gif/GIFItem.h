#pragma once
// The pieces of a GIF stream that are not frames or extensions: the base of every item, the
// header with the logical screen descriptor, the trailer and raw data sub-blocks (GIF89a
// sections 17, 18 and 27).

#include "gif/GIFColorMap.h"
#include "graphics/Graphic.h"
#include "runtime/Stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kapto {

class TGIFImage;

// Base of the header, frames, extensions and trailer; knows the image that owns it.
class TGIFItem : public TPersistent
{
public:
    explicit TGIFItem(TGIFImage* image) : m_image(image) {}

    TGIFImage* Image() const { return m_image; }
    // Lowest GIF version the item needs: 1 for 87a, 2 for 89a.
    virtual int GetVersion() const { return 1; }
    // Forwards a warning to the owning image.
    virtual void Warning(TPersistent& sender, int severity, const std::string& message);
    // Reads the item from the stream's position; raises GIFException on fatal problems.
    virtual void LoadFromStream(TStream& stream) = 0;
    // Opens the file (writing by others denied) and reads the item from it.
    void LoadFromFile(const std::string& fileName);

private:
    TGIFImage* m_image;
};

// The logical screen descriptor, as its 7 bytes were read.
struct TGIFScreenDescriptor
{
    uint16_t ScreenWidth = 0;
    uint16_t ScreenHeight = 0;
    uint8_t PackedFields = 0;
    uint8_t BackgroundColorIndex = 0;
    uint8_t AspectRatio = 0;
};

class TGIFHeader : public TGIFItem
{
public:
    explicit TGIFHeader(TGIFImage* image);

    const char* ClassName() const override { return "TGIFHeader"; }
    // Reads signature, version, screen descriptor and global colour table.
    void LoadFromStream(TStream& stream) override;
    void Clear();

    const TGIFScreenDescriptor& Descriptor() const { return m_descriptor; }
    void SetWidth(uint16_t width) { m_descriptor.ScreenWidth = width; }
    void SetHeight(uint16_t height) { m_descriptor.ScreenHeight = height; }
    // The three version characters as read ("87a", "89a" or anything else).
    const std::string& Version() const { return m_version; }
    TGIFGlobalColorMap& ColorMap() { return m_colorMap; }
    const TGIFGlobalColorMap& ColorMap() const { return m_colorMap; }

private:
    TGIFScreenDescriptor m_descriptor;
    std::string m_version;
    TGIFGlobalColorMap m_colorMap;
};

class TGIFTrailer : public TGIFItem
{
public:
    using TGIFItem::TGIFItem;

    const char* ClassName() const override { return "TGIFTrailer"; }
    // Warns "Invalid Image trailer" when a byte other than ";" stands where the trailer
    // belongs; the end of the stream is accepted silently.
    void LoadFromStream(TStream& stream) override;
};

// One raw data sub-block: a size byte and that many bytes.
class TGIFBlock
{
public:
    explicit TGIFBlock(uint8_t size) : m_data(size) {}

    uint8_t Size() const { return uint8_t(m_data.size()); }
    std::vector<uint8_t>& Data() { return m_data; }
    const std::vector<uint8_t>& Data() const { return m_data; }
    // Reads exactly Size bytes or raises "Premature end of data".
    void LoadFromStream(TStream& stream);

private:
    std::vector<uint8_t> m_data;
};

} // namespace kapto
