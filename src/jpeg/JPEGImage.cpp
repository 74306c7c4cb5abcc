#include "jpeg/JPEGImage.h"

#include "jpeg/JPEGDecompressor.h"
#include "jpeg/JPEGErrors.h"
#include "platform/MemoryBudget.h"
#include "runtime/SourceWarnings.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace kapto {

namespace {

// The default output depth: 8 bits on displays of 256 colours or fewer, else 24.
TJPEGPixelFormat DefaultOutputDepth()
{
    return kDisplayBitsPerPixel * kDisplayPlanes <= 8 ? TJPEGPixelFormat::Bits8
                                                      : TJPEGPixelFormat::Bits24;
}

HPALETTE GrayPalette()
{
    std::vector<TPaletteEntry> entries(256);
    for (int i = 0; i < 256; ++i) {
        entries[size_t(i)] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    }
    return std::make_shared<const TPalette>(std::move(entries));
}

// Four-component samples as Adobe software stores them, 255 minus the ink, so the colour is
// the product of sample and black sample. Files without the Adobe marker are read the same
// way: the writers that leave the marker out store the samples alike, and other decoders
// (libjpeg's own tools among them) read every CMYK file so; the ink itself would turn those
// pictures black. YCCK reaches this point as CMYK, converted by the library where the marker's
// transform flag says so.
void CMYKRowToBGR(const uint8_t* cmyk, uint8_t* bgr, uint32_t width)
{
    for (uint32_t x = 0; x < width; ++x) {
        const int c = cmyk[4 * x];
        const int m = cmyk[4 * x + 1];
        const int y = cmyk[4 * x + 2];
        const int k = cmyk[4 * x + 3];
        bgr[3 * x] = uint8_t((y * k + 127) / 255);
        bgr[3 * x + 1] = uint8_t((m * k + 127) / 255);
        bgr[3 * x + 2] = uint8_t((c * k + 127) / 255);
    }
}

// Passes the library's progress on at most twice a second.
class TThrottledProgress
{
public:
    explicit TThrottledProgress(std::function<void(int percent)> report)
        : m_report(std::move(report)), m_last(std::chrono::steady_clock::now())
    {}

    // The hook the library calls, with the progress object as context. Called from inside
    // the library: nothing may be thrown from here.
    static void Hook(void* context, int percent)
    {
        auto& self = *static_cast<TThrottledProgress*>(context);
        const auto now = std::chrono::steady_clock::now();
        if (now - self.m_last < std::chrono::milliseconds(500)) {
            return;
        }
        self.m_last = now;
        try {
            self.m_report(percent);
        } catch (...) {
            // A listener's failure must not unwind through the library.
        }
    }

private:
    std::function<void(int percent)> m_report;
    std::chrono::steady_clock::time_point m_last;
};

// An 8-bit bitmap for grey and quantised output (grey with the full grey palette), a 24-bit
// one otherwise.
std::unique_ptr<TBitmap> CreateOutputBitmap(TJPEGOutput output, uint32_t width, uint32_t height)
{
    auto bitmap = std::make_unique<TBitmap>();
    const bool indexed = output == TJPEGOutput::Gray || output == TJPEGOutput::Indexed;
    bitmap->SetPixelFormat(indexed ? fmt8Bit : fmt24Bit);
    if (output == TJPEGOutput::Gray) {
        bitmap->SetPalette(GrayPalette());
    }
    bitmap->SetWidth(int32_t(width));
    bitmap->SetHeight(int32_t(height));
    return bitmap;
}

// Reads output passes of a started decompressor into a bitmap of the output's size.
class TPassReader
{
public:
    TPassReader(TJPEGDecompressor& decompressor, TBitmap& bitmap, TJPEGOutput output)
        : m_decompressor(decompressor), m_bitmap(bitmap), m_output(output),
          m_width(decompressor.OutputWidth()), m_height(decompressor.OutputHeight()),
          m_cmyk(output == TJPEGOutput::CMYK ? size_t(m_width) * 4 : 0)
    {}

