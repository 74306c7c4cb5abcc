#include "cli/CommandLine.h"

#include "app/FileNames.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <map>

namespace kapto {

namespace {

// A colour written #RRGGBB, as TColor ($00BBGGRR).
bool ParseHexColor(const std::string& text, TColor& color)
{
    if (text.size() != 7 || text[0] != '#') {
        return false;
    }
    uint32_t value = 0;
    for (size_t i = 1; i < 7; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return false;
        }
        value = value << 4 | uint32_t(digit);
    }
    color = RGBColor(uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value));
    return true;
}

// A size in bytes written as digits with an optional K, M or G (binary multiples).
bool ParseSize(const std::string& text, uint64_t& bytes)
{
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        if (value > (uint64_t(1) << 50)) {
            return false;
        }
        value = value * 10 + uint64_t(text[digits] - '0');
        ++digits;
    }
    const std::string suffix = text.substr(digits);
    const unsigned shift = suffix.empty()                   ? 0
                           : suffix == "K" || suffix == "k" ? 10
                           : suffix == "M" || suffix == "m" ? 20
                           : suffix == "G" || suffix == "g" ? 30
                                                            : 64;
    if (digits == 0 || shift == 64 || value == 0 || value > (uint64_t(1) << (60 - shift))) {
        return false;
    }
    bytes = value << shift;
    return true;
}

// K/N, 1 <= K <= N <= 1000000.
bool ParseShard(const std::string& text, int& index, int& count)
{
    const size_t slash = text.find('/');
    const auto number = [](const std::string& digits, int& value) {
        if (digits.empty() || digits.size() > 7 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        value = std::stoi(digits);
        return true;
    };
    return slash != std::string::npos && number(text.substr(0, slash), index) &&
           number(text.substr(slash + 1), count) && index >= 1 && index <= count &&
           count <= 1000000;
}

// Whether the error may come from a PATH whose name starts with "-": an existing file or
// folder so named stands before any "--".
bool MistakenForOption(int argc, const char* const* argv)
{
    for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i) {
        if (argv[i][0] == '-' && (FileExists(argv[i]) || DirectoryExists(argv[i]))) {
            return true;
        }
    }
    return false;
}

TParseResult Usage(const std::string& reason)
{
    std::cerr << "kapto-convert: " << reason << std::endl;
    return TParseResult::BadUsage;
}

// The options as written, before they become the run's settings.
struct TWritten
{
    std::string Format = "png";
    std::string OnExists;
    std::string MaxMemory;
    std::string Shard;
    bool Fast = false;
    bool Optimize = false;
    std::string Key;
    CLI::Option* Tolerance = nullptr;
    int Opacity = -1;
    bool Edge = false;
    std::string Brightness;
    bool Flatten = false;
    bool Invert = false;
};

void AddRunOptions(CLI::App& app, TCommandLine& commandLine, TWritten& written)
{
    app.add_option("PATH", commandLine.Paths, "Image files and folders to convert");
    app.add_option("--to", written.Format, "Output format: png or bmp (default png)")
        ->check(CLI::IsMember({"png", "bmp"}));
    app.add_option("--on-exists", written.OnExists,
                   "When the output exists: ask, overwrite, rename, skip or abort (default: "
                   "ask on a terminal, skip otherwise)")
        ->check(CLI::IsMember({"ask", "overwrite", "rename", "skip", "abort"}));
    app.add_flag("--list", commandLine.ListOnly, "Print the files the run would convert");
    app.add_flag("--dry-run", commandLine.DryRun,
                 "Print SOURCE -> OUTPUT for every file, with [exists], [same output as ...] "
                 "and [replaces its source] where they apply; write nothing");
    app.add_flag("--keep-going", commandLine.KeepGoing,
                 "Report a file that fails and go on with the next; list the failed files at "
                 "the end");
    app.add_flag("--strict", commandLine.Strict,
                 "Fail a file that ends early instead of converting the rows it holds");
    app.add_option("--out-dir", commandLine.OutDir,
                   "Write the outputs under this folder: a file PATH straight into it, the "
                   "files of a folder PATH at their place below that folder");
    app.add_option("--files-from", commandLine.FilesFrom,
                   "Read more PATHs from this file (- for standard input), one per line, or "
                   "NUL-terminated with --null; they follow the PATHs of the command line")
        ->type_name("FILE");
    app.add_flag("-0,--null", commandLine.NulTerminated,
                 "Entries of --files-from end with NUL, and so do those --list and --dry-run "
                 "print");
    app.add_option("--base", commandLine.Base,
                   "With --out-dir: every file under this folder keeps its path relative to "
                   "it, however it was named; a file outside it is an error")
        ->type_name("DIR");
    app.add_option("--shard", written.Shard,
                   "K/N: convert only the files of shard K of N (FNV-1a 64 of the output's "
                   "folder and name, less any -NN, modulo N); N runs write what one run writes")
        ->type_name("K/N");
    app.add_option("--report", commandLine.ReportFile,
                   "Write one JSON object per file to this file (- for standard output) as "
                   "each file ends, then one with the totals")
        ->type_name("FILE");
    app.add_flag("-q,--quiet", commandLine.Quiet, "No progress and no summary");
    app.add_option("--jobs", commandLine.Jobs,
                   "Files loaded and encoded at once (default: one per core; 1: one at a time)")
        ->check(CLI::Range(1, 256));
    app.add_option("--max-memory", written.MaxMemory,
                   "Memory the pictures decoded at once may take together, with a K, M or G "
                   "suffix (default: half of the memory, at most 4G). A larger picture still "
                   "converts, alone");
    app.add_option("--deflate-threads", commandLine.Options.DeflateThreads,
                   "Threads deflating one PNG (default 1). More is faster for big pictures "
                   "but writes other compressed bytes for the same pixels")
        ->check(CLI::Range(1, 64));
    app.add_flag("--fast", written.Fast,
                 "PNG only: a faster deflate on every core (or --deflate-threads), files about "
                 "as small; the same pixels, other compressed bytes");
    app.add_flag("--optimize", written.Optimize,
                 "PNG only: the smallest lossless file (colour type, filters, strongest "
                 "deflate); the same pixels and alpha, slower to write");
}

