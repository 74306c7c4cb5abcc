// kapto-convert on sources whose size is not their picture's: files cut short convert with a
// warning (and fail with --strict), and files swollen with padding or metadata take memory
// for their picture only. The large files are sparse, so they cost no disk.

#include "support/GIFTestWriter.h"
#include "support/Images.h"
#include "support/JpegEncoder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

namespace {

struct TChildRun
{
    int Status = -1;
    std::string Err;
    long PeakKiB = 0; // the child's largest resident set
    double Seconds = 0;
};

// kapto-convert in a child with English messages, its peak memory taken from wait4.
TChildRun RunConvert(const TTempDir& scratch, std::vector<std::string> arguments)
{
    const std::string err = scratch.Path("err.txt");
    arguments.insert(arguments.begin(), KAPTO_CONVERT_EXE);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int out = open("/dev/null", O_WRONLY);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        setenv("KAPTO_LANG", "en", 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    TChildRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.PeakKiB = usage.ru_maxrss;
    std::ifstream in(err);
    std::stringstream text;
    text << in.rdbuf();
    run.Err = text.str();
    return run;
}

std::vector<uint8_t> SmallJpeg()
{
    TEncodeSettings settings;
    settings.Width = 4;
    settings.Height = 4;
    return EncodeJpeg(settings, [](int x, int y, int c) { return uint8_t(x * 40 + y * 9 + c); });
}

void AppendUInt32BE(std::vector<uint8_t>& bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(uint8_t(value >> shift));
    }
}

// A 4 x 4 PNG (written by kapto-convert from a BMP) with `count` private chunks of `size`
// zero bytes before IEND, each with its right CRC; the zeros are holes in the file.
void WriteSwollenPng(const TTempDir& dir, const std::string& name, int count, uint32_t size)
{
    const std::string bmp = WriteTestBmp(dir.Path("seed.bmp"), 4, 4, 0x336699);
    RunConvert(dir, {"--on-exists", "overwrite", bmp});
    std::vector<uint8_t> png = ReadFileBytes(dir.Path("seed.png"));
    const std::vector<uint8_t> end(png.end() - 12, png.end());
    png.resize(png.size() - 12);
    const std::vector<uint8_t> zeros(1 << 20);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>("prIv"), 4);
    for (uint32_t done = 0; done < size; done += uint32_t(zeros.size())) {
        crc = crc32(crc, zeros.data(), uInt(std::min<uint32_t>(size - done, 1 << 20)));
    }
    const int fd = open(dir.Path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, png.data(), png.size()), ssize_t(png.size()));
    off_t at = off_t(png.size());
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> head;
        AppendUInt32BE(head, size);
        head.insert(head.end(), {'p', 'r', 'I', 'v'});
        ASSERT_EQ(pwrite(fd, head.data(), head.size(), at), 8);
        at += 8 + off_t(size);
        std::vector<uint8_t> tail;
        AppendUInt32BE(tail, uint32_t(crc));
        ASSERT_EQ(pwrite(fd, tail.data(), 4, at), 4);
        at += 4;
    }
    ASSERT_EQ(pwrite(fd, end.data(), end.size(), at), ssize_t(end.size()));
    close(fd);
}

// A 4 x 4 GIF with a comment of `size` bytes before its picture.
void WriteSwollenGif(const TTempDir& dir, const std::string& name, size_t size)
{
    giftest::TGIFBuilder gif;
    gif.Header(4, 4).Raw({0x21, 0xFE});
    gif.Raw(giftest::SubBlocks(giftest::TBytes(size, 'c')));
    gif.Image(0, 0, 4, 4, giftest::PatternPixels(4, 4, 4)).Trailer();
    WriteFileBytes(dir.Path(name), gif.Bytes());
}

// The file with its size set to `size` (a hole beyond the old end).
void Extend(const std::string& fileName, off_t size)
{
    ASSERT_EQ(truncate(fileName.c_str(), size), 0);
}

} // namespace

