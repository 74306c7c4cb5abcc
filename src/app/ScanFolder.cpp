#include "app/ScanFolder.h"

#include "app/FileNames.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>

namespace kapto {

namespace {

using TProblems = std::vector<TScanProblem>;

void Note(TProblems* problems, const std::string& path, int error)
{
    if (problems != nullptr) {
        problems->push_back({path, error});
    }
}

std::vector<std::string> FolderEntries(const std::string& path, TProblems* problems)
{
    std::vector<std::string> names;
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) {
        Note(problems, path, errno);
        return names;
    }
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (!name.empty() && name[0] != '.') {
            names.push_back(name);
        }
    }
    ::closedir(folder);
    // The order of readdir is arbitrary on most Linux file systems; a stable, sorted order
    // is what a user expects to see in the list.
    std::sort(names.begin(), names.end());
    return names;
}

// A folder by its device and inode; none: st_ino 0.
struct TFolderId
{
    dev_t Device = 0;
    ino_t Inode = 0;
};

void ScanEntries(const std::string& path, std::vector<std::string>& files, const TFolderId& outside,
                 TProblems* problems)
{
    const std::string prefix =
        !path.empty() && path.back() == kPathDelimiter ? path : path + kPathDelimiter;
    for (const std::string& name : FolderEntries(path, problems)) {
        const std::string full = prefix + name;
        struct stat linkInfo
        {};
        struct stat info
        {};
        if (::lstat(full.c_str(), &linkInfo) != 0 || ::stat(full.c_str(), &info) != 0) {
            // Vanished, or a dangling link, say nothing; a name too long or a loop of links
            // hides what may be a picture.
            if (errno != ENOENT) {
                Note(problems, full, errno);
            }
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            // A link to a folder could lead back up the tree; only real folders are entered.
            const bool isOutside = info.st_dev == outside.Device && info.st_ino == outside.Inode;
            if (!S_ISLNK(linkInfo.st_mode) && !isOutside) {
                ScanEntries(full, files, outside, problems);
            }
            continue;
        }
        // Devices, pipes and sockets are never images (and reading a pipe would block).
        if (S_ISREG(info.st_mode) && IsImageExtension(ExtractExtension(full))) {
            files.push_back(full);
        }
    }
}

} // namespace

bool ScanFolder(const std::string& path, std::vector<std::string>& files,
                const std::string& outside, TProblems* problems)
{
    if (!DirectoryExists(path)) {
        return false;
    }
    TFolderId outsideId;
    struct stat info
    {};
    if (!outside.empty() && ::stat(outside.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        outsideId = {info.st_dev, info.st_ino};
    }
    ScanEntries(path, files, outsideId, problems);
    return true;
}

} // namespace kapto
