#pragma once
// GIF colour tables (GIF89a sections 19 and 21): up to 256 red, green, blue triples.

#include "graphics/Graphic.h"
#include "platform/Color.h"
#include "runtime/Stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kapto {

class TGIFHeader;
class TGIFSubImage;

struct TGIFColor
{
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
};

// Most entries a colour table can hold (size code 7).
constexpr int kMaxGIFColors = 256;

class TGIFColorMap : public TPersistent
{
public:
    // Forwards a warning to the image the table belongs to; nothing for a loose table.
    virtual void Warning(TPersistent& sender, int severity, const std::string& message) = 0;

    // Reads count (2 to 256) triples after emptying the table; raises "Premature end of data".
    void LoadFromStream(TStream& stream, int count);
    void Clear();

    int Count() const { return m_count; }
    int Capacity() const { return m_capacity; }
    bool Optimized() const { return m_optimized; }
    const TGIFColor& Colors(int index) const { return m_colors[size_t(index)]; }
    // A palette with Count entries in table order, flagged no-collapse; none when empty.
    HPALETTE MakePalette() const;

private:
    std::vector<TGIFColor> m_colors;
    int m_count = 0;
    int m_capacity = 0;
    bool m_optimized = false;
};

class TGIFGlobalColorMap : public TGIFColorMap
{
public:
    explicit TGIFGlobalColorMap(TGIFHeader* header) : m_header(header) {}
    const char* ClassName() const override { return "TGIFGlobalColorMap"; }
    void Warning(TPersistent& sender, int severity, const std::string& message) override;

private:
    TGIFHeader* m_header;
};

class TGIFLocalColorMap : public TGIFColorMap
{
public:
    explicit TGIFLocalColorMap(TGIFSubImage* subImage) : m_subImage(subImage) {}
    const char* ClassName() const override { return "TGIFLocalColorMap"; }
    void Warning(TPersistent& sender, int severity, const std::string& message) override;

private:
    TGIFSubImage* m_subImage;
};

} // namespace kapto