    void ReadPass()
    {
        if (m_output == TJPEGOutput::Indexed && !m_paletteSet) {
            TakeColorMap();
            m_paletteSet = true;
        }
        // Rows of a bottom-up bitmap are not evenly spaced upwards: one row per read.
        while (m_decompressor.OutputScanline() < m_height) {
            uint8_t* row = m_bitmap.RowAddress(int32_t(m_decompressor.OutputScanline()));
            if (m_output == TJPEGOutput::CMYK) {
                m_decompressor.ReadScanline(m_cmyk.data());
                CMYKRowToBGR(m_cmyk.data(), row, m_width);
            } else {
                m_decompressor.ReadScanline(row);
            }
        }
    }

private:
    // The quantiser's colours become the bitmap's palette.
    void TakeColorMap()
    {
        uint8_t map[256][3];
        const int count = m_decompressor.ColorMap(map, 256);
        std::vector<TPaletteEntry> entries;
        for (int i = 0; i < count; ++i) {
            entries.push_back({map[i][0], map[i][1], map[i][2], 0});
        }
        m_bitmap.SetPalette(std::make_shared<const TPalette>(std::move(entries)));
    }

    TJPEGDecompressor& m_decompressor;
    TBitmap& m_bitmap;
    TJPEGOutput m_output;
    uint32_t m_width;
    uint32_t m_height;
    std::vector<uint8_t> m_cmyk;
    bool m_paletteSet = false;
};

// Decodes the picture with the options already set on the decompressor.
std::unique_ptr<TBitmap> DecodePicture(TJPEGDecompressor& decompressor, const TJPEGOptions& options)
{
    const TJPEGOutput output = decompressor.StartDecompress();
    std::unique_ptr<TBitmap> bitmap =
        CreateOutputBitmap(output, decompressor.OutputWidth(), decompressor.OutputHeight());
    TPassReader reader(decompressor, *bitmap, output);
    if (options.BufferedImage) {
        // One picture per scan while the file comes in, then the final pass.
        while (!decompressor.InputComplete()) {
            decompressor.StartOutput(decompressor.InputScanNumber());
            reader.ReadPass();
            decompressor.FinishOutput();
        }
        decompressor.RestoreFinalPassSettings(options);
        decompressor.StartOutput(decompressor.InputScanNumber());
        reader.ReadPass();
        decompressor.FinishOutput();
    } else {
        reader.ReadPass();
    }
    decompressor.FinishDecompress();
    return bitmap;
}

// Copies a JPEG from a stream up to and including its end-of-image marker, walking the
// marker segments and the entropy-coded data of each scan (ITU T.81, annex B), so that
// whatever follows the picture (a download's padding, another file glued on) is neither read
// nor kept. A stream that does not begin with the start-of-image marker is left after its
// first two bytes, which are enough for the library to refuse it; one that ends before the
// end-of-image marker is kept whole, and the library fills what is missing. The copy is
// charged to the memory budget as it grows.
class TJPEGCopier
{
public:
    TJPEGCopier(TStream& stream, std::vector<uint8_t>& copy) : m_stream(stream), m_copy(copy) {}

    void Run()
    {
        uint8_t first = 0;
        uint8_t second = 0;
        if (!Next(first) || !Next(second) || first != 0xFF || second != 0xD8) {
            return;
        }
        uint8_t marker = 0;
        while (FindMarker(marker)) {
            if (!CopySegment(marker)) {
                return;
            }
        }
    }

private:
    // Reads to the next marker, passing over fill bytes (0xFF) and the stray bytes some
    // writers leave between segments, which the library skips with a warning. A long run of
    // stray bytes is no JPEG any more, and the copy ends there.
    bool FindMarker(uint8_t& marker)
    {
        uint8_t byte = 0;
        uint64_t stray = 0;
        for (;;) {
            if (!Next(byte)) {
                return false;
            }
            if (byte != 0xFF) {
                if (++stray > kStrayLimit) {
                    return false;
                }
                continue;
            }
            while (byte == 0xFF) {
                if (!Next(byte)) {
                    return false;
                }
            }
            if (byte != 0x00) {
                marker = byte;
                return true;
            }
        }
    }

