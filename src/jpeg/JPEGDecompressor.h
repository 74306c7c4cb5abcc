#pragma once
// The one owner of a libjpeg decompressor: error manager, data source over bytes in memory,
// and every library call made so that a fatal library error comes back as EJPEG without a
// C++ exception ever crossing the library's frames.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kapto {

// How the decoded samples come out.
enum class TJPEGOutput
{
    BGR,    // three bytes per pixel, blue first: the order of a 24-bit bitmap row
    Gray,   // one byte per pixel
    CMYK,   // four bytes per pixel, as stored (255 minus the ink)
    Indexed // one palette index per pixel (colour quantisation)
};

struct TJPEGHeader
{
    uint32_t Width = 0;
    uint32_t Height = 0;
    bool IsGray = false;
    bool HasMultipleScans = false;
};

struct TJPEGOptions
{
    int ScaleDenominator = 1; // 1, 2, 4 or 8
    bool BlockSmoothing = true;
    bool GrayOutput = false;
    bool Quantize = false; // 236 colours
    bool FastDecode = false;
    bool BufferedImage = false;
};

// The library's progress counters, as a percentage of the whole decode.
using TJPEGProgressHook = void (*)(void* context, int percent);

class TJPEGDecompressor
{
public:
    // Reads from data[0 .. size); the bytes must outlive the decompressor.
    TJPEGDecompressor(const uint8_t* data, size_t size);
    ~TJPEGDecompressor();
    TJPEGDecompressor(const TJPEGDecompressor&) = delete;
    TJPEGDecompressor& operator=(const TJPEGDecompressor&) = delete;

    // All of the following raise EJPEG with the library's code on a fatal library error.
    TJPEGHeader ReadHeader();
    void SetOptions(const TJPEGOptions& options);
    // The output size for the options set, without decoding.
    void CalcOutputDimensions(uint32_t& width, uint32_t& height);
    TJPEGOutput StartDecompress();
    uint32_t OutputWidth() const;
    uint32_t OutputHeight() const;
    uint32_t OutputScanline() const;
    // The quantiser's colour map (Indexed output): count entries of r, g, b (gray: g = b = r).
    int ColorMap(uint8_t (*entries)[3], int capacity) const;
    // Reads the next output row into row.
    void ReadScanline(uint8_t* row);
    // Buffered-image mode: whether the whole file is in.
    bool InputComplete() const;
    int InputScanNumber() const;
    void StartOutput(int scan);
    void FinishOutput();
    // Switches buffered-image mode back to the final-pass settings.
    void RestoreFinalPassSettings(const TJPEGOptions& options);
    void FinishDecompress();

    // Whether the data ended before the library was done with it (the library's premature-end
    // warning); the rest of the picture is the library's fill.
    bool EndedEarly() const;

    void SetProgressHook(TJPEGProgressHook hook, void* context);

    struct TState;

private:
    std::unique_ptr<TState> m_state;
};

} // namespace kapto
