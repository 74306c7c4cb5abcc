#include "graphics/Bitmap.h"

#include "runtime/Checked.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

#include <algorithm>
#include <mutex>

namespace kapto {

namespace {

// Guards the exchange of image references between bitmaps that may live on different
// threads, so that sharing counts stay right.
std::mutex& ImageLock()
{
    static std::mutex lock;
    return lock;
}

bool IsPaletteOnly(const HPALETTE& palette)
{
    return palette == StandardPalette16();
}

// The colour table the platform gives a device image read at an indexed bit count.
std::vector<TRGBQuad> DeviceColorTable(unsigned bitCount)
{
    if (bitCount == 1) {
        return {{0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0}};
    }
    if (bitCount == 4) {
        return ColorTableFromPalette(*StandardPalette16());
    }
    return ColorTableFromPalette(*CreateHalftonePalette());
}

} // namespace

// --- TBitmapCanvas ---------------------------------------------------------------------------

TPlatformImage* TBitmapCanvas::RequireContext()
{
    m_bitmap.EnsureHandle();
    m_bitmap.DerivePalette();
    return m_bitmap.m_image->Handle.get();
}

void TBitmapCanvas::Changing()
{
    m_bitmap.Unshare();
}

void TBitmapCanvas::Changed()
{
    m_bitmap.Changed();
}

// --- TBitmap ---------------------------------------------------------------------------------

TBitmap::TBitmap() : m_image(std::make_shared<TBitmapImage>())
{}

TBitmap::~TBitmap() = default;

bool TBitmap::IsEmpty() const
{
    return m_image->Handle == nullptr && m_image->DIBHandle == nullptr;
}

int32_t TBitmap::ReadWidth() const
{
    return m_image->Description.Bm.Width;
}

int32_t TBitmap::ReadHeight() const
{
    const int32_t height = m_image->Description.Bm.Height;
    return height < 0 ? (height == INT32_MIN ? INT32_MAX : -height) : height;
}

bool TBitmap::IsShared() const
{
    std::lock_guard<std::mutex> guard(ImageLock());
    return m_image.use_count() > 1;
}

TBitmapStorage TBitmap::StorageKind() const
{
    const TBitmapImage& image = *m_image;
    if ((image.Handle != nullptr && image.Handle != image.DIBHandle) ||
        (image.DIBHandle == nullptr && image.Description.Bmih.Size == 0)) {
        return TBitmapStorage::Device;
    }
    return TBitmapStorage::DIB;
}

TPixelFormat TBitmap::PixelFormat() const
{
    if (StorageKind() == TBitmapStorage::Device) {
        return fmtDevice;
    }
    const TDIBSection& d = m_image->Description;
    switch (d.Bmih.BitCount) {
    case 1:
        return fmt1Bit;
    case 4:
        return fmt4Bit;
    case 8:
        return fmt8Bit;
    case 16:
        if (d.Bmih.Compression == kCompressionNone) {
            return fmt15Bit;
        }
        if (d.Bmih.Compression == kCompressionBitFields && d.Bitfields[1] == kMasks565[1]) {
            return fmt16Bit;
        }
        return fmtCustom;
    case 24:
        return fmt24Bit;
    case 32:
        return d.Bmih.Compression == kCompressionNone ? fmt32Bit : fmtCustom;
    default:
        return fmtCustom;
    }
}

bool TBitmap::IsMonochrome() const
{
    const TBitmapPart& bm = m_image->Description.Bm;
    return bm.Planes == 1 && bm.BitsPixel == 1;
}

void TBitmap::Changed()
{
    m_maskBitsValid = false;
    m_transparentPixels.reset();
    TGraphic::Changed();
}

void TBitmap::RaiseOutOfResources() const
{
    throw EOutOfResources(FormatMessage(TMessage::OutOfResources));
}

void TBitmap::RequireSideWithinLimits(int32_t value) const
{
    // An image empty in the other direction keeps the value without making pixels, so it is
    // refused here, as the platform would refuse it later; this also keeps -2^31, which
    // cannot be negated, out of the description.
    if (value < -kMaxImageSide || value > kMaxImageSide) {
        RaiseOutOfResources();
    }
}

void TBitmap::EnsureHandle()
{
    if (m_image->Handle == nullptr) {
        m_image->Handle = m_image->DIBHandle;
    }
}

HPALETTE TBitmap::DuplicatePalette(const HPALETTE& palette)
{
    if (palette == nullptr || palette->Count() == 0) {
        return nullptr;
    }
    return std::make_shared<const TPalette>(palette->Entries());
}

void TBitmap::InstallImage(std::shared_ptr<TBitmapImage> image)
{
    {
        std::lock_guard<std::mutex> guard(ImageLock());
        m_image.swap(image);
    }
    m_maskValid = false;
    m_paletteDisabled = false;
}

namespace {

// Makes a platform image for a target description from an old image (steps of the rebuild
// after the palette is chosen). The description is updated to the new image's.
HBITMAP CreateImageFrom(const HBITMAP& old, const HPALETTE& palette, TDIBSection& target,
                        TBitmapCanvas* canvas)
{
    HBITMAP image;
    bool converted = false;
    if (target.Bmih.Size >= 40) {
        TBitmapInfoHeader& header = target.Bmih;
        header.Size = 40;
        header.Planes = 1;
        if (header.BitCount == 0) {
            header.BitCount = uint16_t(kDisplayBitsPerPixel * kDisplayPlanes);
        }
        target.Bm.Width = header.Width;
        target.Bm.Height = header.Height;
        std::vector<TRGBQuad> colors;
        if (header.BitCount <= 8) {
            const bool oldHasBuffer = old != nullptr && old->Kind() == TImageKind::DIB;
            if (header.BitCount == 1 && !oldHasBuffer) {
                colors = {{0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0}};
            } else if (palette != nullptr) {
                colors = ColorTableFromPalette(*palette);
            } else if (old != nullptr) {
                if (old->Kind() == TImageKind::DIB && !old->ColorTable().empty()) {
                    colors = old->ColorTable();
                    header.ClrUsed = uint32_t(colors.size());
                } else {
                    // A true-colour DIB has no table of its own; without one every pixel
                    // would map to index 0 and the file written from it would lack the table
                    // its header promises.
                    colors = DeviceColorTable(header.BitCount);
                }
            }
        }
        const uint32_t* masks = nullptr;
        uint32_t defaults[3] = {0, 0, 0};
        if ((header.BitCount == 16 || header.BitCount == 32) &&
            (header.Compression >= 1 && header.Compression <= 3)) {
            if (target.Bitfields[0] == 0) {
                const uint32_t* fallback = DefaultBitFieldMasks(header.BitCount);
                std::copy(fallback, fallback + 3, target.Bitfields);
            }
            std::copy(target.Bitfields, target.Bitfields + 3, defaults);
            masks = defaults;
        }
        image = CreateDIBSection(header, colors, masks);
        if (image == nullptr) {
            throw EOutOfResources(FormatMessage(TMessage::OutOfResources));
        }
        // Same size and more than 8 bits: one bulk conversion, no background.
        if (old != nullptr && old->Width() == image->Width() && old->Height() == image->Height() &&
            header.BitCount > 8) {
            ConvertImage(*old, *image);
            converted = true;
        }
    } else {
        const bool monochrome = target.Bm.Planes == 1 && target.Bm.BitsPixel == 1;
        image = CreateDeviceImage(target.Bm.Width,
                                  target.Bm.Height < 0 ? -target.Bm.Height : target.Bm.Height,
                                  monochrome);
        if (image == nullptr) {
            throw EOutOfResources(FormatMessage(TMessage::OutOfResources));
        }
    }
    if (!converted) {
        FillImage(*image, canvas != nullptr ? ResolveColor(canvas->BrushColor()) : clWhite);
        if (old != nullptr) {
            CopyImage(*old, *image);
        }
    }
    target = DescribeImage(*image);
    return image;
}

} // namespace

void TBitmap::Rebuild(const HBITMAP& oldImage, const HPALETTE& palette, TDIBSection description)
{
    HPALETTE newPalette = IsPaletteOnly(palette) ? palette : DuplicatePalette(palette);
    const TBitmapInfoHeader& header = description.Bmih;
    const bool emptyTarget = header.Size != 0
                                 ? (header.Width == 0 || header.Height == 0)
                                 : (description.Bm.Width == 0 || description.Bm.Height == 0);
    auto image = std::make_shared<TBitmapImage>();
    image->Palette = newPalette;
    image->CoreHeader = m_image->CoreHeader;
    if (!emptyTarget) {
        image->Handle = CreateImageFrom(oldImage, newPalette, description, m_canvas.get());
        if (image->Handle->Kind() == TImageKind::DIB) {
            image->DIBHandle = image->Handle;
        }
    }
    image->Description = description;
    InstallImage(std::move(image));
}

void TBitmap::Unshare()
{
    if (IsShared()) {
        EnsureHandle();
        Rebuild(m_image->Handle, m_image->Halftone ? nullptr : m_image->Palette,
                m_image->Description);
    } else if (m_image->Handle != nullptr && m_image->Handle != m_image->DIBHandle &&
               m_image->DIBHandle != nullptr) {
        // The device image is the only copy from now on.
        m_image->DIBHandle = nullptr;
        m_image->Description.Bm.Bits = nullptr;
    }
    m_image->Description.Bmih.ClrUsed = 0;
    m_image->Description.Bmih.ClrImportant = 0;
    m_image->PreservedStream.reset();
}

HBITMAP TBitmap::Handle()
{
    EnsureHandle();
    return m_image->Handle;
}

HBITMAP TBitmap::RequireHandle()
{
    EnsureHandle();
    Unshare();
    return m_image->Handle;
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == PixelFormat()) {
        return;
    }
    if (format == fmtDevice) {
        SetStorageKind(TBitmapStorage::Device);
        return;
    }
    if (format < fmtDevice || format >= fmtCustom) {
        throw EInvalidGraphic(FormatMessage(TMessage::InvalidPixelFormat));
    }
    static const uint16_t kBitCounts[] = {0, 1, 4, 8, 16, 16, 24, 32};
    const TBitmapPart& current = m_image->Description.Bm;
    TDIBSection target;
    target.Bm.Type = current.Type;
    target.Bm.Width = current.Width;
    target.Bm.Height = current.Height;
    target.Bm.WidthBytes = current.WidthBytes;
    target.Bm.Planes = current.Planes;
    target.Bm.BitsPixel = current.BitsPixel;
    target.Bmih.Size = 40;
    target.Bmih.Width = current.Width;
    target.Bmih.Height = current.Height < 0 ? -current.Height : current.Height;
    target.Bmih.Planes = 1;
    target.Bmih.BitCount = kBitCounts[format];
    if (format == fmt16Bit) {
        target.Bmih.Compression = kCompressionBitFields;
        std::copy(kMasks565, kMasks565 + 3, target.Bitfields);
    }
    HPALETTE palette;
    if (format == fmt4Bit) {
        palette = StandardPalette16();
    } else if (format == fmt8Bit) {
        palette = CreateHalftonePalette();
    } else {
        palette = m_image->Palette;
    }
    const HBITMAP handle = RequireHandle();
    Rebuild(handle, palette, target);
    SetPaletteModified(palette != nullptr);
    Changed();
}

