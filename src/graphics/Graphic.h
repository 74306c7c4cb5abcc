#pragma once
// The base classes of every image: TPersistent (assignment between objects) and TGraphic
// (size, palette, transparency, change and progress notifications, files and streams).

#include "platform/Color.h"
#include "platform/RasterOps.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kapto {

class TCanvas;
class TGraphic;
class TStream;

class TPersistent
{
public:
    virtual ~TPersistent() = default;
    TPersistent() = default;
    TPersistent(const TPersistent&) = delete;
    TPersistent& operator=(const TPersistent&) = delete;

    virtual const char* ClassName() const = 0;
    // Makes destination a copy of this object; raises EConvertError when it cannot.
    virtual void CopyInto(TPersistent& destination) const;
    // Makes this object a copy of source (none allowed where the class says so); the default
    // asks the source's CopyInto and raises EConvertError for none.
    virtual void AssignFrom(const TPersistent* source);

protected:
    // Raises EConvertError "%s を %s に代入することはできません".
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

enum class TProgressStage
{
    Starting,
    Running,
    Ending
};

using TNotifyEvent = std::function<void(TPersistent& sender)>;
using TProgressEvent =
    std::function<void(TGraphic& sender, TProgressStage stage, uint8_t percentDone, bool redrawNow,
                       const TRect& rect, const std::string& message)>;

class TGraphic : public TPersistent
{
public:
    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

    int32_t Width() const { return ReadWidth(); }
    int32_t Height() const { return ReadHeight(); }
    void SetWidth(int32_t value) { ChangeWidth(value); }
    void SetHeight(int32_t value) { ChangeHeight(value); }
    bool Empty() const { return IsEmpty(); }

    bool Modified() const { return m_modified; }
    void SetModified(bool value) { m_modified = value; }
    bool Transparent() const { return IsTransparent(); }
    void SetTransparent(bool value) { SetTransparentFlag(value); }
    bool PaletteModified() const { return m_paletteModified; }
    void SetPaletteModified(bool value) { m_paletteModified = value; }

    // Sets Modified and calls OnChange with this graphic.
    virtual void Changed();
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
    // True for two empty graphics, or two of one class whose embedded forms are the same.
    virtual bool SameImage(const TGraphic* other);
    virtual bool IsEmpty() const = 0;
    virtual int32_t ReadHeight() const = 0;
    virtual HPALETTE GetPalette();
    virtual bool IsTransparent() const { return m_transparent; }
    virtual int32_t ReadWidth() const = 0;
    virtual void ReadEmbedded(TStream& stream);
    virtual void ChangeHeight(int32_t value) = 0;
    virtual void SetPalette(HPALETTE palette);
    virtual void SetTransparentFlag(bool value);
    virtual void ChangeWidth(int32_t value) = 0;
    virtual void WriteEmbedded(TStream& stream);
    // Opens the file for reading and loads it; raises EFOpenError when it cannot be opened.
    virtual void LoadFile(const std::string& fileName);
    // Writes the graphic under a temporary name beside the target and renames it over the
    // target once complete; raises EFCreateError or EWriteError, leaving any existing file
    // of that name untouched.
    virtual void SaveFile(const std::string& fileName);
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;

protected:
    void Progress(TProgressStage stage, uint8_t percentDone, bool redrawNow, const TRect& rect,
                  const std::string& message);

    bool m_modified = false;
    bool m_transparent = false;
    bool m_paletteModified = false;
};

} // namespace kapto
