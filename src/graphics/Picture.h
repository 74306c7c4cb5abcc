#pragma once
// The registry of picture file formats (extension, description, graphic class) and TPicture,
// a container for one graphic of any registered class chosen by a file's extension.

#include "graphics/Graphic.h"

#include <memory>
#include <string>
#include <vector>

namespace kapto {

// A graphic class as a value: its name, its base, and how to make and recognise objects.
struct TGraphicClass
{
    const char* Name;
    const TGraphicClass* Parent;            // none for TGraphic
    std::unique_ptr<TGraphic> (*Create)();  // none for a class that cannot be made
    bool (*IsInstance)(const TPersistent&); // the object is of this class or derives from it

    bool InheritsFrom(const TGraphicClass& other) const;
};

// The base class of every graphic.
const TGraphicClass& GraphicBaseClass();

// The class value of a graphic class T deriving directly from TGraphic.
template <typename T> const TGraphicClass& GraphicClassOf(const char* name)
{
    static const TGraphicClass graphicClass{
        name, &GraphicBaseClass(),
        []() -> std::unique_ptr<TGraphic> { return std::make_unique<T>(); },
        [](const TPersistent& object) { return dynamic_cast<const T*>(&object) != nullptr; }};
    return graphicClass;
}

// The built-in bitmap class.
const TGraphicClass& BitmapClass();

struct TFileFormat
{
    const TGraphicClass* GraphicClass;
    std::string Extension; // lower case, without the dot
    std::string Description;
};

// The formats in registration order, the built-in "bmp" entry first.
class TFileFormatsList
{
public:
    TFileFormatsList();
    // Appends an entry; the extension is stored in lower case.
    void Add(const std::string& extension, const std::string& description,
             const TGraphicClass& graphicClass);
    // Removes every entry whose class is that class or derives from it.
    void Remove(const TGraphicClass& graphicClass);
    // The class of the last entry with that extension (compared in lower case), or none.
    const TGraphicClass* FindExtension(const std::string& extension) const;
    // The class of the last entry whose class has exactly that name, or none.
    const TGraphicClass* FindClassName(const std::string& name) const;
    // The file-dialog filter for the class and every class derived from it.
    std::string BuildFilter(const TGraphicClass& graphicClass) const;
    const std::vector<TFileFormat>& Entries() const { return m_entries; }

private:
    std::vector<TFileFormat> m_entries;
};

// The program's registry, made on first use.
TFileFormatsList& FileFormats();
void RegisterImageFormat(const std::string& extension, const std::string& description,
                         const TGraphicClass& graphicClass);
void UnregisterImageClass(const TGraphicClass& graphicClass);
const TGraphicClass* ClassForExtension(const std::string& extension);
const TGraphicClass* ClassForName(const std::string& name);
std::string PictureFilter(const TGraphicClass& graphicClass);

// The entries of a filter string as (text shown, pattern) pairs.
std::vector<std::pair<std::string, std::string>> SplitFilter(const std::string& filter);

class TPicture : public TPersistent
{
public:
    TPicture() = default;
    ~TPicture() override;

    const char* ClassName() const override { return "TPicture"; }
    // From a TPicture or a TGraphic: a new graphic of the source graphic's class assigned from
    // it; from none: no graphic; anything else through its CopyInto.
    void AssignFrom(const TPersistent* source) override;
    // A destination of the graphic's class assigns itself from the graphic; anything else
    // raises EConvertError.
    void CopyInto(TPersistent& destination) const override;

    // Loads the file with the class its extension is registered for. An unregistered
    // extension raises EInvalidGraphic "拡張子 .%s の画像形式は処理できません" (the extension as
    // written); a failed load raises the class's exception and keeps the previous graphic.
    void LoadFile(const std::string& fileName);

    TGraphic* Graphic() const { return m_graphic.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    int32_t Width() const { return m_graphic != nullptr ? m_graphic->Width() : 0; }
    int32_t Height() const { return m_graphic != nullptr ? m_graphic->Height() : 0; }

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

private:
    void Changed();
    void Hook(TGraphic& graphic);

    std::unique_ptr<TGraphic> m_graphic;
};

} // namespace kapto