void AddTransparencyOptions(CLI::App& app, TConversionOptions& options, TWritten& written)
{
    app.add_option("--key", written.Key,
                   "Make one colour transparent: top-left, bottom-left, top-right, "
                   "bottom-right (a corner pixel) or #RRGGBB");
    written.Tolerance =
        app.add_option("--key-tolerance", options.KeyTolerance,
                       "With --key: also make colours this close to it transparent, 0 to 100 "
                       "(percent of the largest channel difference; default 0, that colour only)")
            ->check(CLI::Range(0, 100));
    app.add_flag("--key-soft", options.KeySoftEdge,
                 "With --key-tolerance above 0: fade the edge of the transparent area, taking "
                 "the key colour out of the pixels near it");
    app.add_option("--opacity", written.Opacity,
                   "Give every pixel this opacity, 0 to 100 (percent)")
        ->check(CLI::Range(0, 100));
    app.add_flag("--edge", written.Edge,
                 "With --key and --opacity: keep the key-coloured rim opaque");
    app.add_option("--brightness-alpha", written.Brightness,
                   "Alpha from brightness: darker or brighter is more transparent")
        ->check(CLI::IsMember({"darker", "brighter"}));
    app.add_flag("--flatten", written.Flatten,
                 "With --brightness-alpha: every colour becomes white (darker) or black");
    app.add_flag("--invert", written.Invert, "With --flatten: swap black and white");
}

// The run's settings from what was written: "" when they hold, else why not.
std::string SettleRun(const CLI::App& app, const TWritten& written, TCommandLine& commandLine)
{
    commandLine.Format = written.Format == "bmp" ? TTargetFormat::Bmp : TTargetFormat::Png;
    static const std::map<std::string, TOnExists> kOnExists = {{"ask", TOnExists::Ask},
                                                               {"overwrite", TOnExists::Overwrite},
                                                               {"rename", TOnExists::Rename},
                                                               {"skip", TOnExists::Skip},
                                                               {"abort", TOnExists::Abort}};
    commandLine.OnExists = kOnExists.at(written.OnExists);
    if (commandLine.Paths.empty() && app.count("--files-from") == 0) {
        return "PATH is required (or --files-from)";
    }
    if (app.count("--base") > 0 && (commandLine.OutDir.empty() || commandLine.Base.empty())) {
        return "--base needs --out-dir and a folder";
    }
    if (app.count("--report") > 0 && commandLine.ReportFile.empty()) {
        return "--report: expected a file name, not an empty name";
    }
    if (!written.Shard.empty() &&
        !ParseShard(written.Shard, commandLine.ShardIndex, commandLine.ShardCount)) {
        return "--shard: expected K/N with 1 <= K <= N, not " + written.Shard;
    }
    // An empty DIR would silently put the outputs beside their sources.
    if (app.count("--out-dir") > 0 && commandLine.OutDir.empty()) {
        return "--out-dir: expected a folder, not an empty name";
    }
    if (!written.MaxMemory.empty() && !ParseSize(written.MaxMemory, commandLine.MaxMemory)) {
        return "--max-memory: expected a size such as 300M or 2G, not " + written.MaxMemory;
    }
    if (written.Optimize) {
        if (commandLine.Format != TTargetFormat::Png) {
            return "--optimize needs PNG output, not --to bmp";
        }
        if (written.Fast) {
            return "--optimize and --fast cannot be used together";
        }
        commandLine.Options.Optimize = true;
    }
    // The deflate profile: PNG output only.
    if (written.Fast) {
        if (commandLine.Format != TTargetFormat::Png) {
            return "--fast needs PNG output, not --to bmp";
        }
        commandLine.Options.FastDeflate = true;
        if (app.count("--deflate-threads") == 0) {
            commandLine.Options.DeflateThreads = DefaultJobs();
        }
    }
    return "";
}

