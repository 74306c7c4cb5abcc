#pragma once
// The conversion options: the state of the main window's option controls, taken once per run.

#include "platform/Color.h"

namespace kapto {

// Where the key colour comes from: one of the four corner pixels, or the swatch colour.
enum class TKeySource
{
    None, // no radio button ticked: the key is -1, which equals no pixel
    TopLeft,
    BottomLeft,
    TopRight,
    BottomRight,
    Swatch
};

// The file format a run writes: ">PNG" or ">BMP".
enum class TTargetFormat
{
    Png,
    Bmp
};

enum class TBrightnessDirection
{
    DarkerMoreTransparent = 0,
    BrighterMoreTransparent = 1
};

struct TConversionOptions
{
    bool KeyTransparent = false; // "指定色を透過"
    bool UniformOpacity = false; // "透過率を指定"
    int OpacityPercent = 100;    // the scroll bar, 0 to 100
    bool EdgeMode = false;       // "縁取"
    TKeySource KeySource = TKeySource::Swatch;
    TColor SwatchColor = clBlack; // the colour of the swatch
    int KeyTolerance = 0;         // "許容差", 0 to 100 (percent of 255): 0 keys one colour
    bool KeySoftEdge = false;     // "境界をなめらかに", with a tolerance above 0
    bool BrightnessAlpha = false; // "透過率に元絵を使用"
    TBrightnessDirection Direction = TBrightnessDirection::DarkerMoreTransparent;
    bool Flatten = false;       // "色を寄せる"
    bool InvertFlatten = false; // "白黒反転"

    // Not a control: threads that deflate one PNG side by side (1: one plain zlib stream).
    int DeflateThreads = 1;
    // Not a control: PNG image data through the fast deflate profile, on DeflateThreads threads.
    bool FastDeflate = false;
    // "ファイルサイズを最適化": the smallest lossless PNG of the same pixels and alpha.
    bool Optimize = false;
};

} // namespace kapto
