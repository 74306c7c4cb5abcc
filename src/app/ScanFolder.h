#pragma once
// Gathering the image files of a folder and all its subfolders.

#include <string>
#include <vector>

namespace kapto {

// When path is a folder, appends every image file in it and in its subfolders, at any depth,
// to files (depth first, names in byte order within a folder) and returns true; otherwise
// returns false and appends nothing. Hidden entries (names starting with ".") are skipped,
// links to folders are not followed, and only regular files (or links to them) with one of
// the five image extensions are taken. A subfolder that is the folder outside (the outputs'
// folder, say) is not entered.
// A folder or entry that could not be read while scanning, with the system's error number.
struct TScanProblem
{
    std::string Path;
    int Error = 0;
};

// Entries that cannot be read (a folder without read permission, a name longer than the
// system takes, a loop of links) are left out and, when problems is given, listed there; an
// entry that vanished meanwhile, or a dangling link, is left out in silence.
bool ScanFolder(const std::string& path, std::vector<std::string>& files,
                const std::string& outside = "", std::vector<TScanProblem>* problems = nullptr);

} // namespace kapto