    // Copies one marker's segment and, after a start of scan, the scan's data up to the
    // marker that ends it; false when the copy is complete.
    bool CopySegment(uint8_t& marker)
    {
        for (;;) {
            if (marker == 0xD9) {
                return false; // end of image
            }
            // Standalone markers: TEM, RSTn, SOI.
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
                return true;
            }
            uint8_t high = 0;
            uint8_t low = 0;
            if (!Next(high) || !Next(low)) {
                return false;
            }
            const unsigned length = unsigned(high) << 8 | low;
            if (length < 2) {
                return false; // the library refuses the segment
            }
            for (unsigned i = 2; i < length; ++i) {
                uint8_t byte = 0;
                if (!Next(byte)) {
                    return false;
                }
            }
            if (marker != 0xDA) {
                return true;
            }
            // Entropy-coded data: 0xFF is followed by 0x00 (a stuffed byte), a restart
            // marker or fill; any other marker ends the scan.
            if (!ScanEnd(marker)) {
                return false;
            }
        }
    }

    bool ScanEnd(uint8_t& marker)
    {
        uint8_t byte = 0;
        for (;;) {
            if (!Next(byte)) {
                return false;
            }
            if (byte != 0xFF) {
                continue;
            }
            while (byte == 0xFF) {
                if (!Next(byte)) {
                    return false;
                }
            }
            if (byte != 0x00 && (byte < 0xD0 || byte > 0xD7)) {
                marker = byte;
                return true;
            }
        }
    }

    bool Next(uint8_t& byte)
    {
        if (m_position == m_end) {
            m_end = m_stream.Read(m_buffer.data(), m_buffer.size());
            m_position = 0;
            if (m_end == 0) {
                return false;
            }
        }
        byte = m_buffer[m_position++];
        m_copy.push_back(byte);
        if (m_copy.size() > m_charged) {
            ChargePixelMemory(kChargeStep);
            m_charged += kChargeStep;
        }
        return true;
    }

    static constexpr uint64_t kStrayLimit = 65536;
    static constexpr uint64_t kChargeStep = 1 << 20;

    TStream& m_stream;
    std::vector<uint8_t>& m_copy;
    std::vector<uint8_t> m_buffer = std::vector<uint8_t>(65536);
    size_t m_position = 0;
    size_t m_end = 0;
    uint64_t m_charged = 0;
};

} // namespace

TJPEGImage::TJPEGImage() : OutputDepth(DefaultOutputDepth()), m_image(std::make_shared<TJPEGData>())
{}

TJPEGImage::~TJPEGImage() = default;

bool TJPEGImage::IsEmpty() const
{
    return m_bitmap == nullptr && m_image->Data.Size() == 0;
}

int32_t TJPEGImage::ReadWidth() const
{
    if (m_bitmap != nullptr) {
        return m_bitmap->Width();
    }
    if (OutputScale == 0 || m_image->Data.Size() == 0) {
        return m_image->Width;
    }
    ReadHeight();
    return m_scaledWidth;
}

int32_t TJPEGImage::ReadHeight() const
{
    if (m_bitmap != nullptr) {
        return m_bitmap->Height();
    }
    if (OutputScale == 0 || m_image->Data.Size() == 0) {
        return m_image->Height;
    }
    if (m_scaledFor != OutputScale) {
        // A header-only run of the decompressor with the scale applied.
        const std::vector<uint8_t>& bytes = m_image->Data.Bytes();
        TJPEGDecompressor decompressor(bytes.data(), bytes.size());
        decompressor.ReadHeader();
        TJPEGOptions options;
        options.ScaleDenominator = 1 << (OutputScale & 3);
        decompressor.SetOptions(options);
        uint32_t width = 0;
        uint32_t height = 0;
        decompressor.CalcOutputDimensions(width, height);
        m_scaledWidth = int32_t(width);
        m_scaledHeight = int32_t(height);
        m_scaledFor = OutputScale;
    }
    return m_scaledHeight;
}