TEST(SourceSizeTest, CutSourcesConvertWithAWarningAndFailWithStrict)
{
    TTempDir dir;
    // 48 rows of noise, so that a cut at 99 % still leaves a row out in every format.
    const std::string bmp = WriteTestBmp(dir.Path("whole.bmp"), 64, 48, [](int x, int y) {
        uint32_t noise = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
        noise ^= noise >> 13;
        noise *= 0x5bd1e995u;
        noise ^= noise >> 15;
        return kapto::TColor(noise & 0xFFFFFF);
    });
    RunConvert(dir, {"--on-exists", "overwrite", bmp});
    giftest::TGIFBuilder gif;
    gif.Header(64, 48, 3).Image(0, 0, 64, 48, giftest::PatternPixels(64, 48, 16), false, -1, 4);
    WriteFileBytes(dir.Path("whole.gif"), gif.Trailer().Bytes());
    for (const char* rle : {"pal8rle.bmp", "pal4rle.bmp"}) {
        WriteFileBytes(dir.Path(std::string("whole-") + rle),
                       ReadFileBytes(TestDataPath(std::string("bmp/bmpsuite/good/") + rle)));
    }
    TEncodeSettings settings;
    settings.Width = 64;
    settings.Height = 48;
    WriteFileBytes(dir.Path("whole.jpg"), EncodeJpeg(settings, [](int x, int y, int c) {
                       return uint8_t(x * 4 + y * 3 + c * 50);
                   }));
    settings.Progressive = true;
    WriteFileBytes(dir.Path("whole-progressive.jpg"), EncodeJpeg(settings, [](int x, int y, int c) {
                       return uint8_t(x * 4 + y * 3 + c * 50);
                   }));

    const std::string rowsMissing = "warning: the file ends early; ";
    const std::string jpegEnd = "warning: Premature end of JPEG file";
    const struct
    {
        const char* Source;
        const char* Warning;
    } formats[] = {
        {"whole.bmp", rowsMissing.c_str()},         {"whole.gif", rowsMissing.c_str()},
        {"whole-pal8rle.bmp", rowsMissing.c_str()}, {"whole-pal4rle.bmp", rowsMissing.c_str()},
        {"whole.png", rowsMissing.c_str()},         {"whole.jpg", jpegEnd.c_str()},
        {"whole-progressive.jpg", jpegEnd.c_str()},
    };
    for (const auto& format : formats) {
        const std::vector<uint8_t> whole = ReadFileBytes(dir.Path(format.Source));
        for (const int percent : {50, 90, 99}) {
            SCOPED_TRACE(std::string(format.Source) + " cut at " + std::to_string(percent) + " %");
            const std::string cut = dir.Path(std::to_string(percent) + "-" + format.Source);
            WriteFileBytes(cut,
                           std::vector<uint8_t>(whole.begin(), whole.begin() + long(whole.size()) *
                                                                                   percent / 100));
            const TChildRun run =
                RunConvert(dir, {"--out-dir", dir.Path("out"), "--on-exists", "overwrite", cut});
            EXPECT_EQ(run.Status, 0);
            EXPECT_NE(run.Err.find(cut + ": " + format.Warning), std::string::npos) << run.Err;
            const TChildRun strict =
                RunConvert(dir, {"--out-dir", dir.Path("out"), "--on-exists", "overwrite",
                                 "--strict", "--keep-going", cut});
            EXPECT_EQ(strict.Status, 1);
            EXPECT_NE(strict.Err.find(cut + ": " + format.Warning), std::string::npos)
                << strict.Err;
        }
    }
    // The count of missing rows is exact where the cut is plain: a BMP of 64 x 48 at 24 bits
    // (192-byte rows after 54 header bytes) cut at 50 % holds 23 whole rows of 48.
    const TChildRun run = RunConvert(
        dir, {"--out-dir", dir.Path("out"), "--on-exists", "overwrite", dir.Path("50-whole.bmp")});
    EXPECT_NE(run.Err.find("25 of 48 rows are missing"), std::string::npos) << run.Err;
}

TEST(SourceSizeTest, LargeFilesTakeTheMemoryOfTheirPicture)
{
    TTempDir dir;
    WriteFileBytes(dir.Path("small.jpg"), SmallJpeg());
    WriteFileBytes(dir.Path("padded.jpg"), SmallJpeg());
    Extend(dir.Path("padded.jpg"), off_t(1) << 30);
    WriteFileBytes(dir.Path("zeros.jpg"), {});
    Extend(dir.Path("zeros.jpg"), off_t(3) << 30);
    WriteSwollenPng(dir, "small.png", 0, 0);
    WriteSwollenPng(dir, "chunks.png", 3, 64u << 20);
    WriteSwollenGif(dir, "small.gif", 10);
    WriteSwollenGif(dir, "comment.gif", 32u << 20);

    const struct
    {
        const char* Name;
        const char* Source;
        const char* Baseline; // the same picture without the bulk
        int Status;
    } cases[] = {
        {"3 GiB of zeros named .jpg", "zeros.jpg", "small.jpg", 1},
        {"JPEG followed by 1 GiB of zeros", "padded.jpg", "small.jpg", 0},
        {"PNG with three 64 MiB private chunks", "chunks.png", "small.png", 0},
        {"GIF with a 32 MiB comment", "comment.gif", "small.gif", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<std::string> options = {"--jobs",      "1",         "--max-memory",
                                                  "100M",        "--out-dir", dir.Path("out"),
                                                  "--on-exists", "overwrite"};
        std::vector<std::string> arguments = options;
        arguments.push_back(dir.Path(c.Baseline));
        const TChildRun baseline = RunConvert(dir, arguments);
        ASSERT_EQ(baseline.Status, 0) << baseline.Err;
        arguments = options;
        arguments.push_back(dir.Path(c.Source));
        const TChildRun run = RunConvert(dir, arguments);
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        // The pictures are 4 x 4: all a larger file may add is a few buffers.
        EXPECT_LT(run.PeakKiB - baseline.PeakKiB, 16 * 1024)
            << run.PeakKiB << " KiB against " << baseline.PeakKiB << " KiB";
        if (c.Status != 0) {
            EXPECT_LT(run.Seconds, 1.0);
        }
    }
}
