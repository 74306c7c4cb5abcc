#include "png/PNGList.h"

#include "png/PNGErrors.h"

namespace kapto {

TChunk* TPNGList::Add(std::unique_ptr<TChunk> chunk)
{
    TChunk* added = chunk.get();
    TPNGPointerList::Add(std::move(chunk));
    return added;
}

int TPNGList::IndexOf(const TChunk* chunk) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].get() == chunk) {
            return int(i);
        }
    }
    return -1;
}

TChunk* TPNGList::FindChunk(const TChunkClass& chunkClass) const
{
    for (const auto& chunk : m_items) {
        if (chunk->ChunkClass().InheritsFrom(chunkClass)) {
            return chunk.get();
        }
    }
    return nullptr;
}

TChunk* TPNGList::AddChunkOfClass(const TChunkClass& chunkClass)
{
    const bool isCritical =
        &chunkClass == &TChunkIHDR::Class() || &chunkClass == &TChunkIDAT::Class() ||
        &chunkClass == &TChunkPLTE::Class() || &chunkClass == &TChunkIEND::Class();
    // The PNG standard allows at most one gAMA, tRNS and pHYs chunk.
    const bool isSingle = &chunkClass == &TChunkgAMA::Class() ||
                          &chunkClass == &TChunktRNS::Class() ||
                          &chunkClass == &TChunkpHYs::Class();
    if (isCritical || (isSingle && FindChunk(chunkClass) != nullptr)) {
        RaisePNG<EPngError>(TPNGMessage::CriticalChunkExists);
    }
    const TChunk* header = FindChunk(TChunkIHDR::Class());
    const TChunk* end = FindChunk(TChunkIEND::Class());
    if (header == nullptr || end == nullptr) {
        RaisePNG<EPngError>(TPNGMessage::InvalidImageForNewChunk);
    }

    // gAMA and pHYs must precede PLTE and IDAT, tRNS must follow PLTE and precede IDAT; every
    // other ancillary chunk may stand anywhere before IEND.
    size_t position = size_t(IndexOf(end));
    if (&chunkClass == &TChunkgAMA::Class() || &chunkClass == &TChunkpHYs::Class()) {
        position = size_t(IndexOf(header)) + 1;
    } else if (&chunkClass == &TChunktRNS::Class()) {
        if (const TChunk* palette = FindChunk(TChunkPLTE::Class())) {
            position = size_t(IndexOf(palette)) + 1;
        } else if (const TChunk* data = FindChunk(TChunkIDAT::Class())) {
            position = size_t(IndexOf(data));
        } else {
            position = size_t(IndexOf(header)) + 1;
        }
    }
    std::unique_ptr<TChunk> chunk = chunkClass.Create(*Owner());
    TChunk* added = chunk.get();
    Insert(std::move(chunk), position);
    return added;
}

} // namespace kapto