void TBitmap::ChangeWidth(int32_t value)
{
    ChangeSide(value, TSide::Width);
}

void TBitmap::ChangeHeight(int32_t value)
{
    ChangeSide(value, TSide::Height);
}

void TBitmap::ChangeSide(int32_t value, TSide side)
{
    const bool isWidth = side == TSide::Width;
    const TBitmapPart& stored = m_image->Description.Bm;
    if (value == (isWidth ? stored.Width : stored.Height)) {
        return;
    }
    RequireSideWithinLimits(value);
    EnsureHandle();
    TDIBSection description = m_image->Description;
    (isWidth ? description.Bm.Width : description.Bm.Height) = value;
    (isWidth ? description.Bmih.Width : description.Bmih.Height) = value;
    Rebuild(m_image->Handle, m_image->Palette, description);
    Changed();
}

void TBitmap::AssignFrom(const TPersistent* source)
{
    const TBitmap* bitmap = dynamic_cast<const TBitmap*>(source);
    if (source != nullptr && bitmap == nullptr) {
        source->CopyInto(*this);
        return;
    }
    if (bitmap == this) {
        return;
    }
    if (bitmap == nullptr) {
        InstallImage(std::make_shared<TBitmapImage>());
    } else {
        {
            std::lock_guard<std::mutex> guard(ImageLock());
            m_image = bitmap->m_image;
        }
        m_maskValid = false;
        m_paletteDisabled = false;
        m_transparent = bitmap->m_transparent;
        m_transparencyColor = bitmap->m_transparencyColor;
        m_transparentMode = bitmap->m_transparentMode;
    }
    SetPaletteModified(GetPalette() != nullptr);
    Changed();
    if (bitmap != nullptr) {
        m_transparentPixels = bitmap->m_transparentPixels;
    }
}

