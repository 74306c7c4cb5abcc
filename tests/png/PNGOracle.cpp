#include "png/PNGOracle.h"

#include "support/TempDir.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

std::vector<TParsedChunk> SplitChunks(const std::vector<uint8_t>& file)
{
    static const uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<TParsedChunk> chunks;
    if (file.size() < 8 || std::memcmp(file.data(), signature, 8) != 0) {
        return chunks;
    }
    size_t position = 8;
    while (position + 12 <= file.size()) {
        const uint8_t* p = file.data() + position;
        const uint32_t length =
            uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        if (position + 12 + size_t(length) > file.size()) {
            break;
        }
        TParsedChunk chunk;
        chunk.Type.assign(reinterpret_cast<const char*>(p + 4), 4);
        chunk.Data.assign(p + 8, p + 8 + length);
        const uint8_t* c = p + 8 + length;
        const uint32_t stored =
            uint32_t(c[0]) << 24 | uint32_t(c[1]) << 16 | uint32_t(c[2]) << 8 | c[3];
        const uLong computed = crc32(0, p + 4, 4 + length);
        chunk.CrcMatches = stored == computed;
        chunks.push_back(std::move(chunk));
        position += 12 + size_t(length);
    }
    return chunks;
}

std::string ChunkTypes(const std::vector<TParsedChunk>& chunks)
{
    std::string types;
    for (const TParsedChunk& chunk : chunks) {
        types += (types.empty() ? "" : " ") + chunk.Type;
    }
    return types;
}

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& compressed)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        throw std::runtime_error("inflateInit");
    }
    std::vector<uint8_t> out;
    uint8_t buffer[65536];
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = uInt(compressed.size());
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = buffer;
        stream.avail_out = sizeof(buffer);
        result = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof(buffer) - stream.avail_out));
    }
    const bool complete = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    if (!complete) {
        throw std::runtime_error("broken or overlong zlib stream");
    }
    return out;
}

std::vector<uint8_t> InflateImageData(const std::vector<TParsedChunk>& chunks)
{
    std::vector<uint8_t> compressed;
    for (const TParsedChunk& chunk : chunks) {
        if (chunk.Type == "IDAT") {
            compressed.insert(compressed.end(), chunk.Data.begin(), chunk.Data.end());
        }
    }
    return Inflate(compressed);
}

namespace {

struct TReadState
{
    const uint8_t* Data;
    size_t Size;
    size_t Position;
    char Error[256];
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* state = static_cast<TReadState*>(png_get_io_ptr(png));
    if (count > state->Size - state->Position) {
        png_error(png, "read past the end of the file");
    }
    std::memcpy(out, state->Data + state->Position, count);
    state->Position += count;
}

void RecordError(png_structp png, png_const_charp message)
{
    auto* state = static_cast<TReadState*>(png_get_error_ptr(png));
    std::snprintf(state->Error, sizeof(state->Error), "%s", message);
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp)
{}

// Runs libpng's reader; only plain C data lives in this frame, so longjmp skips no destructor.
bool ReadRaw(png_structp png, png_infop info)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}

} // namespace

TDecodedPng DecodeWithLibpng(const std::vector<uint8_t>& file)
{
    TDecodedPng decoded;
    TReadState state{file.data(), file.size(), 0, {}};
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, RecordError, IgnoreWarning);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &state, ReadFromMemory);
    png_set_user_limits(png, 1 << 20, 1 << 20);
    if (!ReadRaw(png, info)) {
        decoded.Error = state.Error[0] != 0 ? state.Error : "libpng error";
    } else {
        decoded.Width = png_get_image_width(png, info);
        decoded.Height = png_get_image_height(png, info);
        decoded.BitDepth = png_get_bit_depth(png, info);
        decoded.ColorType = png_get_color_type(png, info);
        decoded.Interlace = png_get_interlace_type(png, info);
        const size_t rowBytes = png_get_rowbytes(png, info);
        png_bytepp rows = png_get_rows(png, info);
        for (uint32_t y = 0; y < decoded.Height; ++y) {
            decoded.Rows.emplace_back(rows[y], rows[y] + rowBytes);
        }
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) != 0) {
            for (int i = 0; i < count; ++i) {
                decoded.Palette.insert(decoded.Palette.end(),
                                       {palette[i].red, palette[i].green, palette[i].blue});
            }
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return decoded;
}

unsigned SampleAt(const std::vector<uint8_t>& row, uint32_t x, unsigned channel, unsigned channels,
                  int bitDepth)
{
    const size_t index = size_t(x) * channels + channel;
    if (bitDepth == 16) {
        return unsigned(row[2 * index]) << 8 | row[2 * index + 1];
    }
    if (bitDepth == 8) {
        return row[index];
    }
    const size_t bit = index * unsigned(bitDepth);
    return (row[bit / 8] >> (8 - bitDepth - bit % 8)) & ((1u << bitDepth) - 1);
}

namespace {

void AppendToVector(png_structp png, png_bytep data, png_size_t count)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

void FlushNothing(png_structp)
{}

bool WriteRaw(png_structp png, png_infop info, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_rows(png, info, rows);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}

} // namespace

std::vector<uint8_t> EncodeWithLibpng(const TLibpngPicture& picture)
{
    std::vector<uint8_t> file;
    TReadState state{nullptr, 0, 0, {}};
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, RecordError, IgnoreWarning);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &file, AppendToVector, FlushNothing);
    png_set_IHDR(png, info, picture.Width, picture.Height, picture.BitDepth, picture.ColorType,
                 picture.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < picture.Palette.size(); i += 3) {
        palette.push_back({picture.Palette[i], picture.Palette[i + 1], picture.Palette[i + 2]});
    }
    if (!palette.empty()) {
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    }
    const std::vector<uint8_t>& t = picture.Transparency;
    if (!t.empty()) {
        if (picture.ColorType == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, t.data(), int(t.size()), nullptr);
        } else {
            const auto sample = [&t](size_t i) {
                return i + 1 < t.size() ? png_uint_16(t[i] << 8 | t[i + 1]) : png_uint_16(0);
            };
            png_color_16 key{0, sample(0), sample(2), sample(4), sample(0)};
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    if (picture.Gamma != 0) {
        png_set_gAMA_fixed(png, info, png_fixed_point(picture.Gamma));
    }
    std::vector<png_bytep> rows;
    for (const auto& row : picture.Rows) {
        rows.push_back(const_cast<png_bytep>(row.data()));
    }
    const bool written = WriteRaw(png, info, rows.data());
    png_destroy_write_struct(&png, &info);
    if (!written) {
        throw std::runtime_error(std::string("libpng: ") + state.Error);
    }
    return file;
}

bool PngcheckAccepts(const std::vector<uint8_t>& file)
{
#ifdef KAPTO_PNGCHECK
    TTempDir dir;
    const std::string name = dir.Path("check.png");
    WriteFileBytes(name, file);
    const std::string command = std::string(KAPTO_PNGCHECK) + " -q '" + name + "' >/dev/null";
    return std::system(command.c_str()) == 0;
#else
    (void)file;
    return true;
#endif
}
