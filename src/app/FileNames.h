#pragma once
// File names as the converter handles them: extensions, output names beside the source,
// numbered names, and existence tests.

#include "runtime/AsciiCase.h"

#include <string>

namespace kapto {

// The path delimiter of the platform.
constexpr char kPathDelimiter = '/';

// The extension of a file name with its dot: from the last "." that no path delimiter
// follows to the end; empty when there is none.
std::string ExtractExtension(const std::string& fileName);
// Whether the extension, compared after ASCII upper-casing, is one the converter reads:
// .BMP, .PNG, .GIF, .JPG or .JPEG.
bool IsImageExtension(const std::string& extension);

// The source name with the extension of its file-name part replaced by the target extension
// (appended when it has none).
std::string OutputFileName(const std::string& sourceName, const std::string& targetExtension);
// Where a file found by scanning a folder goes under the output folder: at its place below
// the folder as it was named ("/", "photos", "photos/"), which the scan puts before it.
std::string PlaceBelow(const std::string& outputFolder, const std::string& scannedFolder,
                       const std::string& fileName);
// folder + base name + "-" + the two last digits of n + extension of the output name.
std::string NumberedFileName(const std::string& outputName, int n);

// True for an existing file, a link to one and a dangling link; false for folders and
// missing names.
bool FileExists(const std::string& fileName);

// True when both names exist and are the same file, under whatever links or paths.
bool IsSameFile(const std::string& first, const std::string& second);
// True for an existing folder (also a link to one).
bool DirectoryExists(const std::string& path);

} // namespace kapto