void TJPEGImage::ChangeHeight(int32_t)
{
    throw EInvalidGraphicOperation(FormatJPEGMessage(TJPEGMessage::CannotResize));
}

void TJPEGImage::ChangeWidth(int32_t)
{
    throw EInvalidGraphicOperation(FormatJPEGMessage(TJPEGMessage::CannotResize));
}

void TJPEGImage::LoadFromStream(TStream& stream)
{
    auto data = std::make_shared<TJPEGData>();
    TJPEGCopier(stream, data->Data.Bytes()).Run();
    const uint64_t size = data->Data.Bytes().size();
    m_image = std::move(data);
    m_bitmap.reset();
    m_scaledFor = -1;
    if (size > 0) {
        ReadHeader();
    }
    SetPaletteModified(true);
    Changed();
}

void TJPEGImage::ReadHeader()
{
    const std::vector<uint8_t>& bytes = m_image->Data.Bytes();
    TJPEGDecompressor decompressor(bytes.data(), bytes.size());
    const TJPEGHeader header = decompressor.ReadHeader();
    m_image->Width = int32_t(header.Width);
    m_image->Height = int32_t(header.Height);
    m_image->Gray = header.IsGray;
    SaveProgressive = header.HasMultipleScans;
}

void TJPEGImage::SaveToStream(TStream& stream)
{
    const std::vector<uint8_t>& bytes = m_image->Data.Bytes();
    stream.WriteBuffer(bytes.data(), bytes.size());
}

void TJPEGImage::AssignFrom(const TPersistent* source)
{
    if (source == nullptr) {
        m_image = std::make_shared<TJPEGData>();
        m_bitmap.reset();
        Changed();
        return;
    }
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(source)) {
        if (jpeg != this) {
            m_image = jpeg->m_image;
            m_bitmap.reset();
            m_scaledFor = -1;
            Changed();
        }
        return;
    }
    TGraphic::AssignFrom(source);
}

void TJPEGImage::CopyInto(TPersistent& destination) const
{
    if (auto* bitmap = dynamic_cast<TBitmap*>(&destination)) {
        bitmap->AssignFrom(&Bitmap());
        return;
    }
    TGraphic::CopyInto(destination);
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect)
{
    Bitmap().Draw(canvas, rect);
}

TBitmap& TJPEGImage::Bitmap() const
{
    if (m_bitmap == nullptr) {
        Decompress();
    }
    return *m_bitmap;
}

void TJPEGImage::Decompress() const
{
    const std::vector<uint8_t>& bytes = m_image->Data.Bytes();
    TJPEGDecompressor decompressor(bytes.data(), bytes.size());
    const TJPEGHeader header = decompressor.ReadHeader();
    TJPEGOptions options;
    options.ScaleDenominator = 1 << (OutputScale & 3);
    options.BlockSmoothing = BlockSmoothing;
    options.GrayOutput = GrayOutput;
    // Grey pictures keep every grey level the library decodes (a full 256-entry grey
    // palette): only a colour picture for a display of 256 colours or fewer is quantised.
    options.Quantize = OutputDepth == TJPEGPixelFormat::Bits8 && !GrayOutput && !header.IsGray;
    options.FastDecode = DecodeSpeed == TJPEGPerformance::BestSpeed;
    options.BufferedImage = ShowProgressive && header.HasMultipleScans;
    decompressor.SetOptions(options);

    TJPEGImage& self = const_cast<TJPEGImage&>(*this);
    self.Progress(TProgressStage::Starting, 0, false, TRect{}, "");
    TThrottledProgress progress([&self](int percent) {
        self.Progress(TProgressStage::Running, uint8_t(percent), false, TRect{}, "");
    });
    decompressor.SetProgressHook(TThrottledProgress::Hook, &progress);
    m_bitmap = DecodePicture(decompressor, options);
    if (decompressor.EndedEarly()) {
        ReportSourceWarning(FormatJPEGMessage(TJPEGMessage::PrematureEnd));
    }
    self.Progress(TProgressStage::Ending, 100, false, TRect{}, "");
}

} // namespace kapto
