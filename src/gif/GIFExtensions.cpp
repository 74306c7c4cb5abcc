// GIF extension blocks (GIF89a sections 23 to 26) and the loop extension of animated files,
// with the registries that choose the class reading each one.

#include "gif/GIFExtensions.h"

#include "gif/GIFErrors.h"
#include "gif/GIFStream.h"
#include "gif/GIFSubImage.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kapto {

namespace {

struct TLabelEntry
{
    uint8_t Label;
    TExtensionClass Class;
};

struct TIdentifierEntry
{
    TApplicationIdentifier Identifier;
    TExtensionClass Class;
};

TApplicationIdentifier Identifier(const char (&text)[12])
{
    TApplicationIdentifier identifier{};
    std::memcpy(identifier.data(), text, identifier.size());
    return identifier;
}

// The extension registry, made on first use.
const std::vector<TLabelEntry>& ExtensionRegistry()
{
    static const std::vector<TLabelEntry> registry{
        {kPlainTextLabel, TGIFTextExtension::Class()},
        {kGraphicControlLabel, TGIFGraphicControlExtension::Class()},
        {kCommentLabel, TGIFCommentExtension::Class()},
        {kApplicationLabel, TGIFApplicationExtension::Class()},
    };
    return registry;
}

// The application extension registry, made on first use. Both identifiers name the loop
// extension that animated files carry.
const std::vector<TIdentifierEntry>& ApplicationRegistry()
{
    static const std::vector<TIdentifierEntry> registry{
        {Identifier("NETSCAPE2.0"), TGIFAppExtNSLoop::Class()},
        {Identifier("ANIMEXTS1.0"), TGIFAppExtNSLoop::Class()},
    };
    return registry;
}

TExtensionClass AnswerSelf(TExtensionClass self, TStream&)
{
    return self;
}

// The application extensions refine themselves from the block size and the identifier.
TExtensionClass FindApplicationSubBlockClass(TExtensionClass self, TStream& stream)
{
    const int64_t position = stream.Position();
    uint8_t size = 0;
    if (!ReadOptionalByte(stream, size)) {
        return nullptr;
    }
    if (size == 10) {
        uint8_t bytes[10];
        if (stream.Read(bytes, sizeof bytes) != sizeof bytes) {
            return nullptr;
        }
        return TGIFUnknownAppExtension::Class();
    }
    if (size == 11) {
        TApplicationIdentifier identifier{};
        if (stream.Read(identifier.data(), identifier.size()) != identifier.size()) {
            stream.SetPosition(position);
            return self;
        }
        const TExtensionClass found = FindApplicationClass(identifier);
        return found != nullptr ? found : TGIFUnknownAppExtension::Class();
    }
    stream.SetPosition(position);
    // A longer block holds an 11-byte identifier and more; no registered application uses
    // one, so its data is kept like that of any unknown application.
    if (self == TGIFApplicationExtension::Class() && size > 11) {
        return TGIFUnknownAppExtension::Class();
    }
    return self;
}

template <typename T> std::unique_ptr<TGIFExtension> Make(TGIFSubImage* subImage)
{
    return std::make_unique<T>(subImage);
}

uint16_t UInt16At(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

} // namespace

TExtensionClass FindApplicationClass(const TApplicationIdentifier& identifier)
{
    const auto& registry = ApplicationRegistry();
    for (auto entry = registry.rbegin(); entry != registry.rend(); ++entry) {
        if (entry->Identifier == identifier) {
            return entry->Class;
        }
    }
    return nullptr;
}

TExtensionClass FindExtensionClass(TStream& stream)
{
    const int64_t position = stream.Position();
    TExtensionClass found = nullptr;
    uint8_t label = 0;
    if (ReadOptionalByte(stream, label)) {
        const auto& registry = ExtensionRegistry();
        for (auto entry = registry.rbegin(); entry != registry.rend(); ++entry) {
            if (entry->Label == label) {
                found = entry->Class;
                break;
            }
        }
        while (found != nullptr) {
            const TExtensionClass refined = found->FindSubBlockClass(found, stream);
            if (refined == found) {
                break;
            }
            found = refined;
        }
    }
    stream.SetPosition(position);
    return found;
}

TGIFExtension::TGIFExtension(TGIFSubImage* subImage)
    : TGIFItem(subImage != nullptr ? subImage->Image() : nullptr), m_subImage(subImage)
{}

void TGIFExtension::LoadFromStream(TStream& stream)
{
    uint8_t head[2];
    ReadCheck(stream, head, sizeof head);
    if (head[0] != kExtensionIntroducer) {
        RaiseGIF(TGIFMessage::InvalidIntroducer);
    }
    if (head[1] != ExtensionLabel()) {
        RaiseGIF(TGIFMessage::LabelMismatch);
    }
}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* subImage)
    : TGIFExtension(subImage)
{
    if (subImage != nullptr && subImage->GraphicControlExtension() == nullptr) {
        subImage->SetGraphicControlExtension(this);
    }
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension()
{
    if (SubImage() != nullptr && SubImage()->GraphicControlExtension() == this) {
        SubImage()->SetGraphicControlExtension(nullptr);
    }
}

TExtensionClass TGIFGraphicControlExtension::Class()
{
    static const TGIFExtensionClass info{"TGIFGraphicControlExtension",
                                         Make<TGIFGraphicControlExtension>, AnswerSelf};
    return &info;
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& stream)
{
    TGIFExtension::LoadFromStream(stream);
    uint8_t bytes[6] = {m_block.BlockSize,
                        m_block.PackedFields,
                        uint8_t(m_block.DelayTime),
                        uint8_t(m_block.DelayTime >> 8),
                        m_block.TransparentColorIndex,
                        m_block.Terminator};
    const size_t count = stream.Read(bytes, sizeof bytes);
    m_block = TGIFGraphicControlBlock{bytes[0], bytes[1], UInt16At(bytes + 2), bytes[4], bytes[5]};
    if (count < sizeof bytes) {
        Warning(*this, kGIFWarningSeverity, GIFMessageText(TGIFMessage::PrematureEnd));
        return;
    }
    if (Transparent() && SubImage() != nullptr) {
        SubImage()->SetTransparent(true);
    }
}

TExtensionClass TGIFTextExtension::Class()
{
    static const TGIFExtensionClass info{"TGIFTextExtension", Make<TGIFTextExtension>, AnswerSelf};
    return &info;
}

void TGIFTextExtension::LoadFromStream(TStream& stream)
{
    TGIFExtension::LoadFromStream(stream);
    uint8_t bytes[13];
    ReadCheck(stream, bytes, sizeof bytes);
    m_block = TGIFPlainTextBlock{bytes[0],
                                 UInt16At(bytes + 1),
                                 UInt16At(bytes + 3),
                                 UInt16At(bytes + 5),
                                 UInt16At(bytes + 7),
                                 bytes[9],
                                 bytes[10],
                                 bytes[11],
                                 bytes[12]};
    ReadStrings(stream, m_text);
}

TExtensionClass TGIFCommentExtension::Class()
{
    static const TGIFExtensionClass info{"TGIFCommentExtension", Make<TGIFCommentExtension>,
                                         AnswerSelf};
    return &info;
}

void TGIFCommentExtension::LoadFromStream(TStream& stream)
{
    TGIFExtension::LoadFromStream(stream);
    ReadStrings(stream, m_text);
}

TExtensionClass TGIFApplicationExtension::Class()
{
    static const TGIFExtensionClass info{"TGIFApplicationExtension", Make<TGIFApplicationExtension>,
                                         FindApplicationSubBlockClass};
    return &info;
}

void TGIFApplicationExtension::LoadFromStream(TStream& stream)
{
    TGIFExtension::LoadFromStream(stream);
    const uint8_t blockSize = ReadCheckByte(stream);
    if (blockSize == 10) {
        m_identifier.fill(0);
    } else if (blockSize < 11) {
        RaiseGIF(TGIFMessage::ApplicationBlockSize);
    }
    ReadCheck(stream, m_identifier.data(), m_identifier.size());
    // A 10-byte block gives back its 11th byte, which belongs to what follows; a longer block
    // is skipped past its identifier.
    if (blockSize == 10) {
        StepBack(stream);
    } else {
        SkipCheck(stream, uint64_t(blockSize) - 11);
    }
    LoadData(stream);
}

void TGIFApplicationExtension::LoadData(TStream& stream)
{
    std::vector<std::string> discarded;
    ReadStrings(stream, discarded);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* subImage) : TGIFApplicationExtension(subImage)
{
    SetApplicationIdentifier(Identifier("NETSCAPE2.0"));
}

TExtensionClass TGIFAppExtNSLoop::Class()
{
    static const TGIFExtensionClass info{"TGIFAppExtNSLoop", Make<TGIFAppExtNSLoop>,
                                         FindApplicationSubBlockClass};
    return &info;
}

void TGIFAppExtNSLoop::LoadData(TStream& stream)
{
    // Sub-block ids are compared by their low three bits, as the writers of these blocks do.
    constexpr int kLoopCountId = 1;
    constexpr int kBufferSizeId = 2;
    int size = ReadCheckByte(stream);
    while (size != 0) {
        const int id = ReadCheckByte(stream) & 7;
        --size;
        if (id == kLoopCountId) {
            if (size < 2) {
                RaiseGIF(TGIFMessage::InvalidData);
            }
            uint8_t bytes[2];
            ReadCheck(stream, bytes, sizeof bytes);
            m_loops = UInt16At(bytes);
            size -= 2;
        } else if (id == kBufferSizeId) {
            if (size < 4) {
                RaiseGIF(TGIFMessage::InvalidData);
            }
            uint8_t bytes[4];
            ReadCheck(stream, bytes, sizeof bytes);
            m_bufferSize = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                           uint32_t(bytes[3]) << 24;
            size -= 4;
        }
        SkipCheck(stream, uint64_t(size));
        size = ReadCheckByte(stream);
    }
}

TExtensionClass TGIFUnknownAppExtension::Class()
{
    static const TGIFExtensionClass info{"TGIFUnknownAppExtension", Make<TGIFUnknownAppExtension>,
                                         FindApplicationSubBlockClass};
    return &info;
}

void TGIFUnknownAppExtension::LoadData(TStream& stream)
{
    m_blocks.clear();
    TKeptBlocks kept;
    uint8_t size = 0;
    while (ReadOptionalByte(stream, size) && size != 0) {
        auto block = std::make_unique<TGIFBlock>(size);
        block->LoadFromStream(stream);
        if (kept.Keep(size)) {
            m_blocks.push_back(std::move(block));
        } else {
            m_blocks.clear();
        }
    }
}

} // namespace kapto
