// The chunk classes without the header's picture: class values, the class registry, copying
// between chunks, palette and transparency lookups.
#include "png/Chunks.h"

#include "png/PNGErrors.h"
#include "png/PNGList.h"
#include "png/PNGObject.h"

#include <algorithm>
#include <cstring>

namespace kapto {

TChunkType MakeChunkType(const char (&name)[5])
{
    return {uint8_t(name[0]), uint8_t(name[1]), uint8_t(name[2]), uint8_t(name[3])};
}

const char* TChunkClass::TypeName() const
{
    return Name + std::strlen("TChunk");
}

bool TChunkClass::InheritsFrom(const TChunkClass& other) const
{
    for (const TChunkClass* chunkClass = this; chunkClass != nullptr;
         chunkClass = chunkClass->Parent) {
        if (chunkClass == &other) {
            return true;
        }
    }
    return false;
}

namespace {

template <typename T> std::unique_ptr<TChunk> CreateChunk(TPNGObject& owner)
{
    return std::make_unique<T>(owner);
}

// A class name whose remainder after "TChunk" is the four type letters.
TChunkType TypeOfClass(const TChunkClass& chunkClass)
{
    TChunkType type{};
    const char* name = chunkClass.TypeName();
    if (std::strlen(name) == type.size()) {
        std::memcpy(type.data(), name, type.size());
    }
    return type;
}

} // namespace

#define KAPTO_DEFINE_CHUNK_CLASS(Name, ParentName)                                                 \
    const TChunkClass& Name::Class()                                                               \
    {                                                                                              \
        static const TChunkClass chunkClass{#Name, &ParentName::Class(), &CreateChunk<Name>};      \
        return chunkClass;                                                                         \
    }

const TChunkClass& TChunk::Class()
{
    static const TChunkClass chunkClass{"TChunk", nullptr, &CreateChunk<TChunk>};
    return chunkClass;
}

KAPTO_DEFINE_CHUNK_CLASS(TChunkIHDR, TChunk)
KAPTO_DEFINE_CHUNK_CLASS(TChunkPLTE, TChunk)
KAPTO_DEFINE_CHUNK_CLASS(TChunktRNS, TChunk)
KAPTO_DEFINE_CHUNK_CLASS(TChunkgAMA, TChunk)
KAPTO_DEFINE_CHUNK_CLASS(TChunkIDAT, TChunk)
KAPTO_DEFINE_CHUNK_CLASS(TChunkIEND, TChunk)
KAPTO_DEFINE_CHUNK_CLASS(TChunkpHYs, TChunk)
KAPTO_DEFINE_CHUNK_CLASS(TChunktIME, TChunk)
KAPTO_DEFINE_CHUNK_CLASS(TChunktEXt, TChunk)
KAPTO_DEFINE_CHUNK_CLASS(TChunkzTXt, TChunktEXt)

TChunk::TChunk(TPNGObject& owner) : TChunk(owner, Class())
{}

TChunk::TChunk(TPNGObject& owner, const TChunkClass& chunkClass)
    : m_owner(owner), m_chunkType(TypeOfClass(chunkClass))
{}

void TChunk::CopyChunk(const TChunk& source)
{
    m_chunkType = source.m_chunkType;
    m_payload = source.m_payload;
}

void TChunk::RequireCompatible(const TChunk& source) const
{
    if (!source.ChunkClass().InheritsFrom(ChunkClass())) {
        RaisePNG<EPngError>(TPNGMessage::ChunksNotCompatible);
    }
}

int TChunk::IndexInList() const
{
    return m_owner.Chunks().IndexOf(this);
}

TChunkIHDR& TChunk::HeaderChunk() const
{
    return m_owner.Header();
}

void TChunkPLTE::CopyChunk(const TChunk& source)
{
    RequireCompatible(source);
    TChunk::CopyChunk(source);
    EntryCount = static_cast<const TChunkPLTE&>(source).EntryCount;
}

TRGBQuad TChunkPLTE::Item(uint32_t index) const
{
    if (index >= EntryCount || index >= 256) {
        RaisePNG<EPngError>(TPNGMessage::NoSuchPaletteEntry);
    }
    return HeaderChunk().DibInfo().Colors[index];
}

void TChunktRNS::CopyChunk(const TChunk& source)
{
    RequireCompatible(source);
    TChunk::CopyChunk(source);
    const auto& transparency = static_cast<const TChunktRNS&>(source);
    SingleKey = transparency.SingleKey;
    AlphaValues = transparency.AlphaValues;
}

TColor TChunktRNS::KeyColor() const
{
    const TChunkIHDR& header = HeaderChunk();
    switch (header.ColorType) {
    case COLOR_GRAYSCALE: {
        const TRGBQuad entry = header.DibInfo().Colors[AlphaValues[1]];
        return RGBColor(entry.Red, entry.Red, entry.Red);
    }
    case COLOR_RGB: {
        const TGammaTable& gamma = Owner().GammaLUT();
        return RGBColor(gamma[AlphaValues[1]], gamma[AlphaValues[3]], gamma[AlphaValues[5]]);
    }
    case COLOR_PALETTE: {
        const auto* palette = Owner().Chunks().FindChunk<TChunkPLTE>();
        const uint32_t count = std::min<uint32_t>(PayloadSize(), uint32_t(AlphaValues.size()));
        for (uint32_t i = 0; palette != nullptr && i < count; ++i) {
            if (AlphaValues[i] == 0) {
                const TRGBQuad entry = palette->Item(i);
                return RGBColor(entry.Red, entry.Green, entry.Blue);
            }
        }
        return 0;
    }
    default:
        return 0;
    }
}

TChunkgAMA::TChunkgAMA(TPNGObject& owner) : TChunk(owner, Class())
{
    SetGamma(1);
}

void TChunkgAMA::CopyChunk(const TChunk& source)
{
    RequireCompatible(source);
    TChunk::CopyChunk(source);
}

uint32_t TChunkgAMA::Gamma() const
{
    if (PayloadSize() < 4) {
        return 1;
    }
    const uint8_t* bytes = Payload();
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

void TChunkgAMA::SetGamma(uint32_t value)
{
    ResizePayload(4);
    uint8_t* bytes = Payload();
    bytes[0] = uint8_t(value >> 24);
    bytes[1] = uint8_t(value >> 16);
    bytes[2] = uint8_t(value >> 8);
    bytes[3] = uint8_t(value);
}

void TChunkpHYs::CopyChunk(const TChunk& source)
{
    RequireCompatible(source);
    TChunk::CopyChunk(source);
    const auto& physical = static_cast<const TChunkpHYs&>(source);
    PixelsPerUnitX = physical.PixelsPerUnitX;
    PixelsPerUnitY = physical.PixelsPerUnitY;
    UnitSpecifier = physical.UnitSpecifier;
}

void TChunktIME::CopyChunk(const TChunk& source)
{
    RequireCompatible(source);
    TChunk::CopyChunk(source);
    const auto& time = static_cast<const TChunktIME&>(source);
    Year = time.Year;
    Month = time.Month;
    Day = time.Day;
    Hour = time.Hour;
    Minute = time.Minute;
    Second = time.Second;
}

void TChunktEXt::CopyChunk(const TChunk& source)
{
    RequireCompatible(source);
    TChunk::CopyChunk(source);
    const auto& text = static_cast<const TChunktEXt&>(source);
    Keyword = text.Keyword;
    Text = text.Text;
}

namespace {

using TChunkRegistry = TPNGPointerList<const TChunkClass*>;

TChunkRegistry& Registry()
{
    static TChunkRegistry registry = [] {
        TChunkRegistry classes(nullptr);
        for (const TChunkClass* chunkClass :
             {&TChunkIEND::Class(), &TChunkIHDR::Class(), &TChunkIDAT::Class(),
              &TChunkPLTE::Class(), &TChunkgAMA::Class(), &TChunktRNS::Class(),
              &TChunkpHYs::Class(), &TChunktIME::Class(), &TChunktEXt::Class(),
              &TChunkzTXt::Class()}) {
            classes.Add(chunkClass);
        }
        return classes;
    }();
    return registry;
}

} // namespace

void RegisterChunkClass(const TChunkClass& chunkClass)
{
    Registry().Add(&chunkClass);
}

std::unique_ptr<TChunk> ChunkClassFor(TPNGObject& image, const TChunkType& type)
{
    const TChunkClass* found = &TChunk::Class();
    for (const TChunkClass* chunkClass : Registry()) {
        const char* name = chunkClass->TypeName();
        if (std::strlen(name) == type.size() && std::memcmp(name, type.data(), type.size()) == 0) {
            found = chunkClass;
            break;
        }
    }
    std::unique_ptr<TChunk> chunk = found->Create(image);
    chunk->SetChunkType(type);
    return chunk;
}

} // namespace kapto
