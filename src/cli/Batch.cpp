#include "cli/Batch.h"

#include "app/FileNames.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

namespace kapto {

namespace {

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string component = path.substr(start, end - start);
        if (component == "..") {
            if (!components.empty()) {
                components.pop_back();
            }
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        start = end + 1;
    }
    return components;
}

std::string WorkingFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return "/";
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

bool IsTwoDigitSuffix(const std::string& stem)
{
    const size_t n = stem.size();
    return n >= 3 && stem[n - 3] == '-' && stem[n - 2] >= '0' && stem[n - 2] <= '9' &&
           stem[n - 1] >= '0' && stem[n - 1] <= '9';
}

} // namespace

std::vector<std::string> ReadFileList(std::istream& in, bool nulTerminated)
{
    std::vector<std::string> entries;
    std::string entry;
    while (std::getline(in, entry, nulTerminated ? '\0' : '\n')) {
        if (!entry.empty()) {
            entries.push_back(entry);
        }
    }
    return entries;
}

bool AppendFileList(const std::string& fileName, bool nulTerminated,
                    std::vector<std::string>& paths)
{
    std::ifstream file;
    if (fileName != "-") {
        file.open(fileName, std::ios::binary);
    }
    std::istream& in = fileName == "-" ? std::cin : file;
    const int error = errno;
    if (!in) {
        std::cerr << "kapto-convert: cannot read " << fileName << ": " << std::strerror(error)
                  << std::endl;
        return false;
    }
    const std::vector<std::string> entries = ReadFileList(in, nulTerminated);
    if (in.bad()) {
        std::cerr << "kapto-convert: cannot read " << fileName << std::endl;
        return false;
    }
    paths.insert(paths.end(), entries.begin(), entries.end());
    return true;
}

std::string PlaceUnderBase(const std::string& base, const std::string& outputFolder,
                           const std::vector<std::string>& files, std::vector<std::string>& places)
{
    std::vector<std::string> placed;
    for (const std::string& file : files) {
        std::string relative;
        if (!RelativeTo(base, file, relative)) {
            return file;
        }
        placed.push_back(outputFolder + kPathDelimiter + relative);
    }
    places = std::move(placed);
    return "";
}

void KeepShard(int index, int count, const std::string& extension, const std::string& outputFolder,
               std::vector<std::string>& files, std::vector<std::string>& places)
{
    std::vector<std::string> keptFiles;
    std::vector<std::string> keptPlaces;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& place = places.empty() ? files[i] : places[i];
        if (InShard(ShardKey(OutputFileName(place, extension), extension, outputFolder), index,
                    count)) {
            keptFiles.push_back(files[i]);
            if (!places.empty()) {
                keptPlaces.push_back(places[i]);
            }
        }
    }
    files = std::move(keptFiles);
    places = std::move(keptPlaces);
}

std::string NormalPath(const std::string& path)
{
    std::string normal;
    for (const std::string& component :
         Components(!path.empty() && path[0] == '/' ? path : WorkingFolder() + "/" + path)) {
        normal += "/" + component;
    }
    return normal.empty() ? "/" : normal;
}

bool RelativeTo(const std::string& folder, const std::string& path, std::string& relative)
{
    const std::string base = NormalPath(folder);
    const std::string full = NormalPath(path);
    const std::string prefix = base == "/" ? base : base + "/";
    if (full.size() <= prefix.size() || full.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    relative = full.substr(prefix.size());
    return true;
}

uint64_t Fnv1a64(const std::string& text)
{
    uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : text) {
        hash ^= uint8_t(c);
        hash *= 0x100000001b3u;
    }
    return hash;
}

std::string ShardKey(const std::string& outputName, const std::string& extension,
                     const std::string& outputFolder)
{
    std::string name = outputName;
    if (!outputFolder.empty() && name.compare(0, outputFolder.size(), outputFolder) == 0 &&
        name.size() > outputFolder.size() && name[outputFolder.size()] == '/') {
        name = name.substr(outputFolder.size() + 1);
    }
    const size_t slash = name.rfind('/');
    std::string folder;
    for (const std::string& component :
         Components(slash == std::string::npos ? "" : name.substr(0, slash))) {
        folder += (folder.empty() ? "" : "/") + component;
    }
    std::string stem = slash == std::string::npos ? name : name.substr(slash + 1);
    if (stem.size() >= extension.size() &&
        stem.compare(stem.size() - extension.size(), extension.size(), extension) == 0) {
        stem.resize(stem.size() - extension.size());
    }
    while (IsTwoDigitSuffix(stem)) {
        stem.resize(stem.size() - 3);
    }
    return folder + "/" + stem;
}

bool InShard(const std::string& key, int index, int count)
{
    return Fnv1a64(key) % uint64_t(count) == uint64_t(index - 1);
}

} // namespace kapto
