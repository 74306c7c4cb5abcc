#pragma once
// GIF extension blocks (GIF89a sections 23 to 26) and the two class registries that map an
// extension label, and an application identifier, to the class that reads it.

#include "gif/GIFItem.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kapto {

class TGIFExtension;
class TGIFSubImage;
struct TGIFExtensionClass;

// An extension class as the registries hold it: a virtual constructor and the class-level
// sub-block lookup.
using TExtensionClass = const TGIFExtensionClass*;

struct TGIFExtensionClass
{
    const char* Name;
    // Creates an object of the class for the frame.
    std::unique_ptr<TGIFExtension> (*Create)(TGIFSubImage* subImage);
    // Refines the class from the bytes at the stream's position (see FindExtensionClass).
    TExtensionClass (*FindSubBlockClass)(TExtensionClass self, TStream& stream);
};

constexpr uint8_t kExtensionIntroducer = 0x21; // "!"
constexpr uint8_t kImageSeparator = 0x2C;      // ","
constexpr uint8_t kTrailer = 0x3B;             // ";"

constexpr uint8_t kPlainTextLabel = 0x01;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kCommentLabel = 0xFE;
constexpr uint8_t kApplicationLabel = 0xFF;

using TApplicationIdentifier = std::array<uint8_t, 11>;

// Looks the extension at the stream's position up: its label in the extension registry,
// then sub-block refinement until a class answers itself. The stream is left where it was.
// None when no class fits.
TExtensionClass FindExtensionClass(TStream& stream);
// The class registered for an application identifier; none when there is none.
TExtensionClass FindApplicationClass(const TApplicationIdentifier& identifier);

class TGIFExtension : public TGIFItem
{
public:
    explicit TGIFExtension(TGIFSubImage* subImage);

    TGIFSubImage* SubImage() const { return m_subImage; }
    int GetVersion() const override { return 2; }
    virtual uint8_t ExtensionLabel() const = 0;
    // Reads introducer and label: "Invalid extension introducer" when the first is not "!",
    // "Internal error: Extension Instance does not match Extension Label" when the label
    // is not this class's. Subclasses read their block after it.
    void LoadFromStream(TStream& stream) override;

private:
    TGIFSubImage* m_subImage;
};

// The 6 bytes of a graphic control block as read.
struct TGIFGraphicControlBlock
{
    uint8_t BlockSize = 4;
    uint8_t PackedFields = 0;
    uint16_t DelayTime = 0;
    uint8_t TransparentColorIndex = 0;
    uint8_t Terminator = 0;
};

class TGIFGraphicControlExtension : public TGIFExtension
{
public:
    // The first one created for a frame becomes the frame's GraphicControlExtension.
    explicit TGIFGraphicControlExtension(TGIFSubImage* subImage);
    ~TGIFGraphicControlExtension() override;
    static TExtensionClass Class();

    const char* ClassName() const override { return "TGIFGraphicControlExtension"; }
    uint8_t ExtensionLabel() const override { return kGraphicControlLabel; }
    // A block cut short warns "Premature end of data" and keeps what was read.
    void LoadFromStream(TStream& stream) override;

    const TGIFGraphicControlBlock& Block() const { return m_block; }
    int DisposalMethod() const { return (m_block.PackedFields >> 2) & 7; }
    bool UserInputFlag() const { return (m_block.PackedFields & 2) != 0; }
    bool Transparent() const { return (m_block.PackedFields & 1) != 0; }
    uint16_t DelayTime() const { return m_block.DelayTime; }
    uint8_t TransparentColorIndex() const { return m_block.TransparentColorIndex; }

private:
    TGIFGraphicControlBlock m_block;
};

// The 13 bytes of a plain text block as read.
struct TGIFPlainTextBlock
{
    uint8_t BlockSize = 12;
    uint16_t Left = 0;
    uint16_t Top = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint8_t CellWidth = 0;
    uint8_t CellHeight = 0;
    uint8_t ForegroundColorIndex = 0;
    uint8_t BackgroundColorIndex = 0;
};

class TGIFTextExtension : public TGIFExtension
{
public:
    using TGIFExtension::TGIFExtension;
    static TExtensionClass Class();

    const char* ClassName() const override { return "TGIFTextExtension"; }
    uint8_t ExtensionLabel() const override { return kPlainTextLabel; }
    void LoadFromStream(TStream& stream) override;

    const TGIFPlainTextBlock& Block() const { return m_block; }
    // One entry per data sub-block.
    const std::vector<std::string>& Text() const { return m_text; }

private:
    TGIFPlainTextBlock m_block;
    std::vector<std::string> m_text;
};

class TGIFCommentExtension : public TGIFExtension
{
public:
    using TGIFExtension::TGIFExtension;
    static TExtensionClass Class();

    const char* ClassName() const override { return "TGIFCommentExtension"; }
    uint8_t ExtensionLabel() const override { return kCommentLabel; }
    void LoadFromStream(TStream& stream) override;

    // One entry per data sub-block, each ending before its first zero byte.
    const std::vector<std::string>& Text() const { return m_text; }

private:
    std::vector<std::string> m_text;
};

class TGIFApplicationExtension : public TGIFExtension
{
public:
    using TGIFExtension::TGIFExtension;
    static TExtensionClass Class();

    const char* ClassName() const override { return "TGIFApplicationExtension"; }
    uint8_t ExtensionLabel() const override { return kApplicationLabel; }
    // Reads the block size (below 10: "Unsupported Application Extension block size"), the
    // identifier, then the class's data sub-blocks.
    void LoadFromStream(TStream& stream) override;

    const TApplicationIdentifier& ApplicationIdentifier() const { return m_identifier; }

protected:
    // Reads the data sub-blocks after the application block. The base class skips them;
    // it is only reached for block sizes the registry does not refine.
    virtual void LoadData(TStream& stream);
    void SetApplicationIdentifier(const TApplicationIdentifier& identifier)
    {
        m_identifier = identifier;
    }

private:
    TApplicationIdentifier m_identifier{};
};

// The loop extension of animated GIFs: a loop count and a buffer size sub-block.
class TGIFAppExtNSLoop : public TGIFApplicationExtension
{
public:
    explicit TGIFAppExtNSLoop(TGIFSubImage* subImage);
    static TExtensionClass Class();

    const char* ClassName() const override { return "TGIFAppExtNSLoop"; }
    uint16_t Loops() const { return m_loops; }
    uint32_t BufferSize() const { return m_bufferSize; }

protected:
    // A sub-block too short for its field raises "Invalid GIF data"; data cut off raises
    // "Premature end of data".
    void LoadData(TStream& stream) override;

private:
    uint16_t m_loops = 0;
    uint32_t m_bufferSize = 0;
};

// Any other application extension; its data sub-blocks are kept as read.
class TGIFUnknownAppExtension : public TGIFApplicationExtension
{
public:
    using TGIFApplicationExtension::TGIFApplicationExtension;
    static TExtensionClass Class();

    const char* ClassName() const override { return "TGIFUnknownAppExtension"; }
    const std::vector<std::unique_ptr<TGIFBlock>>& Blocks() const { return m_blocks; }

protected:
    void LoadData(TStream& stream) override;

private:
    std::vector<std::unique_ptr<TGIFBlock>> m_blocks;
};

} // namespace kapto
