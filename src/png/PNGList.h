#pragma once
// The chunk list of a PNG image and the growable pointer array it is built on.

#include "png/Chunks.h"

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace kapto {

class TPNGObject;

// A growable array of pointers with an owner reference. TPointer is a raw pointer (items owned
// elsewhere) or a std::unique_ptr (items owned by the list). Reading an index outside the list
// gives none.
template <typename TPointer> class TPNGPointerList
{
public:
    explicit TPNGPointerList(TPNGObject* owner) : m_owner(owner) {}

    TPNGObject* Owner() const { return m_owner; }
    size_t Count() const { return m_items.size(); }
    auto Item(size_t index) const -> decltype(&*std::declval<TPointer>())
    {
        return index < m_items.size() ? &*m_items[index] : nullptr;
    }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    void Add(TPointer item) { m_items.push_back(std::move(item)); }
    // Inserts at position (0..Count), shifting the tail up. A position beyond the end of a
    // non-empty list inserts nothing and returns false; an empty list takes the item.
    bool Insert(TPointer item, size_t position)
    {
        if (m_items.empty()) {
            position = 0;
        } else if (position > m_items.size()) {
            return false;
        }
        m_items.insert(m_items.begin() + std::ptrdiff_t(position), std::move(item));
        return true;
    }
    // Removes the item at index; nothing for an index outside the list.
    void Delete(size_t index)
    {
        if (index < m_items.size()) {
            m_items.erase(m_items.begin() + std::ptrdiff_t(index));
        }
    }
    void Clear() { m_items.clear(); }

protected:
    std::vector<TPointer> m_items;

private:
    TPNGObject* m_owner;
};

// The chunks of an image in file order; the list owns them.
class TPNGList : public TPNGPointerList<std::unique_ptr<TChunk>>
{
public:
    explicit TPNGList(TPNGObject& owner) : TPNGPointerList(&owner) {}

    // Appends a chunk of the owner's and returns it.
    TChunk* Add(std::unique_ptr<TChunk> chunk);
    template <typename T> T* Add(std::unique_ptr<T> chunk)
    {
        T* added = chunk.get();
        Add(std::unique_ptr<TChunk>(std::move(chunk)));
        return added;
    }

    // Position of a chunk, -1 when absent.
    int IndexOf(const TChunk* chunk) const;

    // The first chunk of the class or a class derived from it, or none.
    TChunk* FindChunk(const TChunkClass& chunkClass) const;
    template <typename T> T* FindChunk() const { return static_cast<T*>(FindChunk(T::Class())); }

    // Creates an ancillary chunk of the class and inserts it where the PNG standard wants it:
    // gAMA and pHYs right after IHDR; tRNS after PLTE, else before the first IDAT, else after
    // IHDR; any other class before IEND. Raises EPngError: 65294 for a critical class or a
    // second gAMA, tRNS or pHYs; 65295 when the list lacks IHDR or IEND.
    TChunk* AddChunkOfClass(const TChunkClass& chunkClass);
    template <typename T> T* AddChunkOfClass()
    {
        return static_cast<T*>(AddChunkOfClass(T::Class()));
    }
};

} // namespace kapto
