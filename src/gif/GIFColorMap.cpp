// GIF colour tables (GIF89a sections 19 and 21), read as red, green, blue triples.

#include "gif/GIFColorMap.h"

#include "gif/GIFItem.h"
#include "gif/GIFStream.h"
#include "gif/GIFSubImage.h"
#include "runtime/Assert.h"

#include <algorithm>

namespace kapto {

namespace {

// The platform's no-collapse palette flag: each entry keeps its own slot.
constexpr uint8_t kPaletteNoCollapse = 4;

} // namespace

void TGIFColorMap::Clear()
{
    m_count = 0;
    m_optimized = false;
}

void TGIFColorMap::LoadFromStream(TStream& stream, int count)
{
    KAPTO_ASSERT(count >= 2 && count <= kMaxGIFColors);
    Clear();
    if (count >= m_capacity) {
        m_capacity = count <= 16 ? 16 : std::min((count + 31) / 32 * 32, kMaxGIFColors);
        m_colors.resize(size_t(m_capacity));
    }
    uint8_t bytes[3 * kMaxGIFColors];
    ReadCheck(stream, bytes, size_t(3 * count));
    for (int i = 0; i < count; ++i) {
        m_colors[size_t(i)] = TGIFColor{bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
    }
    m_count = count;
    // The sort flag of the file is not taken over: the table was not sorted by this program.
    m_optimized = false;
}

HPALETTE TGIFColorMap::MakePalette() const
{
    if (m_count == 0) {
        return nullptr;
    }
    std::vector<TPaletteEntry> entries(static_cast<size_t>(m_count));
    for (int i = 0; i < m_count; ++i) {
        const TGIFColor& color = m_colors[size_t(i)];
        entries[size_t(i)] = TPaletteEntry{color.Red, color.Green, color.Blue, kPaletteNoCollapse};
    }
    return std::make_shared<const TPalette>(std::move(entries));
}

void TGIFGlobalColorMap::Warning(TPersistent& sender, int severity, const std::string& message)
{
    if (m_header != nullptr) {
        m_header->Warning(sender, severity, message);
    }
}

void TGIFLocalColorMap::Warning(TPersistent& sender, int severity, const std::string& message)
{
    if (m_subImage != nullptr) {
        m_subImage->Warning(sender, severity, message);
    }
}

} // namespace kapto
