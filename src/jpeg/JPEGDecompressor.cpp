#include "jpeg/JPEGDecompressor.h"

#include "jpeg/JPEGErrors.h"
#include "platform/MemoryBudget.h"
#include "runtime/Checked.h"
#include "runtime/Messages.h"

// libjpeg's headers need the standard I/O declarations first.
#include <cstdio>

#include <csetjmp>
#include <jerror.h>
#include <jpeglib.h>

namespace kapto {

namespace {

constexpr size_t kSourceBufferSize = 4096;
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

} // namespace

struct TJPEGDecompressor::TState
{
    jpeg_decompress_struct Info{};
    jpeg_error_mgr Errors{};
    jpeg_source_mgr Source{};
    jpeg_progress_mgr Progress{};
    std::jmp_buf Jump{};
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    size_t Position = 0;
    bool StartOfData = true;
    bool EndedEarly = false;
    JOCTET Buffer[kSourceBufferSize]{};
    TJPEGProgressHook Hook = nullptr;
    void* HookContext = nullptr;
    int LastPercent = -1;
    bool Created = false;
};

namespace {

using TState = TJPEGDecompressor::TState;

TState& StateOf(j_common_ptr info)
{
    return *static_cast<TState*>(info->client_data);
}

// The library's fatal errors come here; back to the setjmp of Guarded, never by a throw.
extern "C" void ErrorExit(j_common_ptr info)
{
    std::longjmp(StateOf(info).Jump, 1);
}

// Warnings are ignored, and the library's own texts are never used.
extern "C" void EmitMessage(j_common_ptr, int)
{}
extern "C" void OutputMessage(j_common_ptr)
{}
extern "C" void FormatMessageText(j_common_ptr, char* buffer)
{
    buffer[0] = '\0';
}
extern "C" void ResetErrorManager(j_common_ptr info)
{
    info->err->num_warnings = 0;
    info->err->msg_code = 0;
}

extern "C" void InitSource(j_decompress_ptr)
{}

// Refills the 4096-byte buffer. At the very start of the data an empty read is the
// library's input-empty error; later a missing end is only a warning, and an end-of-image
// marker is supplied so a truncated file decodes with the rest filled by the library.
extern "C" boolean FillInputBuffer(j_decompress_ptr info)
{
    TState& state = StateOf(reinterpret_cast<j_common_ptr>(info));
    const size_t left = state.Size - state.Position;
    if (left == 0) {
        if (state.StartOfData) {
            ERREXIT(info, JERR_INPUT_EMPTY);
        }
        state.EndedEarly = true;
        WARNMS(info, JWRN_JPEG_EOF);
        state.Source.next_input_byte = kEndOfImage;
        state.Source.bytes_in_buffer = 2;
        return TRUE;
    }
    const size_t count = left < kSourceBufferSize ? left : kSourceBufferSize;
    for (size_t i = 0; i < count; ++i) {
        state.Buffer[i] = state.Data[state.Position + i];
    }
    state.Position += count;
    state.StartOfData = false;
    state.Source.next_input_byte = state.Buffer;
    state.Source.bytes_in_buffer = count;
    return TRUE;
}

extern "C" void SkipInputData(j_decompress_ptr info, long count)
{
    TState& state = StateOf(reinterpret_cast<j_common_ptr>(info));
    while (count > 0) {
        if (long(state.Source.bytes_in_buffer) >= count) {
            state.Source.next_input_byte += count;
            state.Source.bytes_in_buffer -= size_t(count);
            return;
        }
        count -= long(state.Source.bytes_in_buffer);
        state.Source.bytes_in_buffer = 0;
        FillInputBuffer(info);
    }
}

extern "C" void TermSource(j_decompress_ptr)
{}

// Passes done plus the fraction of the current pass, over all passes.
extern "C" void ProgressMonitor(j_common_ptr info)
{
    TState& state = StateOf(info);
    const jpeg_progress_mgr& p = state.Progress;
    if (state.Hook == nullptr || p.total_passes <= 0 || p.pass_limit <= 0) {
        return;
    }
    const int percent = int((p.completed_passes + double(p.pass_counter) / double(p.pass_limit)) *
                            100.0 / p.total_passes);
    if (percent != state.LastPercent) {
        state.LastPercent = percent;
        state.Hook(state.HookContext, percent);
    }
}

// Runs one step of library calls. The library may leave it by longjmp, so this frame and the
// step keep no object with a destructor; the caller raises EJPEG when it returns false.
bool Guarded(TState& state, void (*step)(TState&, void*), void* argument)
{
    if (setjmp(state.Jump) != 0) {
        return false;
    }
    step(state, argument);
    return true;
}

void Call(TState& state, void (*step)(TState&, void*), void* argument = nullptr)
{
    if (!Guarded(state, step, argument)) {
        throw EJPEG(FormatJPEGMessage(TJPEGMessage::LibraryError, state.Errors.msg_code));
    }
}

} // namespace

TJPEGDecompressor::TJPEGDecompressor(const uint8_t* data, size_t size)
    : m_state(std::make_unique<TState>())
{
    TState& state = *m_state;
    state.Data = data;
    state.Size = size;
    jpeg_std_error(&state.Errors);
    state.Errors.error_exit = ErrorExit;
    state.Errors.emit_message = EmitMessage;
    state.Errors.output_message = OutputMessage;
    state.Errors.format_message = FormatMessageText;
    state.Errors.reset_error_mgr = ResetErrorManager;
    state.Info.err = &state.Errors;
    state.Info.client_data = &state;
    Call(state, [](TState& s, void*) {
        jpeg_CreateDecompress(&s.Info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    });
    state.Created = true;
    // A small file may claim a huge progressive image; the library then refuses to buffer
    // more than the image limit instead of taking all memory.
    state.Info.mem->max_memory_to_use = long(PixelBufferLimit());
    state.Source.init_source = InitSource;
    state.Source.fill_input_buffer = FillInputBuffer;
    state.Source.skip_input_data = SkipInputData;
    state.Source.resync_to_restart = jpeg_resync_to_restart;
    state.Source.term_source = TermSource;
    state.Info.src = &state.Source;
    state.Progress.progress_monitor = ProgressMonitor;
    state.Info.progress = &state.Progress;
}

TJPEGDecompressor::~TJPEGDecompressor()
{
    if (m_state->Created) {
        jpeg_destroy_decompress(&m_state->Info);
    }
}

TJPEGHeader TJPEGDecompressor::ReadHeader()
{
    Call(*m_state, [](TState& s, void*) { jpeg_read_header(&s.Info, TRUE); });
    const jpeg_decompress_struct& info = m_state->Info;
    TJPEGHeader header;
    header.Width = info.image_width;
    header.Height = info.image_height;
    header.IsGray = info.jpeg_color_space == JCS_GRAYSCALE;
    Call(
        *m_state,
        [](TState& s, void* out) {
            *static_cast<bool*>(out) = jpeg_has_multiple_scans(&s.Info) != 0;
        },
        &header.HasMultipleScans);
    return header;
}

void TJPEGDecompressor::SetOptions(const TJPEGOptions& options)
{
    jpeg_decompress_struct& info = m_state->Info;
    info.scale_num = 1;
    info.scale_denom = unsigned(options.ScaleDenominator);
    info.do_block_smoothing = options.BlockSmoothing ? TRUE : FALSE;
    if (options.GrayOutput) {
        info.out_color_space = JCS_GRAYSCALE;
    }
    if (options.Quantize) {
        info.quantize_colors = TRUE;
        info.desired_number_of_colors = 236;
    }
    if (options.FastDecode) {
        info.dct_method = JDCT_IFAST;
        info.two_pass_quantize = FALSE;
        info.dither_mode = JDITHER_ORDERED;
    }
    if (options.BufferedImage) {
        info.buffered_image = TRUE;
        info.dct_method = JDCT_IFAST;
        info.two_pass_quantize = FALSE;
        info.dither_mode = JDITHER_ORDERED;
    }
}

void TJPEGDecompressor::RestoreFinalPassSettings(const TJPEGOptions& options)
{
    jpeg_decompress_struct& info = m_state->Info;
    info.dct_method = options.FastDecode ? JDCT_IFAST : JDCT_ISLOW;
    info.two_pass_quantize = options.FastDecode ? FALSE : TRUE;
    info.dither_mode = options.FastDecode ? JDITHER_ORDERED : JDITHER_FS;
}

void TJPEGDecompressor::CalcOutputDimensions(uint32_t& width, uint32_t& height)
{
    Call(*m_state, [](TState& s, void*) { jpeg_calc_output_dimensions(&s.Info); });
    width = m_state->Info.output_width;
    height = m_state->Info.output_height;
}

TJPEGOutput TJPEGDecompressor::StartDecompress()
{
    jpeg_decompress_struct& info = m_state->Info;
    TJPEGOutput output;
    if (info.quantize_colors) {
        output = TJPEGOutput::Indexed;
    } else if (info.out_color_space == JCS_GRAYSCALE) {
        output = TJPEGOutput::Gray;
    } else if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        // The library turns YCCK into CMYK but not CMYK into RGB; that is done by the caller.
        info.out_color_space = JCS_CMYK;
        output = TJPEGOutput::CMYK;
    } else {
        info.out_color_space = JCS_EXT_BGR;
        output = TJPEGOutput::BGR;
    }
    uint32_t width = 0;
    uint32_t height = 0;
    CalcOutputDimensions(width, height);
    uint64_t bytes = 0;
    if (!ImageBufferSize(int64_t(width), int64_t(height), 32, bytes)) {
        throw EOutOfResources(FormatMessage(TMessage::OutOfResources));
    }
    Call(*m_state, [](TState& s, void*) { jpeg_start_decompress(&s.Info); });
    return output;
}

uint32_t TJPEGDecompressor::OutputWidth() const
{
    return m_state->Info.output_width;
}

uint32_t TJPEGDecompressor::OutputHeight() const
{
    return m_state->Info.output_height;
}

uint32_t TJPEGDecompressor::OutputScanline() const
{
    return m_state->Info.output_scanline;
}

int TJPEGDecompressor::ColorMap(uint8_t (*entries)[3], int capacity) const
{
    const jpeg_decompress_struct& info = m_state->Info;
    if (info.colormap == nullptr) {
        return 0;
    }
    const int count =
        info.actual_number_of_colors < capacity ? info.actual_number_of_colors : capacity;
    const bool gray = info.out_color_components == 1;
    for (int i = 0; i < count; ++i) {
        entries[i][0] = info.colormap[0][i];
        entries[i][1] = gray ? info.colormap[0][i] : info.colormap[1][i];
        entries[i][2] = gray ? info.colormap[0][i] : info.colormap[2][i];
    }
    return count;
}

void TJPEGDecompressor::ReadScanline(uint8_t* row)
{
    Call(
        *m_state,
        [](TState& s, void* target) {
            JSAMPROW rows[1] = {static_cast<JSAMPROW>(target)};
            jpeg_read_scanlines(&s.Info, rows, 1);
        },
        row);
}

bool TJPEGDecompressor::InputComplete() const
{
    return jpeg_input_complete(&m_state->Info) != 0;
}

int TJPEGDecompressor::InputScanNumber() const
{
    return m_state->Info.input_scan_number;
}

void TJPEGDecompressor::StartOutput(int scan)
{
    Call(
        *m_state,
        [](TState& s, void* number) { jpeg_start_output(&s.Info, *static_cast<int*>(number)); },
        &scan);
}

void TJPEGDecompressor::FinishOutput()
{
    Call(*m_state, [](TState& s, void*) { jpeg_finish_output(&s.Info); });
}

void TJPEGDecompressor::FinishDecompress()
{
    Call(*m_state, [](TState& s, void*) { jpeg_finish_decompress(&s.Info); });
}

bool TJPEGDecompressor::EndedEarly() const
{
    return m_state->EndedEarly;
}

void TJPEGDecompressor::SetProgressHook(TJPEGProgressHook hook, void* context)
{
    m_state->Hook = hook;
    m_state->HookContext = context;
}

} // namespace kapto
