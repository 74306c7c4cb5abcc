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
bool ScanFolder(const std::string& path, std::vector<std::string>& files,
                const std::string& outside = "");

} // namespace kapto