void TBitmap::SetTransparentPixels(std::shared_ptr<const TPixelMask> pixels)
{
    m_transparentPixels = std::move(pixels);
}

TBitmapCanvas& TBitmap::Canvas()
{
    if (m_canvas == nullptr) {
        EnsureHandle();
        m_canvas = std::make_unique<TBitmapCanvas>(*this);
    }
    return *m_canvas;
}

void TBitmap::EnsureDIB()
{
    TBitmapImage& image = *m_image;
    if (image.Handle == nullptr || image.DIBHandle != nullptr) {
        return;
    }
    DerivePalette();
    TDIBSection description = image.Description;
    if (description.Bmih.Size == 0) {
        description.Bmih.Size = 40;
        description.Bmih.Width = image.Handle->Width();
        description.Bmih.Height = image.Handle->Height();
        description.Bmih.Planes = 1;
        description.Bmih.BitCount = image.Handle->BitCount();
    }
    image.DIBHandle = CreateImageFrom(image.Handle, image.Palette, description, nullptr);
    image.Description = description;
}

uint8_t* TBitmap::RowAddress(int32_t row)
{
    Unshare();
    if (row < 0 || row >= Height()) {
        throw EInvalidGraphicOperation(FormatMessage(TMessage::ScanLineOutOfRange));
    }
    EnsureDIB();
    const HBITMAP& dib = m_image->DIBHandle;
    if (dib == nullptr || row >= dib->Height()) {
        throw EInvalidGraphicOperation(FormatMessage(TMessage::ScanLineOutOfRange));
    }
    return dib->Row(row);
}

