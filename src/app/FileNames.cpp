#include "app/FileNames.h"

#include "app/StrCalc.h"

#include <sys/stat.h>

#include <algorithm>

namespace kapto {

std::string ExtractExtension(const std::string& fileName)
{
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || fileName.find(kPathDelimiter, dot) != std::string::npos) {
        return "";
    }
    return fileName.substr(dot);
}

bool IsImageExtension(const std::string& extension)
{
    const std::string upper = UpperCaseAscii(extension);
    return upper == ".JPG" || upper == ".JPEG" || upper == ".PNG" || upper == ".GIF" ||
           upper == ".BMP";
}

std::string OutputFileName(const std::string& sourceName, const std::string& targetExtension)
{
    const std::string extension = ExtractExtension(sourceName);
    return sourceName.substr(0, sourceName.size() - extension.size()) + targetExtension;
}

std::string PlaceBelow(const std::string& outputFolder, const std::string& scannedFolder,
                       const std::string& fileName)
{
    const size_t prefix = scannedFolder.size() +
                          (scannedFolder.empty() || scannedFolder.back() != kPathDelimiter ? 1 : 0);
    return outputFolder + kPathDelimiter + fileName.substr(std::min(prefix, fileName.size()));
}

std::string NumberedFileName(const std::string& outputName, int n)
{
    const std::string extension = ExtractExtension(outputName);
    const std::string stem = outputName.substr(0, outputName.size() - extension.size());
    return stem + "-" + FormatField(std::to_string(n), 2, '0') + extension;
}

bool FileExists(const std::string& fileName)
{
    struct stat info
    {};
    if (::lstat(fileName.c_str(), &info) != 0) {
        return false;
    }
    // A link counts by what it points to; a dangling one still takes the name, and a save
    // would replace it, so it is an existing file too.
    if (S_ISLNK(info.st_mode) && ::stat(fileName.c_str(), &info) != 0) {
        return true;
    }
    return !S_ISDIR(info.st_mode);
}

bool IsSameFile(const std::string& first, const std::string& second)
{
    struct stat a
    {};
    struct stat b
    {};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool DirectoryExists(const std::string& path)
{
    struct stat info
    {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace kapto
