#include "graphics/Picture.h"

#include "graphics/Bitmap.h"
#include "runtime/AsciiCase.h"
#include "runtime/Exceptions.h"
#include "runtime/Language.h"
#include "runtime/Messages.h"

namespace kapto {

namespace {

// "%s%s (*.%s)|*.%2:s": the filter so far, then "description (*.ext)|*.ext".
std::string FilterEntry(const TFileFormat& format)
{
    return format.Description + " (*." + format.Extension + ")|*." + format.Extension;
}

} // namespace

bool TGraphicClass::InheritsFrom(const TGraphicClass& other) const
{
    for (const TGraphicClass* c = this; c != nullptr; c = c->Parent) {
        if (c == &other) {
            return true;
        }
    }
    return false;
}

const TGraphicClass& GraphicBaseClass()
{
    static const TGraphicClass graphicClass{
        "TGraphic", nullptr, nullptr, [](const TPersistent& object) {
            return dynamic_cast<const TGraphic*>(&object) != nullptr;
        }};
    return graphicClass;
}

const TGraphicClass& BitmapClass()
{
    return GraphicClassOf<TBitmap>("TBitmap");
}

TFileFormatsList::TFileFormatsList()
{
    // Only the classes this program provides: metafiles and icons are not among them.
    Add("bmp", InLanguage("ビットマップ", "Bitmap"), BitmapClass());
}

void TFileFormatsList::Add(const std::string& extension, const std::string& description,
                           const TGraphicClass& graphicClass)
{
    m_entries.push_back({&graphicClass, LowerCaseAscii(extension), description});
}

void TFileFormatsList::Remove(const TGraphicClass& graphicClass)
{
    std::vector<TFileFormat> kept;
    for (const TFileFormat& entry : m_entries) {
        if (!entry.GraphicClass->InheritsFrom(graphicClass)) {
            kept.push_back(entry);
        }
    }
    m_entries.swap(kept);
}

const TGraphicClass* TFileFormatsList::FindExtension(const std::string& extension) const
{
    const std::string lower = LowerCaseAscii(extension);
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->Extension == lower) {
            return it->GraphicClass;
        }
    }
    return nullptr;
}

const TGraphicClass* TFileFormatsList::FindClassName(const std::string& name) const
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (name == it->GraphicClass->Name) {
            return it->GraphicClass;
        }
    }
    return nullptr;
}

std::string TFileFormatsList::BuildFilter(const TGraphicClass& graphicClass) const
{
    std::string filter;
    std::string masks;
    int taken = 0;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (!it->GraphicClass->InheritsFrom(graphicClass) || it->Extension.empty()) {
            continue;
        }
        if (taken > 0) {
            filter += "|";
            masks += ";";
        }
        filter += FilterEntry(*it);
        masks += "*." + it->Extension;
        ++taken;
    }
    if (taken > 1) {
        filter =
            InLanguage("すべてのファイル (", "All files (") + masks + ")|" + masks + "|" + filter;
    }
    return filter;
}

TFileFormatsList& FileFormats()
{
    static TFileFormatsList formats;
    return formats;
}

void RegisterImageFormat(const std::string& extension, const std::string& description,
                         const TGraphicClass& graphicClass)
{
    FileFormats().Add(extension, description, graphicClass);
}

void UnregisterImageClass(const TGraphicClass& graphicClass)
{
    FileFormats().Remove(graphicClass);
}

const TGraphicClass* ClassForExtension(const std::string& extension)
{
    return FileFormats().FindExtension(extension);
}

const TGraphicClass* ClassForName(const std::string& name)
{
    return FileFormats().FindClassName(name);
}

std::string PictureFilter(const TGraphicClass& graphicClass)
{
    return FileFormats().BuildFilter(graphicClass);
}

std::vector<std::pair<std::string, std::string>> SplitFilter(const std::string& filter)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar - start));
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        pairs.emplace_back(parts[i], parts[i + 1]);
    }
    return pairs;
}

// --- TPicture ------------------------------------------------------------------------------

TPicture::~TPicture() = default;

void TPicture::Hook(TGraphic& graphic)
{
    graphic.OnProgress = [this](TGraphic& sender, TProgressStage stage, uint8_t percent,
                                bool redrawNow, const TRect& rect, const std::string& message) {
        if (OnProgress) {
            OnProgress(sender, stage, percent, redrawNow, rect, message);
        }
    };
    graphic.OnChange = [this](TPersistent&) { Changed(); };
}

void TPicture::Changed()
{
    if (OnChange) {
        OnChange(*this);
    }
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    m_graphic = std::move(graphic);
    if (m_graphic != nullptr) {
        Hook(*m_graphic);
    }
    Changed();
}

void TPicture::LoadFile(const std::string& fileName)
{
    const size_t dot = fileName.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && fileName.find('/', dot) == std::string::npos;
    const std::string extension = hasExtension ? fileName.substr(dot + 1) : "";
    const TGraphicClass* graphicClass = ClassForExtension(extension);
    if (graphicClass == nullptr || graphicClass->Create == nullptr) {
        throw EInvalidGraphic(FormatMessage(TMessage::UnknownExtension, {extension}));
    }
    std::unique_ptr<TGraphic> graphic = graphicClass->Create();
    graphic->OnProgress = [this](TGraphic& sender, TProgressStage stage, uint8_t percent,
                                 bool redrawNow, const TRect& rect, const std::string& message) {
        if (OnProgress) {
            OnProgress(sender, stage, percent, redrawNow, rect, message);
        }
    };
    graphic->LoadFile(fileName); // a failure leaves the previous graphic in place
    SetGraphic(std::move(graphic));
}

void TPicture::AssignFrom(const TPersistent* source)
{
    const TGraphic* graphic = nullptr;
    if (source == nullptr) {
        SetGraphic(nullptr);
        return;
    }
    if (const auto* picture = dynamic_cast<const TPicture*>(source)) {
        graphic = picture->Graphic();
        if (graphic == nullptr) {
            SetGraphic(nullptr);
            return;
        }
    } else {
        graphic = dynamic_cast<const TGraphic*>(source);
    }
    if (graphic == nullptr) {
        source->CopyInto(*this);
        return;
    }
    // A new object of the source graphic's class: the registered class of that name.
    const TGraphicClass* graphicClass = ClassForName(graphic->ClassName());
    if (graphicClass == nullptr || graphicClass->Create == nullptr) {
        AssignError(source);
    }
    std::unique_ptr<TGraphic> copy = graphicClass->Create();
    copy->AssignFrom(graphic);
    SetGraphic(std::move(copy));
}

void TPicture::CopyInto(TPersistent& destination) const
{
    if (m_graphic != nullptr && std::string(m_graphic->ClassName()) == destination.ClassName()) {
        destination.AssignFrom(m_graphic.get());
        return;
    }
    TPersistent::CopyInto(destination);
}

} // namespace kapto