void TBitmap::DerivePalette()
{
    TBitmapImage& image = *m_image;
    if (m_paletteDisabled || image.Palette != nullptr || image.DIBHandle == nullptr) {
        return;
    }
    image.Palette = PaletteFromColorTable(image.DIBHandle->ColorTable());
    if (image.Palette == nullptr &&
        (image.Halftone || kDisplayBitsPerPixel < image.DIBHandle->BitCount())) {
        image.Palette = CreateHalftonePalette();
        image.Halftone = true;
    }
    if (image.Palette == nullptr) {
        m_paletteDisabled = true;
    }
}

HPALETTE TBitmap::GetPalette()
{
    DerivePalette();
    return m_image->Palette;
}

void TBitmap::SetColorTableFromPalette()
{
    const HBITMAP& dib = m_image->DIBHandle;
    if (dib != nullptr && dib->BitCount() <= 8) {
        dib->SetColorTable(m_image->Palette != nullptr ? ColorTableFromPalette(*m_image->Palette)
                                                       : std::vector<TRGBQuad>{});
    }
}

void TBitmap::SetPalette(HPALETTE palette)
{
    if (palette == m_image->Palette) {
        return;
    }
    if (palette != nullptr || IsShared()) {
        EnsureHandle();
        Rebuild(m_image->Handle, palette, m_image->Description);
        // The image takes the given palette itself.
        m_image->Palette = palette;
    } else {
        m_image->Palette = nullptr;
    }
    SetColorTableFromPalette();
    SetPaletteModified(true);
    Changed();
}

TColor TBitmap::TransparencyColor()
{
    if (m_transparencyColor != clNoTransparency) {
        return ResolveColor(m_transparencyColor) | kNearestPaletteMarker;
    }
    if (IsMonochrome()) {
        return 0x02FFFFFF;
    }
    // An empty image has no bottom-left pixel and no drawing context to read it through:
    // the read falls outside the picture, as every read of an empty image does.
    if (IsEmpty()) {
        return clInvalid;
    }
    return Canvas().GetPixel(0, Height() - 1) | kNearestPaletteMarker;
}

void TBitmap::SetTransparencyColor(TColor color)
{
    if (color == m_transparencyColor) {
        return;
    }
    m_transparentMode =
        color == clNoTransparency ? TTransparentMode::Automatic : TTransparentMode::Fixed;
    m_transparencyColor = color;
    if (IsShared()) {
        EnsureHandle();
        Rebuild(m_image->Handle, m_image->Palette, m_image->Description);
    }
    Changed();
}

