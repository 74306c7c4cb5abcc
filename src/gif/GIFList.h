#pragma once
// The two owning item lists of a GIF image: the frames of the image and the extensions in
// front of one frame's image descriptor.

#include "graphics/Graphic.h"
#include "runtime/Stream.h"

#include <memory>
#include <string>
#include <vector>

namespace kapto {

class TGIFExtension;
class TGIFImage;
class TGIFSubImage;

// An owning list of GIF items; releasing an item removes it from the list.
template <typename T> class TGIFList : public TPersistent
{
public:
    explicit TGIFList(TGIFImage* image) : m_image(image) {}

    TGIFImage* Image() const { return m_image; }
    // Forwards a warning to the owning image.
    void Warning(TPersistent& sender, int severity, const std::string& message);

    int Count() const { return int(m_items.size()); }
    T& operator[](int index) const { return *m_items[size_t(index)]; }
    void Add(std::unique_ptr<T> item) { m_items.push_back(std::move(item)); }
    void Clear() { m_items.clear(); }

private:
    TGIFImage* m_image;
    std::vector<std::unique_ptr<T>> m_items;
};

class TGIFImageList : public TGIFList<TGIFSubImage>
{
public:
    using TGIFList::TGIFList;
    ~TGIFImageList() override;

    const char* ClassName() const override { return "TGIFImageList"; }
    // Reads frames up to the trailer (left unread), the end of the stream, or a byte that
    // starts no block ("Unknown GIF block type"). A frame that fails to read is released and
    // the exception passes; frames read before it stay.
    void LoadFromStream(TStream& stream, TGIFImage& image);
};

class TGIFExtensionList : public TGIFList<TGIFExtension>
{
public:
    using TGIFList::TGIFList;
    ~TGIFExtensionList() override;

    const char* ClassName() const override { return "TGIFExtensionList"; }
    // Reads the run of extensions in front of an image descriptor; the byte that ends the run
    // is left unread. Raises "Unknown extension type" for a label without a class.
    void LoadFromStream(TStream& stream, TGIFSubImage& subImage);
};

} // namespace kapto