std::string SettleKey(const TWritten& written, TConversionOptions& options)
{
    if (!written.Key.empty()) {
        static const std::map<std::string, TKeySource> kCorners = {
            {"top-left", TKeySource::TopLeft},
            {"bottom-left", TKeySource::BottomLeft},
            {"top-right", TKeySource::TopRight},
            {"bottom-right", TKeySource::BottomRight}};
        const auto corner = kCorners.find(written.Key);
        if (corner != kCorners.end()) {
            options.KeySource = corner->second;
        } else if (ParseHexColor(written.Key, options.SwatchColor)) {
            options.KeySource = TKeySource::Swatch;
        } else {
            return "--key: expected top-left, bottom-left, top-right, bottom-right or #RRGGBB, "
                   "not " +
                   written.Key;
        }
        options.KeyTransparent = true;
    }
    if (written.Tolerance->count() > 0 && !options.KeyTransparent) {
        return "--key-tolerance needs --key";
    }
    if (options.KeySoftEdge && options.KeyTolerance == 0) {
        return "--key-soft needs --key and --key-tolerance above 0";
    }
    return "";
}

// The main window's interlocks: alpha from brightness excludes the key colour and the uniform
// opacity; the rim needs both; flattening needs brightness alpha.
std::string SettleAlpha(const TWritten& written, TConversionOptions& options)
{
    if (written.Opacity >= 0) {
        options.UniformOpacity = true;
        options.OpacityPercent = written.Opacity;
    }
    if (written.Edge && !(options.KeyTransparent && options.UniformOpacity)) {
        return "--edge needs --key and --opacity";
    }
    options.EdgeMode = written.Edge;
    if (!written.Brightness.empty()) {
        if (options.KeyTransparent || options.UniformOpacity) {
            return "--brightness-alpha cannot be combined with --key or --opacity";
        }
        options.BrightnessAlpha = true;
        options.Direction = written.Brightness == "brighter"
                                ? TBrightnessDirection::BrighterMoreTransparent
                                : TBrightnessDirection::DarkerMoreTransparent;
    }
    if (written.Flatten && !options.BrightnessAlpha) {
        return "--flatten needs --brightness-alpha";
    }
    options.Flatten = written.Flatten;
    if (written.Invert && !written.Flatten) {
        return "--invert needs --flatten";
    }
    options.InvertFlatten = written.Invert;
    return "";
}

} // namespace

TParseResult ParseCommandLine(int argc, const char* const* argv, bool interactive,
                              TCommandLine& commandLine)
{
    CLI::App app("Converts images (BMP, PNG, GIF, JPG, JPEG) to PNG or BMP files written "
                 "beside their sources. A folder stands for every image in it and in its "
                 "subfolders.",
                 "kapto-convert");
    app.set_version_flag("--version", std::string("kapto-convert ") + KAPTO_VERSION);
    TWritten written;
    written.OnExists = interactive ? "ask" : "skip";
    AddRunOptions(app, commandLine, written);
    AddTransparencyOptions(app, commandLine.Options, written);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        app.exit(e);
        return TParseResult::Done;
    } catch (const CLI::CallForVersion& e) {
        app.exit(e);
        return TParseResult::Done;
    } catch (const CLI::ParseError& e) {
        return Usage(std::string(e.what()) + (MistakenForOption(argc, argv)
                                                  ? " (put -- before a PATH that starts with -)"
                                                  : ""));
    }
    for (const std::string& reason :
         {SettleRun(app, written, commandLine), SettleKey(written, commandLine.Options),
          SettleAlpha(written, commandLine.Options)}) {
        if (!reason.empty()) {
            return Usage(reason);
        }
    }
    return TParseResult::Run;
}

} // namespace kapto