void TBitmap::SetStorageKind(TBitmapStorage storage)
{
    if (storage == StorageKind()) {
        return;
    }
    TBitmapImage& image = *m_image;
    if (image.Handle == nullptr && image.DIBHandle == nullptr) {
        image.Description.Bmih.Size = storage == TBitmapStorage::Device ? 0 : 40;
        Changed();
        return;
    }
    DerivePalette();
    if (storage == TBitmapStorage::Device) {
        if (image.Handle != image.DIBHandle) {
            return;
        }
        TDIBSection description = image.Description;
        description.Bmih.Size = 0;
        HBITMAP device = CreateImageFrom(image.Handle, image.Palette, description, nullptr);
        if (!IsShared()) {
            image.Handle = device;
        } else {
            auto copy = std::make_shared<TBitmapImage>();
            copy->Handle = device;
            copy->Palette =
                IsPaletteOnly(image.Palette) ? image.Palette : DuplicatePalette(image.Palette);
            copy->Description = description;
            copy->CoreHeader = image.CoreHeader;
            InstallImage(std::move(copy));
        }
    } else {
        EnsureDIB();
        if (!IsShared()) {
            image.Handle = image.DIBHandle;
        } else {
            Rebuild(image.DIBHandle, image.Palette, image.Description);
        }
    }
    Changed();
}

void TBitmap::AdoptHandle(HBITMAP handle)
{
    if (handle == m_image->Handle) {
        return;
    }
    TDIBSection description = handle != nullptr ? DescribeImage(*handle) : TDIBSection{};
    HPALETTE palette = m_image->Palette;
    if (IsShared() && !IsPaletteOnly(palette)) {
        palette = DuplicatePalette(palette);
    }
    auto image = std::make_shared<TBitmapImage>();
    image->Handle = handle;
    if (handle != nullptr && handle->Kind() == TImageKind::DIB) {
        image->DIBHandle = handle;
    }
    image->Palette = palette;
    image->Description = description;
    InstallImage(std::move(image));
    Changed();
}

HBITMAP TBitmap::DetachHandle()
{
    EnsureHandle();
    Unshare();
    TBitmapImage& image = *m_image;
    if (image.Handle == image.DIBHandle) {
        image.DIBHandle = nullptr;
        image.Description.Bm.Bits = nullptr;
    }
    HBITMAP handle = std::move(image.Handle);
    image.Handle = nullptr;
    return handle;
}

HBITMAP TBitmap::RequireMaskHandle()
{
    // Every change clears m_maskBitsValid, a new image m_maskValid: either makes the mask stale.
    if (m_maskValid && m_maskBitsValid && m_image->MaskImage != nullptr) {
        return m_image->MaskImage;
    }
    EnsureHandle();
    const HBITMAP& handle = m_image->Handle;
    if (handle == nullptr) {
        return nullptr;
    }
    HBITMAP mask = CreateDeviceImage(handle->Width(), handle->Height(), true);
    if (mask == nullptr) {
        RaiseOutOfResources();
    }
    // Pixels of the transparent colour become background (white) in the mask.
    const TColor key = TransparencyColor() & 0xFFFFFF;
    const TRGBQuad keyQuad{BlueOf(key), GreenOf(key), RedOf(key), 0};
    TRowReader reader(*handle);
    std::vector<TRGBQuad> row(size_t(handle->Width()));
    for (int32_t y = 0; y < handle->Height(); ++y) {
        reader.Read(y, 0, handle->Width(), row.data());
        uint8_t* out = mask->Row(y);
        for (int32_t x = 0; x < handle->Width(); ++x) {
            if (row[size_t(x)] == keyQuad) {
                out[x >> 3] = uint8_t(out[x >> 3] | (0x80 >> (x & 7)));
            }
        }
    }
    m_image->MaskImage = mask;
    m_maskValid = true;
    m_maskBitsValid = true;
    return mask;
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect)
{
    EnsureHandle();
    const HBITMAP handle = m_image->Handle;
    if (handle == nullptr) {
        return;
    }
    const TRect source{0, 0, handle->Width(), handle->Height()};
    const TColor key = Transparent() ? (TransparencyColor() & 0xFFFFFF) : clInvalid;
    StretchCopy(canvas.Target(), rect, *handle, source, key);
}

} // namespace kapto
